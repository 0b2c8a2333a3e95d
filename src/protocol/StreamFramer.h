// Where the message at the front of a byte stream ends: complete, not yet complete, or never
// a message, under the limits a reader puts on one message.
#pragma once

#include "protocol/Message.h"
#include "protocol/MessageLimit.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvo {

// What the front of a stream holds.
struct Frame
{
    enum class Status { Complete, Incomplete, Invalid };
    // Why an Invalid stream is one.
    enum class Fault {
        None,
        NoHeader,         // the bytes cannot start a header
        UnreadableHeader, // a header that grew past its longest without being readable
        TooLong,          // the message is, or is declared, longer than the limit
        Undecodable,      // decoding threw (reason) or a declared message did not decode
        MonitorOlder,     // Message::DECODE_MONITOR_OLDER
        ProbeOlder,       // Message::DECODE_PROBE_OLDER
        BadTrailer,       // Message::DECODE_BAD_TRAILER
    };

    Status status = Status::Incomplete;
    Fault fault = Fault::None;
    // Message::decode's result: the 1-based position of the trailer, or its negative code.
    int result = Message::DECODE_INCOMPLETE;
    // Complete: the bytes the message takes at the front of the stream.
    size_t length = 0;
    // TooLong: the bytes the header declares, when it could be read.
    size_t declared = 0;
    // Undecodable: what decoding threw, empty when it threw nothing readable or did not throw.
    std::string reason;

    bool complete() const { return status == Status::Complete; }
    bool incomplete() const { return status == Status::Incomplete; }
};

class StreamFramer
{
public:
    enum class Limit {
        None,         // any length (a tool reading captures)
        TrailerStart, // the trailer starts at most at byte MESSAGE_LIMIT (the console)
        MessageEnd,   // the message ends at most at byte MESSAGE_LIMIT (the agent)
    };
    // A header (five short fields) that grows past this many bytes without being readable is
    // garbage to a strict reader.
    static constexpr size_t MAX_HEADER_BYTES = 256;

    // A strict reader (the agent, facing any client) refuses a stream that does not start as
    // a header does or whose header cannot be read within MAX_HEADER_BYTES, and waits for
    // every byte a header declares before decoding it. A lenient one (the console, the tools)
    // decodes whatever has arrived.
    explicit StreamFramer(Limit limit = Limit::None, bool strict = false)
        : m_limit(limit), m_strict(strict)
    {
    }

    // Frames the message at the front of `buffer` into `message` (a fresh one for every
    // call). Never throws for any bytes.
    Frame next(std::string_view buffer, Message &message) const;

private:
    // True when a message whose trailer starts at `trailerAt` (0: unknown) and that takes
    // `length` bytes is beyond the limit.
    bool beyondLimit(size_t trailerAt, size_t length) const;

    Limit m_limit;
    bool m_strict;
};

} // namespace tarvo
