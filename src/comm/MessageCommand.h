// Commands that wait for the answer to one request and apply it to their host.
#pragma once

#include "host/HostSubject.h"
#include "protocol/Message.h"

#include <cstdint>
#include <string>

namespace tarvo {

// The agent version this console was built against.
inline const std::string EXPECTED_AGENT_VERSION = "0228305";

class MessageCommand
{
public:
    // `host` is not owned; it must outlive the command (the connection's commands are
    // purged when the host is disconnected or removed).
    MessageCommand(int32_t sequence, std::string channelIP, HostSubject *host);
    virtual ~MessageCommand() = default;

    // Applies the answer; returns a text to report, empty when there is nothing.
    virtual std::string execute(Message &message) = 0;

    int32_t getSequence() const { return sequence; }
    const std::string &getChannelIP() const { return channelIP; }
    // channelIP + "-" + sequence, the key under which the pool keeps the command.
    std::string key() const;

protected:
    int32_t sequence;
    std::string channelIP;
    HostSubject *host;
};

// Writes a status response into the host and tells its observers.
class StatusMessageCommand : public MessageCommand
{
public:
    using MessageCommand::MessageCommand;
    // Throws when the message has no body or a package does not read (see Host); the host
    // keeps what was applied before the failure and its observers are not told.
    std::string execute(Message &message) override;
};

// Stores one troubleshooting answer (steps 3 to 5) for the detail window.
class TroubleShootingCommand : public MessageCommand
{
public:
    using MessageCommand::MessageCommand;
    std::string execute(Message &message) override;
};

} // namespace tarvo
