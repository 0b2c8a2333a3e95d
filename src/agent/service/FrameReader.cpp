// Framing of a client's stream: Message::frameLength to refuse early, decode to read.
#include "agent/service/FrameReader.h"

#include <exception>

namespace tarvo {
namespace {

constexpr std::string_view HEADER_START = "00=";

} // namespace

FrameReader::Result FrameReader::fail(std::string text)
{
    Result result;
    result.kind = Result::Kind::Error;
    result.error = std::move(text);
    return result;
}

FrameReader::Result FrameReader::next()
{
    if (m_buffer.empty())
        return {};
    std::string_view buffer = m_buffer;
    const size_t prefix = std::min(buffer.size(), HEADER_START.size());
    if (buffer.substr(0, prefix) != HEADER_START.substr(0, prefix))
        return fail("not a message header");

    std::optional<size_t> length = Message::frameLength(buffer);
    if (length && *length > MAX_MESSAGE_BYTES)
        return fail("message too long: " + std::to_string(*length) + " bytes (at most " +
                    std::to_string(MAX_MESSAGE_BYTES) + ")");
    if (length && buffer.size() < *length)
        return {};
    if (!length && buffer.size() > MAX_HEADER_BYTES)
        return fail("unreadable message header");

    // Without a frame length the header may still be cut short, or it may be complete
    // but unusable (a negative body length); decode tells the two apart.
    auto message = std::make_unique<Message>();
    int result = 0;
    try {
        result = message->decode(buffer);
    } catch (const std::exception &e) {
        return fail(std::string("message cannot be decoded: ") + e.what());
    } catch (...) {
        return fail("message cannot be decoded");
    }
    switch (result) {
    case Message::DECODE_INCOMPLETE:
        if (length)
            return fail("message cannot be decoded");
        return {};
    case Message::DECODE_MONITOR_OLDER:
        return fail("protocol version mismatch: the console (" + message->getVersion() +
                    ") is older than the agent (" + PROTOCOL_VERSION + ")");
    case Message::DECODE_PROBE_OLDER:
        return fail("protocol version mismatch: the agent (" + PROTOCOL_VERSION +
                    ") is older than the console (" + message->getVersion() + ")");
    case Message::DECODE_BAD_TRAILER:
        return fail("message trailer cannot be read");
    default:
        break;
    }
    const size_t consumed = size_t(result) + message->checkSumFieldLength() - 1;
    m_buffer.erase(0, std::min(consumed, m_buffer.size()));
    Result complete;
    complete.kind = Result::Kind::Complete;
    complete.message = std::move(message);
    return complete;
}

} // namespace tarvo
