// Message framing: header, checksum trailer, version check and decoding from a stream.
#include "WireText.h"

#include "protocol/MessageBodies.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace tarvo;
using tarvo::test::byteSum;
using tarvo::test::statusResponseWire;
using tarvo::test::wire;

namespace {

// A hand-framed message: header fields as given, body as given, checksum computed here.
std::string frame(const std::string &version, const std::string &orientation,
                  const std::string &type, const std::string &body,
                  const std::string &bodyLength = "")
{
    std::string t = wire("00=" + version + "^A01=" + orientation + "^A04=" + type + "^A12=5^A15="
                         + (bodyLength.empty() ? std::to_string(body.size()) : bodyLength) + "^A")
                    + body;
    char sum[8];
    std::snprintf(sum, sizeof sum, "%3u", byteSum(t));
    return t + "99=" + sum + FIELD_SEPARATOR;
}

TEST(Message, StatusRequestExampleDecodes)
{
    const std::string wire41 = wire("00=Tarvo1.20^A01=C^A04=02^A12=1^A15=0^A99=247^A");
    EXPECT_EQ(byteSum(wire41.substr(0, 34)), 247u);
    Message m;
    EXPECT_EQ(m.decode(wire41), 35);
    EXPECT_EQ(m.getVersion(), "Tarvo1.20");
    EXPECT_EQ(m.getOrientation(), "C");
    EXPECT_EQ(m.getMessageType(), "02");
    EXPECT_EQ(m.getSequence(), "1");
    EXPECT_EQ(m.getBodyLength(), "0");
    EXPECT_EQ(m.getCheckSum(), "247");
    ASSERT_NE(m.getBody(), nullptr);
    EXPECT_EQ(m.getBody()->getMessageType(), "02");
}

TEST(Message, HeartbeatHasNoBodyBytesAndTheTrailerFollowsTheHeader)
{
    Message m(PROTOCOL_VERSION, "S", "-1", std::make_unique<BeatMessageBody>());
    EXPECT_EQ(m.getBodyLength(), "0");
    EXPECT_EQ(m.getCheckSum(), "");
    const std::string text = m.encode();
    const std::string head = wire("00=Tarvo1.20^A01=S^A04=12^A12=-1^A15=0^A");
    ASSERT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.substr(head.size(), 3), "99=");
    EXPECT_EQ(text.size(), head.size() + 7);
    EXPECT_EQ(m.encodeHeader() + FIELD_SEPARATOR, head);
    EXPECT_EQ(m.checkSumFieldLength(), 7u);
}

// A text as `times` copies of `piece`: the long ones are made by the case that runs them, not
// by every run of the program when the cases are registered.
struct CheckSumCase
{
    std::string_view piece;
    size_t times;
    const char *sum;

    std::string text() const
    {
        std::string text;
        text.reserve(piece.size() * times);
        for (size_t i = 0; i < times; ++i)
            text += piece;
        return text;
    }
};

class CheckSum : public testing::TestWithParam<CheckSumCase>
{
};

TEST_P(CheckSum, IsTheByteSumModulo256RightAlignedInThree)
{
    const std::string text = GetParam().text();
    Message m;
    m.computeCheckSum(text);
    EXPECT_EQ(m.getCheckSum(), GetParam().sum);
    EXPECT_EQ(Message::checkSumOf(text), GetParam().sum);
}

INSTANTIATE_TEST_SUITE_P(Texts, CheckSum,
                         testing::Values(CheckSumCase{"abc", 1, " 38"}, CheckSumCase{"", 1, "  0"},
                                         CheckSumCase{"\x07", 1, "  7"},
                                         CheckSumCase{"\xff", 1, "255"},
                                         CheckSumCase{"\xff\x01", 1, "  0"},
                                         CheckSumCase{"\x80\x80\x80", 1, "128"},
                                         // Long enough for a 32-bit running sum to wrap.
                                         CheckSumCase{"\xff", 100000, " 96"},
                                         CheckSumCase{"\xff", 17000000, "192"}));

// ---- six message types round trip

struct RoundTripCase
{
    const char *name;
    std::unique_ptr<MessageBody> (*make)();
};

class RoundTrip : public testing::TestWithParam<RoundTripCase>
{
};

