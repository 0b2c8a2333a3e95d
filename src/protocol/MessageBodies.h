// The six message bodies of the protocol and their type codes.
#pragma once

#include "protocol/MessageBody.h"

#include <functional>

namespace tarvo {

// "02": asks the agent for its status. No fields. `execute` runs on the agent side
// through the executor the agent installs.
class StatusRequestMessageBody : public MessageBody
{
public:
    using Executor = std::function<std::unique_ptr<MessageBody>(StatusRequestMessageBody &)>;

    std::string getMessageType() const override { return "02"; }
    std::string getPattern() const override { return {}; }
    // Throws "class is not executable" while no executor is installed.
    std::unique_ptr<MessageBody> execute() override;

    // Installs (or, with an empty function, removes) the agent's status executor. Call
    // before requests are executed; not synchronised with running executions.
    static void setExecutor(Executor executor);
};

// "03": the agent's status: host state, clock, usages, environment and two packages.
class StatusResponseMessageBody : public MessageBody
{
public:
    StatusResponseMessageBody() = default;
    StatusResponseMessageBody(std::string hostStatus, std::string hostTime, std::string cpuUsage,
                              std::string memoryUsage, std::string diskUsage, std::string envNo,
                              std::string oesPackage, std::string pbuPackage);

    std::string getMessageType() const override { return "03"; }
    std::string getPattern() const override;

    const std::string &getHostStatus() const { return getFieldValue("hostStatus"); }
    const std::string &getHostTime() const { return getFieldValue("HostTime"); }
    const std::string &getCpuUsage() const { return getFieldValue("cpuUsage"); }
    const std::string &getMemoryUsage() const { return getFieldValue("memoryUsage"); }
    const std::string &getDiskUsage() const { return getFieldValue("diskUsage"); }
    const std::string &getEnvNo() const { return getFieldValue("envNo"); }
    const std::string &getOesPackage() const { return getFieldValue("oesPackage"); }
    const std::string &getPbuPackage() const { return getFieldValue("pbuPackage"); }
};

// "12": heartbeat, sent by both sides. No fields; `execute` answers nothing.
class BeatMessageBody : public MessageBody
{
public:
    std::string getMessageType() const override { return "12"; }
    std::string getPattern() const override { return {}; }
    std::unique_ptr<MessageBody> execute() override { return nullptr; }
};

// "13": log records from the agent, each ended by the byte 0x02.
class LogMessageBody : public MessageBody
{
public:
    LogMessageBody() = default;
    explicit LogMessageBody(std::string sysLog);

    std::string getMessageType() const override { return "13"; }
    std::string getPattern() const override { return "<!sysLog>"; }
    std::unique_ptr<MessageBody> execute() override { return nullptr; }

    const std::string &getSysLog() const { return getFieldValue("sysLog"); }
};

// "19": asks the agent to run one troubleshooting check ("AgentVersion", "CheckCfgFile",
// "CheckCS"). `execute` runs on the agent side through the installed executor.
class TroubleShootingRequestMessageBody : public MessageBody
{
public:
    using Executor =
        std::function<std::unique_ptr<MessageBody>(TroubleShootingRequestMessageBody &)>;

    TroubleShootingRequestMessageBody() = default;
    TroubleShootingRequestMessageBody(std::string serviceType, std::string shootingType);

    std::string getMessageType() const override { return "19"; }
    std::string getPattern() const override { return "<!serviceType><!ShootingType>"; }
    // Throws "class is not executable" while no executor is installed.
    std::unique_ptr<MessageBody> execute() override;

    const std::string &getServiceType() const { return getFieldValue("serviceType"); }
    const std::string &getShootingType() const { return getFieldValue("ShootingType"); }

    static void setExecutor(Executor executor);
};

// "20": the answer of one troubleshooting check.
class TroubleShootingResponseMessageBody : public MessageBody
{
public:
    TroubleShootingResponseMessageBody() = default;
    TroubleShootingResponseMessageBody(std::string serviceType, std::string shootingType,
                                       std::string result);

    std::string getMessageType() const override { return "20"; }
    std::string getPattern() const override { return "<!serviceType><!ShootingType><!result>"; }
    std::string getResult() const override { return getFieldValue("result"); }

    const std::string &getServiceType() const { return getFieldValue("serviceType"); }
    const std::string &getShootingType() const { return getFieldValue("ShootingType"); }
};

} // namespace tarvo
