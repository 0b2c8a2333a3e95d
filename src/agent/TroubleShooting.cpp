// The troubleshooting checks: agent version, installation files, gateway connections.
#include "agent/TroubleShooting.h"

#include "agent/AgentConfig.h"
#include "agent/AgentLog.h"
#include "agent/LogText.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "platform/TcpProbe.h"
#include "protocol/MessageBodies.h"

#include <charconv>
#include <exception>

namespace tarvo {

namespace {

const std::string CRLF = "\r\n";

} // namespace

TroubleShooting::TroubleShooting()
    : TroubleShooting([]() -> AgentConfig & { return AgentConfig::instance(); },
                      AgentConfig::iniPath())
{
}

TroubleShooting::TroubleShooting(ConfigSource c, std::string iniPath)
    : config(std::move(c)), agentIniPath(std::move(iniPath))
{
    parentDir = parentDirectory(currentDirectory());
}

std::string TroubleShooting::checkCfgFile()
{
    try {
        std::string missing;
        if (workDir.empty())
            workDir = currentDirectory();
        if (!fileExists(agentIniPath))
            missing += agentIniPath + CRLF;
        const std::string d = workDir + PATH_SEPARATOR;
        for (const char *file : {"cfgA/SystemConfiguration.ini", "cfgB/SystemConfiguration.ini",
                                 "Tarvo_ASHR.exe", "Tarvo_BSHR.exe"}) {
            const std::string path = d + nativePath(file);
            if (!fileExists(path))
                missing += path + CRLF;
        }
        return missing;
    } catch (const std::exception &) {
        return "Exception";
    }
}

std::string TroubleShooting::checkCfgContent()
{
    IniFile ini = IniFile::load(agentIniPath);
    std::string result;
    for (const char *section : {"PORT", "ACCESS_CONTROL", "Tarvo"}) {
        if (!ini.hasSection(section)) {
            result += std::string("配置文件中不存在") + section + "字段;";
            continue;
        }
        for (const std::string &key : ini.keys(section)) {
            if (!key.empty() && ini.readString(section, key).empty())
                result += std::string("配置文件中") + section + "字段中的" + key + "内容为空;";
        }
    }
    return result;
}

std::string TroubleShooting::checkCS()
{
    AgentConfig &cfg = config();
    workDir = cfg.getBaseDir();
    // Without "envNo" the check uses "00", as the configuration does.
    std::string envNo = IniFile::load(workDir + "tarvo.ini").readString("TARVO", "envNo", "00");
    if (envNo.empty())
        envNo = "00";
    const std::string port = "1" + envNo + "05";

    if (!fileExists(agentIniPath))
        return "配置文件 " + agentIniPath + " 不存在" + CRLF;
    std::string report = "端口" + port + CRLF;

    report += "A股报盘程序状态:" + CRLF;
    if (!fileExists(cfg.getConfigFileA()) && cfg.getOesFlagA() == "Y")
        return report + "配置文件 " + cfg.getConfigFileA() + " 不存在" + CRLF;
    if (cfg.getOesFlagA() == "N")
        report += "A股报盘程序不存在" + CRLF;
    else
        report += checkGateways(cfg.getConfigFileA(), port);

    report += "B股报盘程序状态:" + CRLF;
    if (!fileExists(cfg.getConfigFileB()) && cfg.getOesFlagB() == "Y")
        report += "配置文件 " + cfg.getConfigFileB() + " 不存在" + CRLF;
    else if (cfg.getOesFlagB() == "N")
        report += "B股报盘程序不存在" + CRLF;
    else
        report += checkGateways(cfg.getConfigFileB(), port);
    return report;
}

std::string TroubleShooting::checkGateways(const std::string &configFile, const std::string &port)
{
    IniFile ini = IniFile::load(configFile);
    long count = ini.readInt("System", "OperatorCounts", 0);
    if (count == 0)
        return "没有配置交易员" + CRLF;
    std::string lines;
    for (long i : numberedSections(ini, "oper", count)) {
        const std::string section = "oper" + std::to_string(i);
        long gateways = ini.readInt(section, "GwipCounts", 0);
        for (long j = 1; j <= gateways; ++j) {
            std::string gateway = ini.readString(section, "Gwip" + std::to_string(j));
            std::string local = ini.readString(section, "LocalIP" + std::to_string(j));
            if (gateway.empty() || local.empty())
                break;
            lines += "Host:" + local + "与CS" + gateway +
                     (testConnect(gateway, local, port) ? "连接正常" : "连接不正常") + CRLF;
        }
    }
    return lines;
}

bool TroubleShooting::testConnect(const std::string &gatewayAddress,
                                  const std::string &localAddress, const std::string &port)
{
    unsigned long number = 0;
    auto [ptr, ec] = std::from_chars(port.data(), port.data() + port.size(), number);
    (void)ptr;
    if (ec != std::errc() || number == 0 || number > 65535)
        return false;
    const auto tcpPort = static_cast<uint16_t>(number);
    if (connector)
        return connector(gatewayAddress, localAddress, tcpPort);
    return tcpConnectProbe(gatewayAddress, localAddress, tcpPort, connectTimeout);
}

std::unique_ptr<MessageBody> executeTroubleShooting(const TroubleShootingRequestMessageBody &request,
                                                    TroubleShooting &shooting)
{
    const std::string &type = request.getShootingType();
    std::string result;
    if (type == "AgentVersion") {
        result = shooting.checkAgentVersion();
    } else if (type == "CheckCfgFile") {
        std::string missing = shooting.checkCfgFile();
        if (missing.empty()) {
            std::string content = shooting.checkCfgContent();
            result = content.empty() ? "OK" : content;
        } else {
            result = "配置文件不存在:" + missing;
        }
    } else if (type == "CheckCS") {
        std::string report = shooting.checkCS();
        result = report.empty() ? "NoCon" : report;
    } else {
        // The service logs the unanswered request (a few times per connection); the check
        // name comes from the client, so it is clipped.
        AgentLog::debug("Unknown ShootingType '" + clipForLog(type) + "': request not answered");
        return nullptr;
    }
    return std::make_unique<TroubleShootingResponseMessageBody>(request.getServiceType(), type,
                                                                result);
}

} // namespace tarvo