TEST_P(RoundTrip, DecodeOfEncodeGivesTheSameMessage)
{
    Message sent(PROTOCOL_VERSION, "C", "42", GetParam().make());
    const std::string text = sent.encode();
    EXPECT_EQ(sent.getBodyLength(), std::to_string(text.size() - 7 - sent.encodeHeader().size() - 1));

    Message received;
    ASSERT_EQ(received.decode(text), int(text.size() - 6));
    EXPECT_EQ(received.getMessageType(), sent.getMessageType());
    EXPECT_EQ(received.getSequence(), "42");
    EXPECT_EQ(received.getCheckSum(), sent.getCheckSum());
    ASSERT_NE(received.getBody(), nullptr);
    EXPECT_EQ(received.getBody()->getMessageType(), sent.getMessageType());
    for (const auto &[name, field] : sent.getBody()->fields())
        EXPECT_EQ(received.getBody()->getFieldValue(name), field->getValue()) << name;
    EXPECT_EQ(received.getBody()->fields().size(), sent.getBody()->fields().size());

    Message again(received.getVersion(), received.getOrientation(), received.getSequence(),
                  received.takeBody());
    EXPECT_EQ(again.encode(), text);
}

INSTANTIATE_TEST_SUITE_P(
    Types, RoundTrip,
    testing::Values(
        RoundTripCase{"StatusRequest",
                      [] { return std::unique_ptr<MessageBody>(new StatusRequestMessageBody); }},
        RoundTripCase{"StatusResponse",
                      [] {
                          return std::unique_ptr<MessageBody>(new StatusResponseMessageBody(
                              "正常运行", "2009-10-23 14:35:07 ", "0", "100", "90", "00",
                              test::oesRecord("Y", "A股报盘程序", "运行")
                                  + test::oesRecord("N", "B股报盘程序", "停止"),
                              test::pbuRecord("A股报盘程序", "OP000000001")));
                      }},
        RoundTripCase{"Beat", [] { return std::unique_ptr<MessageBody>(new BeatMessageBody); }},
        RoundTripCase{"Log",
                      [] {
                          return std::unique_ptr<MessageBody>(
                              new LogMessageBody("启动\x02" "a=b\x02"));
                      }},
        RoundTripCase{"TroubleShootingRequest",
                      [] {
                          return std::unique_ptr<MessageBody>(
                              new TroubleShootingRequestMessageBody("TroubleShooting", "CheckCS"));
                      }},
        RoundTripCase{"TroubleShootingResponse",
                      [] {
                          return std::unique_ptr<MessageBody>(new TroubleShootingResponseMessageBody(
                              "TroubleShooting", "AgentVersion", "0228305"));
                      }}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- streams and truncation

TEST(MessageDecode, EveryPrefixOfAStatusResponseIsIncomplete)
{
    const std::string full = statusResponseWire(3);
    for (size_t n = 0; n < full.size(); ++n) {
        Message m;
        ASSERT_EQ(m.decode(std::string_view(full).substr(0, n)), Message::DECODE_INCOMPLETE)
            << "prefix of " << n << " bytes";
    }
    Message m;
    EXPECT_EQ(m.decode(full), int(full.size() - 6));
}

TEST(MessageDecode, EveryPrefixOfAHeartbeatIsIncomplete)
{
    const std::string full = Message(PROTOCOL_VERSION, "S", "-1",
                                     std::make_unique<BeatMessageBody>()).encode();
    for (size_t n = 0; n < full.size(); ++n)
        ASSERT_EQ(Message().decode(std::string_view(full).substr(0, n)), Message::DECODE_INCOMPLETE)
            << n;
}

TEST(MessageDecode, StreamOfOneAndAHalfMessages)
{
    const std::string first = statusResponseWire(1, "1");
    const std::string second = statusResponseWire(2, "2");
    std::string buffer = first + second.substr(0, second.size() / 2);

    Message m;
    const int p = m.decode(buffer);
    ASSERT_GT(p, 0);
    EXPECT_EQ(size_t(p) + m.checkSumFieldLength() - 1, first.size());
    EXPECT_EQ(m.getSequence(), "1");
    buffer.erase(0, size_t(p) + 6);

    EXPECT_EQ(Message().decode(buffer), Message::DECODE_INCOMPLETE);
    buffer += second.substr(second.size() / 2, 5);
    EXPECT_EQ(Message().decode(buffer), Message::DECODE_INCOMPLETE);
    buffer += second.substr(second.size() / 2 + 5);
    Message m2;
    EXPECT_EQ(m2.decode(buffer), int(second.size() - 6));
    EXPECT_EQ(m2.getSequence(), "2");
}

TEST(MessageDecode, BodyLengthCutByTheBufferEndWaitsForItsSeparator)
{
    const std::string full = statusResponseWire(20);
    const size_t at = full.find(wire("^A15=")) + 4;
    const size_t end = full.find(FIELD_SEPARATOR, at);
    ASSERT_GE(end - at, 3u) << "a body length of three digits or more";
    for (size_t n = at; n <= end; ++n) {
        EXPECT_EQ(Message().decode(full.substr(0, n) + std::string(2000, 'x')),
                  Message::DECODE_INCOMPLETE)
            << full.substr(at, n - at);
        EXPECT_EQ(Message::frameLength(full.substr(0, n)), std::nullopt);
    }
}

TEST(MessageDecode, FrontThatIsNoHeaderIsIncompleteHoweverLong)
{
    const std::string good = statusResponseWire(1);
    EXPECT_EQ(Message().decode("x" + good), Message::DECODE_INCOMPLETE);
    EXPECT_EQ(Message().decode(wire("^A") + good), Message::DECODE_INCOMPLETE);
    EXPECT_EQ(Message().decode(good.substr(1) + good + good), Message::DECODE_INCOMPLETE);
    EXPECT_EQ(Message().decode(std::string(100000, 'A')), Message::DECODE_INCOMPLETE);
    // Header fields out of order.
    EXPECT_EQ(Message().decode(wire("01=C^A00=Tarvo1.20^A04=02^A12=1^A15=0^A99=247^A")),
              Message::DECODE_INCOMPLETE);
}

// ---- version check

struct VersionCase
{
    const char *orientation;
    const char *version;
    int result; // 0: decodes
};

class VersionCheck : public testing::TestWithParam<VersionCase>
{
};

TEST_P(VersionCheck, TellsWhichSideIsOlder)
{
    const std::string text = frame(GetParam().version, GetParam().orientation, "12", "");
    const int result = Message().decode(text);
    if (GetParam().result == 0)
        EXPECT_EQ(result, int(text.size() - 6));
    else
        EXPECT_EQ(result, GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionCheck,
    testing::Values(VersionCase{"S", "Tarvo1.19", Message::DECODE_PROBE_OLDER},
                    VersionCase{"C", "Tarvo1.19", Message::DECODE_MONITOR_OLDER},
                    VersionCase{"S", "Tarvo1.21", Message::DECODE_MONITOR_OLDER},
                    VersionCase{"C", "Tarvo1.21", Message::DECODE_PROBE_OLDER},
                    VersionCase{"S", "Tarvo1.2", Message::DECODE_PROBE_OLDER},
                    VersionCase{"S", "Tarvo1.200", Message::DECODE_MONITOR_OLDER},
                    VersionCase{"S", "", Message::DECODE_PROBE_OLDER},
                    VersionCase{"S", "\xb0\xe6", Message::DECODE_MONITOR_OLDER},
                    VersionCase{"X", "Tarvo1.19", 0}, VersionCase{"", "Tarvo0", 0},
                    VersionCase{"s", "Tarvo0", 0}, VersionCase{"S", "Tarvo1.20", 0},
                    VersionCase{"C", "Tarvo1.20", 0}));

TEST(MessageDecode, VersionMismatchIsReportedBeforeTheBodyHasArrived)
{
    const std::string claimsBody = wire("00=Tarvo1.19^A01=S^A04=03^A12=1^A15=500^A");
    EXPECT_EQ(Message().decode(claimsBody), Message::DECODE_PROBE_OLDER);
}

// ---- damaged messages

TEST(MessageDecode, ChangedValueByteIsAChecksumError)
{
    std::string text = statusResponseWire(2);
    const size_t at = text.find("2009");
    ASSERT_NE(at, std::string::npos);
    text[at] = '3';
    try {
        Message().decode(text);
        FAIL();
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "Check sum error");
    }
}

TEST(MessageDecode, ChecksumComparesAsTextWithItsSpaces)
{
    // Sequence 10 makes the byte sum 40, written " 40".
    std::string text = wire("00=Tarvo1.20^A01=C^A04=12^A12=10^A15=0^A");
    const std::string sum = Message::checkSumOf(text);
    ASSERT_EQ(sum, " 40");
    EXPECT_GT(Message().decode(text + "99=" + sum + FIELD_SEPARATOR), 0);
    EXPECT_THROW(Message().decode(text + "99=" + sum.substr(1) + FIELD_SEPARATOR + "x"),
                 std::runtime_error);
}

TEST(MessageDecode, TrailerWithAnotherTypeIdIsABadTrailer)
{
    std::string text = statusResponseWire(1);
    text.replace(text.size() - 7, 2, "98");
    EXPECT_EQ(Message().decode(text), Message::DECODE_BAD_TRAILER);
    text.replace(text.size() - 7, 2, "58");
    Message m;
    EXPECT_EQ(m.decode(text), Message::DECODE_BAD_TRAILER);
    EXPECT_NE(m.getBody(), nullptr) << "the body read before the trailer stays with the message";
}

TEST(MessageDecode, BodyLengthOneTooSmallReadsAnEmptyTrailer)
{
    const std::string body = wire("36=TroubleShooting^A91=CheckCS^A");
    const std::string text = frame("Tarvo1.20", "C", "19", body,
                                   std::to_string(body.size() - 1));
    EXPECT_EQ(Message().decode(text), Message::DECODE_BAD_TRAILER);
}

TEST(MessageDecode, BodyLengthThatIsNoNumberThrowsTheConversionError)
{
    try {
        Message().decode(frame("Tarvo1.20", "C", "12", "", "zero"));
        FAIL();
    } catch (const std::invalid_argument &e) {
        EXPECT_STREQ(e.what(), "'zero' is not a valid integer value");
    }
}

TEST(MessageDecode, NegativeBodyLengthIsRefusedNotRead)
{
    try {
        Message().decode(frame("Tarvo1.20", "C", "12", "", "-7"));
        FAIL();
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "Invalid body length:-7");
    }
}

TEST(MessageDecode, HugeBodyLengthWaitsForMore)
{
    EXPECT_EQ(Message().decode(frame("Tarvo1.20", "C", "12", "", "2147483647")),
              Message::DECODE_INCOMPLETE);
    EXPECT_THROW(Message().decode(frame("Tarvo1.20", "C", "12", "", "2147483648")),
                 std::invalid_argument);
}

TEST(MessageDecode, UnknownTypeDecodesWithoutABody)
{
    Message m;
    const std::string text = frame("Tarvo1.20", "S", "07", "");
    EXPECT_EQ(m.decode(text), int(text.size() - 6));
    EXPECT_EQ(m.getBody(), nullptr);
    EXPECT_EQ(m.getMessageType(), "07");
}

TEST(MessageDecode, BodyErrorsPropagate)
{
    EXPECT_THROW(Message().decode(frame("Tarvo1.20", "S", "13", wire("98=x^A"))),
                 std::runtime_error);
    EXPECT_THROW(Message().decode(frame("Tarvo1.20", "S", "03", wire("69=99^A70=^A"))),
                 std::length_error);
    EXPECT_THROW(Message().decode(frame("Tarvo1.20", "S", "13", wire("82^A"))), std::logic_error);
}

TEST(MessageDecode, MessageOver20KDecodesWhole)
{
    const std::string big(20480, 'x');
    Message m;
    const int p = m.decode(frame("Tarvo1.20", "S", "13", wire("82=") + big + wire("^A")));
    EXPECT_GE(p, 20481);
}

TEST(Message, FrameLengthIsKnownFromTheHeaderAlone)
{
    const std::string text = statusResponseWire(2);
    EXPECT_EQ(Message::frameLength(text), text.size());
    EXPECT_EQ(Message::frameLength(text.substr(0, 40)), text.size());
    EXPECT_EQ(Message::frameLength(text.substr(0, 20)), std::nullopt);
    EXPECT_EQ(Message::frameLength(frame("Tarvo1.20", "C", "12", "", "-1")), std::nullopt);
}

} // namespace

