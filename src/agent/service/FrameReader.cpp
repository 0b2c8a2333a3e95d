// Framing of a client's stream: the protocol's strict framer, with the agent's texts for why a
// stream is refused.
#include "agent/service/FrameReader.h"

namespace tarvo {
namespace {

const StreamFramer FRAMER(StreamFramer::Limit::MessageEnd, true);

std::string refusal(const Frame &frame, const Message &message)
{
    switch (frame.fault) {
    case Frame::Fault::NoHeader:
        return "not a message header";
    case Frame::Fault::UnreadableHeader:
        return "unreadable message header";
    case Frame::Fault::TooLong:
        return "message too long: " + std::to_string(frame.declared) + " bytes (at most " +
               std::to_string(MESSAGE_LIMIT) + ")";
    case Frame::Fault::MonitorOlder:
        return "protocol version mismatch: the console (" + message.getVersion() +
               ") is older than the agent (" + PROTOCOL_VERSION + ")";
    case Frame::Fault::ProbeOlder:
        return "protocol version mismatch: the agent (" + PROTOCOL_VERSION +
               ") is older than the console (" + message.getVersion() + ")";
    case Frame::Fault::BadTrailer:
        return "message trailer cannot be read";
    case Frame::Fault::Undecodable:
    case Frame::Fault::None:
        break;
    }
    if (frame.reason.empty())
        return "message cannot be decoded";
    return "message cannot be decoded: " + frame.reason;
}

} // namespace

FrameReader::Result FrameReader::next()
{
    Result result;
    auto message = std::make_unique<Message>();
    const Frame frame = FRAMER.next(m_buffer, *message);
    switch (frame.status) {
    case Frame::Status::Incomplete:
        break;
    case Frame::Status::Invalid:
        result.kind = Result::Kind::Error;
        result.error = refusal(frame, *message);
        break;
    case Frame::Status::Complete:
        m_buffer.erase(0, frame.length);
        result.kind = Result::Kind::Complete;
        result.message = std::move(message);
        break;
    }
    return result;
}

} // namespace tarvo
