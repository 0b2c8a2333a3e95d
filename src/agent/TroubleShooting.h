// The troubleshooting checks an agent runs for the console: version, files, gateways.
#pragma once

#include "agent/AgentVersion.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace tarvo {

class AgentConfig;
class MessageBody;
class TroubleShootingRequestMessageBody;

// Built afresh for every request. Result texts are GBK; line breaks are CR LF.
class TroubleShooting
{
public:
    using ConfigSource = std::function<AgentConfig &()>;
    // (gateway address, local address, port) -> connected.
    using Connector = std::function<bool(const std::string &, const std::string &, uint16_t)>;

    static constexpr std::chrono::milliseconds DEFAULT_CONNECT_TIMEOUT{3000};

    // Uses AgentConfig::instance() and AgentConfig::iniPath().
    TroubleShooting();
    TroubleShooting(ConfigSource config, std::string agentIniPath);

    std::string checkAgentVersion() const { return AGENT_VERSION; }
    // The full paths of the missing files, each followed by CR LF; "Exception" when a
    // step fails.
    std::string checkCfgFile();
    // The missing sections and empty keys of the agent ini file, joined.
    std::string checkCfgContent();
    // The gateway report of both programs (loads the configuration if needed).
    std::string checkCS();
    // The gateway lines of one program's configuration file.
    std::string checkGateways(const std::string &configFile, const std::string &port);
    // Connects from `localAddress` to `gatewayAddress` at the port formed by the leading
    // digits of `port`; at most the connect time-out per call. False for a port that is
    // no valid TCP port.
    bool testConnect(const std::string &gatewayAddress, const std::string &localAddress,
                     const std::string &port);

    void setConnectTimeout(std::chrono::milliseconds timeout) { connectTimeout = timeout; }
    // Replaces the real connection test (tests).
    void setConnector(Connector connector) { this->connector = std::move(connector); }

private:
    ConfigSource config;
    std::string agentIniPath;
    std::string parentDir;
    std::string workDir;
    std::chrono::milliseconds connectTimeout = DEFAULT_CONNECT_TIMEOUT;
    Connector connector;
};

// Runs the check the request names and answers with a TroubleShootingResponseMessageBody;
// for an unknown ShootingType returns nothing (no answer) and writes a log line.
std::unique_ptr<MessageBody> executeTroubleShooting(const TroubleShootingRequestMessageBody &request,
                                                    TroubleShooting &shooting);

} // namespace tarvo
