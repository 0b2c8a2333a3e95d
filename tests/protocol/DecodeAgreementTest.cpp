// The message reader's quick paths (plain header, fields read straight into the body, the
// tuned checksum and number conversion) against a reader that takes every field through
// Field, on mutated messages: results, stored values and error texts must agree.
#include "WireText.h"

#include "protocol/Convert.h"
#include "protocol/PackageField.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <stdexcept>

using namespace tarvo;

namespace {

// What a read came to: its result or error, then everything it stored, as one text.
std::string outcome(const std::function<std::string()> &read)
{
    try {
        return read();
    } catch (const std::runtime_error &e) {
        return std::string("runtime_error:") + e.what();
    } catch (const std::logic_error &e) {
        return std::string("logic_error:") + e.what();
    }
}

// A body read field by field through Field, as the reader did before its quick paths.
std::string referenceBody(std::string_view type, std::string_view body)
{
    // The class is chosen by the leading digits of the type code.
    int code = -1;
    for (size_t i = 0; i < type.size() && type[i] >= '0' && type[i] <= '9' && code <= 100000; ++i)
        code = (code < 0 ? 0 : code * 10) + (type[i] - '0');
    if (code != 2 && code != 3 && code != 12 && code != 13 && code != 19 && code != 20)
        return "no body";
    std::map<std::string, std::string> fields;
    size_t position = 1;
    Field scratch;
    const auto keep = [&](const std::string &name, const std::string &value) {
        fields.try_emplace(name, value);
    };
    while (!body.empty() && position < body.size()) {
        const size_t start = position;
        scratch.parseNext(body, position);
        const std::string &name = scratch.getTypeName();
        if (name != "oesPackageLength" && name != "pbuPackageLength") {
            keep(name, scratch.getValue());
            continue;
        }
        const int32_t n = toInt(scratch.getValue());
        if (n < 0)
            throw std::length_error("Package length not match!");
        std::string text;
        if (position <= body.size())
            text = std::string(body.substr(start - 1, std::min(body.size(), position - 1 + size_t(n))
                                                          - (start - 1)));
        else
            text = scratch.toString() + FIELD_SEPARATOR;
        position += size_t(n) + 1;
        PackageField package;
        package.parse(text);
        keep(package.getTypeName(), package.getValue() + "|" + package.getLengthTypeName());
    }
    std::string out;
    for (const auto &[name, value] : fields)
        out += name + "=" + value + ";";
    return out;
}

std::string referenceDecode(std::string_view buffer)
{
    Field f;
    size_t position = 1;
    std::string header[5];
    try {
        const char *names[] = {"version", "orientation", "messageType", "sequence", "bodyLength"};
        for (int i = 0; i < 5; ++i) {
            f.parseExpected(names[i], buffer, position);
            header[i] = f.getValue();
        }
    } catch (...) {
        return "-1";
    }
    if (position < 2 || position - 2 >= buffer.size() || buffer[position - 2] != FIELD_SEPARATOR)
        return "-1";
    if (header[1] == "S" || header[1] == "C") {
        int order = std::strcmp(header[0].c_str(), PROTOCOL_VERSION.c_str());
        if (header[1] == "C")
            order = -order;
        if (order != 0)
            return order > 0 ? "-2" : "-3";
    }
    const int32_t n = toInt(header[4]);
    if (n < 0)
        throw std::runtime_error("Invalid body length:" + header[4]);
    if (buffer.size() < position + size_t(n) + 7 - 1)
        return "-1";
    std::string body = referenceBody(header[2], buffer.substr(position - 1, size_t(n)));
    const std::string sum = Message::checkSumOf(buffer.substr(0, position - 1 + size_t(n)));
    size_t trailer = position + size_t(n);
    try {
        f.parseExpected("checkSum", buffer, trailer);
    } catch (...) {
        return "-4";
    }
    if (f.getValue() != sum)
        throw std::runtime_error("Check sum error");
    return std::to_string(position + size_t(n)) + " " + header[0] + "|" + header[1] + "|"
           + header[2] + "|" + header[3] + "|" + header[4] + "|" + sum + " " + body;
}

std::string decodeOutcome(std::string_view buffer)
{
    Message m;
    const int r = m.decode(buffer);
    if (r <= 0)
        return std::to_string(r);
    std::string out = std::to_string(r) + " " + m.getVersion() + "|" + m.getOrientation() + "|"
                      + m.getMessageType() + "|" + m.getSequence() + "|" + m.getBodyLength()
                      + "|" + m.getCheckSum() + " ";
    if (!m.getBody())
        return out + "no body";
    for (const auto &[name, field] : m.getBody()->fields()) {
        out += std::string(name) + "=" + field->getValue();
        if (const auto *package = dynamic_cast<const PackageField *>(field.get()))
            out += "|" + package->getLengthTypeName();
        out += ";";
    }
    return out;
}

// A message of every kind the agent and the console send.
std::string sample(std::mt19937 &random)
{
    std::string pbus;
    for (unsigned i = random() % 4; i > 0; --i)
        pbus += test::wire("89=A股报盘程序^A34=A000000000" + std::to_string(i)
                           + "^A63=SHR^A83=3^A65=18000^A66=17999^A");
    std::unique_ptr<MessageBody> body;
    switch (random() % 4) {
    case 0: body = std::make_unique<BeatMessageBody>(); break;
    case 1: body = std::make_unique<LogMessageBody>("record\x02"); break;
    case 2: body = std::make_unique<TroubleShootingResponseMessageBody>("t", "CheckCS", "NoCon"); break;
    default:
        body = std::make_unique<StatusResponseMessageBody>(
            "正常运行", "2026-12-08 09:30:00 ", "37", "45", "61", "00",
            test::oesRecord("Y", "A股报盘程序", "运行") + test::oesRecord("N", "B股报盘程序", "停止"),
            pbus);
    }
    return Message(PROTOCOL_VERSION, random() % 2 ? "S" : "C", "7", std::move(body)).encode();
}

// Overwrites, inserts or deletes a few bytes, favouring the bytes the reader looks for.
std::string mutate(std::string text, std::mt19937 &random)
{
    static const char BYTES[] = {'\x01', '=', '0', '1', '5', '6', '7', '9', '9', '-', ' ', 'x'};
    for (unsigned k = 1 + random() % 3; k > 0 && !text.empty(); --k) {
        const size_t at = random() % text.size();
        const char byte = BYTES[random() % sizeof BYTES];
        switch (random() % 4) {
        case 0: text.insert(text.begin() + long(at), byte); break;
        case 1: text.erase(at, 1); break;
        case 2: text.resize(at); break;
        default: text[at] = byte;
        }
    }
    return text;
}

// The mutated body framed again with a right body length and checksum, so that the body is
// read to its end rather than failing the checksum.
std::string reframe(const std::string &mutated, const std::string &original)
{
    Message m;
    if (m.decode(original) <= 0)
        return mutated;
    const size_t start = m.encodeHeader().size() + 1;
    if (mutated.size() < start + 7)
        return mutated;
    const std::string body = mutated.substr(start, mutated.size() - 7 - start);
    std::string text = "00=" + PROTOCOL_VERSION + "\x01" "01=" + m.getOrientation() + "\x01" "04="
                       + m.getMessageType() + "\x01" "12=7\x01" "15=" + std::to_string(body.size())
                       + "\x01" + body;
    return text + "99=" + Message::checkSumOf(text) + "\x01";
}

TEST(DecodeAgreement, QuickPathsAgreeWithTheFieldByFieldReaderOnMutatedMessages)
{
    std::mt19937 random(20261209);
    int decoded = 0;
    int errors = 0;
    for (int i = 0; i < 6000; ++i) {
        const std::string original = sample(random);
        std::string text = mutate(original, random);
        if (i % 2)
            text = reframe(text, original);
        const std::string expected = outcome([&] { return referenceDecode(text); });
        ASSERT_EQ(outcome([&] { return decodeOutcome(text); }), expected) << i << ": " << text;
        decoded += expected[0] >= '1' && expected[0] <= '9';
        errors += expected.find("error:") != std::string::npos;
    }
    // Readable messages and every kind of failure were well represented.
    EXPECT_GT(decoded, 600);
    EXPECT_GT(errors, 1500);
}

// The strict conversion as plainly as it can be written.
std::optional<int32_t> plainToInt(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    if (i == text.size())
        return std::nullopt;
    long long n = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9' || n > (1LL << 40))
            return std::nullopt;
        n = n * 10 + (text[i] - '0');
    }
    n = negative ? -n : n;
    if (n < INT32_MIN || n > INT32_MAX)
        return std::nullopt;
    return int32_t(n);
}

TEST(DecodeAgreement, ChecksumAndNumbersAgreeWithPlainLoops)
{
    std::mt19937 random(7);
    for (size_t size = 0; size < 300; ++size) {
        std::string text(size, '\0');
        for (char &c : text)
            c = char(random());
        char expected[8];
        std::snprintf(expected, sizeof expected, "%3u", test::byteSum(text));
        ASSERT_EQ(Message::checkSumOf(text), expected) << size;
    }
    static const char ALPHABET[] = "0123456789 -+x";
    for (int i = 0; i < 20000; ++i) {
        std::string text(random() % 12, ' ');
        for (char &c : text)
            c = ALPHABET[random() % (sizeof ALPHABET - 1)];
        ASSERT_EQ(tryToInt(text), plainToInt(text)) << "'" << text << "'";
    }
    for (const char *text : {"999999999", "1000000000", "2147483647", "2147483648", "-2147483648",
                             "-2147483649", "000000000012", "", "-", "+"})
        EXPECT_EQ(tryToInt(text), plainToInt(text)) << text;
}

} // namespace
