// Encoding and decoding of framed messages with checksum and version check.
#include "protocol/Message.h"

#include "protocol/Convert.h"
#include "protocol/FieldScan.h"
#include "protocol/MessageBodyFactory.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvo {
namespace {

// True when the field that ends before the 1-based `position` was closed by its separator
// rather than by the end of the buffer.
bool headerEnded(std::string_view buffer, size_t position)
{
    return position >= 2 && position - 2 < buffer.size()
           && buffer[position - 2] == FIELD_SEPARATOR;
}

// Reads the five header fields the way every sender writes them: "00=", "01=", "04=", "12="
// and "15=" in this order, each value ended by a separator. Stores the values, moves
// `position` to the body's first byte (1-based) and returns true; returns false, having
// stored nothing, for any other text, which the field-by-field reader then judges.
bool readPlainHeader(std::string_view buffer, size_t &position, std::string_view (&values)[5])
{
    static constexpr char IDS[5][2] = {{'0', '0'}, {'0', '1'}, {'0', '4'}, {'1', '2'}, {'1', '5'}};
    const char *p = buffer.data();
    const char *end = p + buffer.size();
    for (size_t i = 0; i < 5; ++i) {
        if (end - p < 4 || p[0] != IDS[i][0] || p[1] != IDS[i][1] || p[2] != '=')
            return false;
        const char *value = p + 3;
        const char *sep = findSeparator(value, end);
        if (sep == end)
            return false;
        values[i] = std::string_view(value, size_t(sep - value));
        p = sep + 1;
    }
    position = size_t(p - buffer.data()) + 1;
    return true;
}

} // namespace

Message::Message(std::string version, std::string orientation, std::string sequence,
                 std::unique_ptr<MessageBody> body)
    : m_version(std::move(version))
    , m_orientation(std::move(orientation))
    , m_sequence(std::move(sequence))
    , m_messageType(body ? body->getMessageType() : std::string())
    , m_bodyLength(std::to_string(body ? body->toString().size() : 0))
    , m_body(std::move(body))
{
}

std::string Message::encodeHeader() const
{
    std::string header;
    header.reserve(40 + m_version.size() + m_sequence.size());
    header += "00=" + m_version + m_separator;
    header += "01=" + m_orientation + m_separator;
    header += "04=" + m_messageType + m_separator;
    header += "12=" + m_sequence + m_separator;
    header += "15=" + m_bodyLength;
    return header;
}

std::string Message::encode()
{
    std::string text = encodeHeader();
    text += m_separator;
    if (m_body)
        text += m_body->toString();
    computeCheckSum(text);
    text += "99=";
    text += m_checkSum;
    text += m_separator;
    return text;
}

std::string Message::checkSumOf(std::string_view text)
{
    // Unsigned wrap-around is modulo 2^32, a multiple of 256, so masking once at the end
    // gives the same sum as masking every step; sixteen bytes are summed at a time.
    uint32_t total = 0;
    size_t i = 0;
#if defined(__SSE2__)
    __m128i sums = _mm_setzero_si128();
    for (; i + 16 <= text.size(); i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text.data() + i));
        sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, _mm_setzero_si128()));
    }
    total = uint32_t(_mm_cvtsi128_si32(sums)) + uint32_t(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
#endif
    for (; i < text.size(); ++i)
        total += (unsigned char)text[i];
    const unsigned sum = total & 0xFF;
    // "%3u": right-aligned in three characters.
    std::string out(3, ' ');
    out[2] = char('0' + sum % 10);
    if (sum >= 10)
        out[1] = char('0' + sum / 10 % 10);
    if (sum >= 100)
        out[0] = char('0' + sum / 100);
    return out;
}

void Message::computeCheckSum(std::string_view text) { m_checkSum = checkSumOf(text); }

size_t Message::checkSumFieldLength() const
{
    return m_checkSum.empty() ? 7 : m_checkSum.size() + 4;
}

std::optional<size_t> Message::frameLength(std::string_view buffer)
{
    Field field;
    size_t position = 1;
    try {
        for (const char *name : {"version", "orientation", "messageType", "sequence"})
            field.parseExpected(name, buffer, position);
        field.parseExpected("bodyLength", buffer, position);
    } catch (...) {
        return std::nullopt;
    }
    if (!headerEnded(buffer, position))
        return std::nullopt;
    std::optional<int32_t> n = tryToInt(field.getValue());
    if (!n || *n < 0)
        return std::nullopt;
    return position - 1 + size_t(*n) + 7;
}

int Message::decode(std::string_view buffer)
{
    size_t position = 1;
    std::string_view header[5];
    if (readPlainHeader(buffer, position, header)) {
        m_version.assign(header[0]);
        m_orientation.assign(header[1]);
        m_messageType.assign(header[2]);
        m_sequence.assign(header[3]);
        m_bodyLength.assign(header[4]);
    } else try {
        Field field;
        field.parseExpected("version", buffer, position);
        m_version = field.getValue();
        field.parseExpected("orientation", buffer, position);
        m_orientation = field.getValue();
        field.parseExpected("messageType", buffer, position);
        m_messageType = field.getValue();
        field.parseExpected("sequence", buffer, position);
        m_sequence = field.getValue();
        field.parseExpected("bodyLength", buffer, position);
        m_bodyLength = field.getValue();
    } catch (...) {
        return DECODE_INCOMPLETE;
    }
    // A body length not yet ended by its separator may still be growing ("15=2" of "15=245").
    if (!headerEnded(buffer, position))
        return DECODE_INCOMPLETE;

    // Versions compare as strcmp does; a version up to the first NUL byte counts.
    if (m_orientation == "S" || m_orientation == "C") {
        int order = std::strcmp(m_version.c_str(), PROTOCOL_VERSION.c_str());
        if (m_orientation == "C")
            order = -order;
        if (order > 0)
            return DECODE_MONITOR_OLDER;
        if (order < 0)
            return DECODE_PROBE_OLDER;
    }

    const size_t start = position; // 1-based position of the body's first byte
    const int32_t n = toInt(m_bodyLength);
    if (n < 0)
        throw std::runtime_error("Invalid body length:" + m_bodyLength);
    const size_t length = size_t(n);
    if (buffer.size() < start + length + checkSumFieldLength() - 1)
        return DECODE_INCOMPLETE;

    MessageBodyFactory factory;
    m_body = factory.createMessageBody(m_messageType, buffer.substr(start - 1, length));

    computeCheckSum(buffer.substr(0, start + length - 1));
    size_t trailer = start + length;
    // The trailer as senders write it, "99=" and the value up to the next separator (or the
    // end), is compared in place.
    if (trailer + 2 <= buffer.size() && buffer.compare(trailer - 1, 3, "99=") == 0) {
        const char *value = buffer.data() + trailer + 2;
        const char *end = buffer.data() + buffer.size();
        const char *sep = findSeparator(value, end);
        if (std::string_view(value, size_t(sep - value)) != m_checkSum)
            throw std::runtime_error("Check sum error");
        return int(start + length);
    }
    Field field;
    try {
        field.parseExpected("checkSum", buffer, trailer);
    } catch (...) {
        return DECODE_BAD_TRAILER;
    }
    if (field.getValue() != m_checkSum)
        throw std::runtime_error("Check sum error");
    return int(start + length);
}

} // namespace tarvo