// Package values beyond 1 KiB keep their buffers per thread for the next answers: answers of
// growing and shrinking packages, decoded one after another, each carry exactly their own
// packages, also in a copy of the field and after the body that held them is gone.
TEST(Message, LongPackagesDecodedOneAfterAnotherKeepTheirOwnValues)
{
    std::unique_ptr<MessageBody> previous;
    for (size_t size : {3000u, 1100u, 5000u, 40u, 2000u, 2000u, 9000u}) {
        const std::string oes(size, 'o');
        const std::string pbu(size / 2 + 1500, char('a' + size % 26));
        Message sent(PROTOCOL_VERSION, "S", "7",
                     std::make_unique<StatusResponseMessageBody>("正常运行", "2026-12-08 09:30:10 ",
                                                                 "1", "2", "3", "00", oes, pbu));
        const std::string text = sent.encode();
        Message received;
        ASSERT_EQ(received.decode(text), int(text.size()) - 6) << size;
        const Field copy = received.getBody()->getField("oesPackage");
        previous = received.takeBody();
        EXPECT_EQ(previous->getFieldValue("oesPackage"), oes) << size;
        EXPECT_EQ(previous->getFieldValue("pbuPackage"), pbu) << size;
        EXPECT_EQ(previous->getFieldValue("HostTime"), "2026-12-08 09:30:10 ");
        EXPECT_EQ(copy.getValue(), oes);
    }
}
