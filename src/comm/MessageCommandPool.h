// Commands waiting for answers, keyed by agent address and request sequence.
#pragma once

#include "comm/MessageCommand.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace tarvo {

class MessageCommandPool
{
public:
    using Map = std::map<std::string, std::unique_ptr<MessageCommand>, std::less<>>;

    // Stores the command under its key, replacing one already stored there.
    void add(std::unique_ptr<MessageCommand> command);
    // Runs and forgets the command waiting for this answer (address of the connection +
    // the message's sequence) and returns its result. When none waits, drops the older
    // commands of that address (when the sequence is a number) and returns "". An error of
    // the command propagates and leaves it stored.
    std::string dispatch(Message &message, std::string_view channelIP);
    // Deletes every command of exactly this address with a sequence below `sequence`.
    void purge(std::string_view channelIP, int32_t sequence);

    const Map &getCommands() const { return commands; }
    size_t size() const { return commands.size(); }

private:
    Map commands;
};

} // namespace tarvo
