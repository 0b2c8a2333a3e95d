// Framing the front of a stream: Message::frameLength to refuse early, decode to read.
#include "protocol/StreamFramer.h"

#include <algorithm>
#include <exception>
#include <optional>

namespace tarvo {
namespace {

constexpr std::string_view HEADER_START = "00=";
// The bytes from a message's trailer start to its end, the trailer's first byte excluded.
constexpr size_t TRAILER_REST = 6;

Frame invalid(Frame::Fault fault, int result = Message::DECODE_INCOMPLETE)
{
    Frame frame;
    frame.status = Frame::Status::Invalid;
    frame.fault = fault;
    frame.result = result;
    return frame;
}

Frame tooLong(size_t declared, int result = Message::DECODE_INCOMPLETE)
{
    Frame frame = invalid(Frame::Fault::TooLong, result);
    frame.declared = declared;
    return frame;
}

} // namespace

bool StreamFramer::beyondLimit(size_t trailerAt, size_t length) const
{
    switch (m_limit) {
    case Limit::TrailerStart:
        return trailerAt > MESSAGE_LIMIT;
    case Limit::MessageEnd:
        return length > MESSAGE_LIMIT;
    case Limit::None:
        break;
    }
    return false;
}

Frame StreamFramer::next(std::string_view buffer, Message &message) const
{
    if (buffer.empty())
        return {};
    std::optional<size_t> declared;
    if (m_strict) {
        const size_t prefix = std::min(buffer.size(), HEADER_START.size());
        if (buffer.substr(0, prefix) != HEADER_START.substr(0, prefix))
            return invalid(Frame::Fault::NoHeader);
        declared = Message::frameLength(buffer);
        if (declared && beyondLimit(*declared - TRAILER_REST, *declared))
            return tooLong(*declared);
        if (declared && buffer.size() < *declared)
            return {};
        if (!declared && buffer.size() > MAX_HEADER_BYTES)
            return invalid(Frame::Fault::UnreadableHeader);
    }

    int result = 0;
    try {
        result = message.decode(buffer);
    } catch (const std::exception &e) {
        Frame frame = invalid(Frame::Fault::Undecodable);
        frame.reason = e.what();
        return frame;
    } catch (...) {
        return invalid(Frame::Fault::Undecodable);
    }

    switch (result) {
    case Message::DECODE_INCOMPLETE: {
        // A strict reader decodes only what its header declares complete: that it is not
        // makes the stream unusable.
        if (m_strict && declared)
            return invalid(Frame::Fault::Undecodable, result);
        if (m_limit == Limit::None)
            return {};
        // A header that announces a message beyond the limit need not be waited for: it is
        // over-long however its bytes arrive. Nor need bytes that already run past the
        // longest acceptable message without making one (no header, or a header or body
        // without end): keeping them would let a peer fill the reader's memory.
        declared = Message::frameLength(buffer);
        const size_t longest = MESSAGE_LIMIT + (m_limit == Limit::TrailerStart ? TRAILER_REST : 0);
        if ((declared && beyondLimit(*declared - TRAILER_REST, *declared)) ||
            buffer.size() > longest)
            return tooLong(declared.value_or(0), result);
        return {};
    }
    case Message::DECODE_MONITOR_OLDER:
        return invalid(Frame::Fault::MonitorOlder, result);
    case Message::DECODE_PROBE_OLDER:
        return invalid(Frame::Fault::ProbeOlder, result);
    case Message::DECODE_BAD_TRAILER:
        return invalid(Frame::Fault::BadTrailer, result);
    default:
        break;
    }
    if (result < 1)
        return tooLong(0, result);
    const size_t length =
        std::min(size_t(result) + message.checkSumFieldLength() - 1, buffer.size());
    if (beyondLimit(size_t(result), length))
        return tooLong(length, result);
    Frame frame;
    frame.status = Frame::Status::Complete;
    frame.result = result;
    frame.length = length;
    return frame;
}

} // namespace tarvo
