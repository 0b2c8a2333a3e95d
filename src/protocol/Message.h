// One protocol message: five header fields, a body and a checksum trailer.
#pragma once

#include "protocol/MessageBody.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarvo {

// The version every sender of this system writes.
inline const std::string PROTOCOL_VERSION = "Tarvo1.20";

// Wire layout, ^A being the separator 0x01:
//   00=version^A 01=orientation^A 04=messageType^A 12=sequence^A 15=bodyLength^A
//   <bodyLength bytes of body> 99=<checksum, 3 chars, "%3d">^A
// The checksum is the byte sum modulo 256 of everything before the trailer. The stream
// has no other framing: the body length tells where the trailer starts.
class Message
{
public:
    static constexpr int DECODE_INCOMPLETE = -1;
    static constexpr int DECODE_MONITOR_OLDER = -2;
    static constexpr int DECODE_PROBE_OLDER = -3;
    static constexpr int DECODE_BAD_TRAILER = -4;

    Message() = default;
    // Sets bodyLength from the body's text and messageType from the body; the checksum is
    // computed by encode(). Body errors (a missing necessary field) propagate.
    Message(std::string version, std::string orientation, std::string sequence,
            std::unique_ptr<MessageBody> body);
    virtual ~Message() = default;
    Message(const Message &) = delete;
    Message &operator=(const Message &) = delete;

    // The five header fields joined by separators, without a separator after the last.
    std::string encodeHeader() const;
    // The whole wire text; stores the computed checksum.
    std::string encode();

    // Decodes one message from the front of `buffer`. Returns the 1-based position p of
    // the trailer's first byte (the message takes the first p + 6 bytes), or
    // DECODE_INCOMPLETE when the header (up to the separator after the body length) cannot
    // be read or the buffer is too short,
    // DECODE_MONITOR_OLDER / DECODE_PROBE_OLDER on a version mismatch, DECODE_BAD_TRAILER
    // when the trailer is no checkSum field. Throws std::runtime_error "Check sum error"
    // on a mismatch, body errors as thrown, and the integer conversion error for a body
    // length that is not a number (std::runtime_error "Invalid body length:<n>" for a
    // negative one). Use a fresh Message for every call.
    int decode(std::string_view buffer);

    // Stores the "%3d" of the byte sum modulo 256 of `text` as the checksum.
    void computeCheckSum(std::string_view text);
    // The trailer's length: 7 while the checksum is empty, else its length + 4.
    size_t checkSumFieldLength() const;

    const std::string &getVersion() const { return m_version; }
    const std::string &getOrientation() const { return m_orientation; }
    const std::string &getMessageType() const { return m_messageType; }
    const std::string &getSequence() const { return m_sequence; }
    const std::string &getBodyLength() const { return m_bodyLength; }
    const std::string &getCheckSum() const { return m_checkSum; }
    // The body; absent after decoding an unknown type. The message keeps ownership.
    MessageBody *getBody() const { return m_body.get(); }
    // Hands the body over to the caller.
    std::unique_ptr<MessageBody> takeBody() { return std::move(m_body); }

    // The number of bytes the message at the front of `buffer` takes, as its header
    // declares it (header + body length + 7), or nothing while the header cannot be read
    // or its body length is no number >= 0. Lets a reader refuse an oversized message
    // before it has arrived.
    static std::optional<size_t> frameLength(std::string_view buffer);

    // The checksum text of `text` ("%3d" of the byte sum modulo 256).
    static std::string checkSumOf(std::string_view text);

private:
    std::string m_version;
    std::string m_orientation;
    std::string m_sequence;
    std::string m_messageType;
    std::string m_bodyLength;
    std::string m_checkSum;
    std::unique_ptr<MessageBody> m_body;
    char m_separator = FIELD_SEPARATOR;
};

} // namespace tarvo
