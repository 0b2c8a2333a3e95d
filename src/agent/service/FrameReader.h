// Framing of one client's byte stream into messages, with the agent's limits on size and
// on what may stand at the front of a stream.
#pragma once

#include "protocol/StreamFramer.h"

#include <memory>
#include <string>
#include <string_view>

namespace tarvo {

// Collects received bytes and hands out whole messages from their front. A stream that
// can never become a message (no header, a message ending beyond byte MESSAGE_LIMIT, a
// version mismatch, a bad trailer or checksum, a body that does not decode) yields one
// error, after which the connection is to be closed. The buffer never holds more than
// MESSAGE_LIMIT bytes plus what one append() brings.
class FrameReader
{
public:
    struct Result
    {
        enum class Kind { NeedMore, Complete, Error };
        Kind kind = Kind::NeedMore;
        std::unique_ptr<Message> message; // Complete
        std::string error;                // Error: why the stream is refused
    };

    void append(std::string_view bytes) { m_buffer.append(bytes); }
    // The next message, NeedMore while the bytes at the front are a prefix of one, or the
    // error that makes the stream unusable (the buffer is then left as it was).
    Result next();

    // True while bytes of an unfinished message are waiting.
    bool hasPartial() const { return !m_buffer.empty(); }
    size_t buffered() const { return m_buffer.size(); }

private:
    std::string m_buffer;
};

} // namespace tarvo
