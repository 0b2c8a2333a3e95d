// The stream framer: where the message at the front of a stream ends, under each reader's rules.
#include "WireText.h"

#include "protocol/StreamFramer.h"

#include <gtest/gtest.h>

using namespace tarvo;
using tarvo::test::wire;

namespace {

using Limit = StreamFramer::Limit;
using Status = Frame::Status;
using Fault = Frame::Fault;

std::string header(const std::string &version, const std::string &bodyLength,
                   const std::string &orientation = "C", const std::string &type = "12")
{
    return wire("00=" + version + "^A01=" + orientation + "^A04=" + type + "^A12=5^A15=" +
                bodyLength + "^A");
}

std::string framed(std::string text)
{
    return text + "99=" + Message::checkSumOf(text) + FIELD_SEPARATOR;
}

// A message of a type without a body codec (its body is kept unread), whose trailer starts at
// byte `trailerAt`: the header's body length is written with five digits.
std::string messageWithTrailerAt(size_t trailerAt)
{
    const size_t body = trailerAt - 1 - header(PROTOCOL_VERSION, "00000").size();
    char length[8];
    std::snprintf(length, sizeof length, "%05zu", body);
    return framed(header(PROTOCOL_VERSION, length, "C", "77") + std::string(body, 'x'));
}

const std::string BEAT = framed(header(PROTOCOL_VERSION, "0"));

struct FramingCase
{
    const char *name;
    std::string bytes;
    Limit limit;
    bool strict;
    Status status;
    Fault fault;
    size_t length;  // Complete: the bytes taken; TooLong: the bytes declared
};

class StreamFraming : public ::testing::TestWithParam<FramingCase>
{
};

TEST_P(StreamFraming, TellsWhereTheMessageEnds)
{
    const FramingCase &c = GetParam();
    Message message;
    const Frame frame = StreamFramer(c.limit, c.strict).next(c.bytes, message);
    EXPECT_EQ(frame.status, c.status);
    EXPECT_EQ(frame.fault, c.fault);
    if (c.status == Status::Complete) {
        EXPECT_EQ(frame.length, c.length);
    }
    if (c.fault == Fault::TooLong) {
        EXPECT_EQ(frame.declared, c.length);
    }
}

const size_t LAST = MESSAGE_LIMIT;  // the trailer's last allowed start for the console

INSTANTIATE_TEST_SUITE_P(
    Cases, StreamFraming,
    ::testing::Values(
        FramingCase{"Empty", "", Limit::TrailerStart, false, Status::Incomplete, Fault::None, 0},
        FramingCase{"WholeBeat", BEAT, Limit::None, false, Status::Complete, Fault::None,
                    BEAT.size()},
        FramingCase{"BeatAndMore", BEAT + BEAT.substr(0, 9), Limit::TrailerStart, true,
                    Status::Complete, Fault::None, BEAT.size()},
        FramingCase{"CutTrailer", BEAT.substr(0, BEAT.size() - 1), Limit::TrailerStart, false,
                    Status::Incomplete, Fault::None, 0},
        FramingCase{"BodyLengthStillGrowing", wire("00=Tarvo1.20^A01=C^A04=12^A12=5^A15=2"),
                    Limit::MessageEnd, true, Status::Incomplete, Fault::None, 0},
        FramingCase{"ConsoleTakesTrailerAtTheLimit", messageWithTrailerAt(LAST),
                    Limit::TrailerStart, false, Status::Complete, Fault::None, LAST + 6},
        FramingCase{"ConsoleRefusesTrailerOneBeyond", messageWithTrailerAt(LAST + 1),
                    Limit::TrailerStart, false, Status::Invalid, Fault::TooLong, LAST + 7},
        FramingCase{"ConsoleRefusesADeclaredOverlongHeader",
                    messageWithTrailerAt(LAST + 1).substr(0, 40), Limit::TrailerStart, false,
                    Status::Invalid, Fault::TooLong, LAST + 7},
        FramingCase{"ConsoleRefusesGarbageLongerThanAMessage", std::string(LAST + 7, 'g'),
                    Limit::TrailerStart, false, Status::Invalid, Fault::TooLong, 0},
        FramingCase{"ConsoleWaitsOnGarbageUpToTheLongestMessage", std::string(LAST + 6, 'g'),
                    Limit::TrailerStart, false, Status::Incomplete, Fault::None, 0},
        FramingCase{"AgentTakesAMessageEndingAtTheLimit", messageWithTrailerAt(LAST - 6),
                    Limit::MessageEnd, true, Status::Complete, Fault::None, LAST},
        FramingCase{"AgentRefusesOneEndingBeyond", messageWithTrailerAt(LAST - 5).substr(0, 40),
                    Limit::MessageEnd, true, Status::Invalid, Fault::TooLong, LAST + 1},
        FramingCase{"ToolTakesAnyLength", messageWithTrailerAt(LAST + 100), Limit::None, false,
                    Status::Complete, Fault::None, LAST + 106},
        FramingCase{"StrictRefusesANonHeader", "0X=", Limit::MessageEnd, true, Status::Invalid,
                    Fault::NoHeader, 0},
        FramingCase{"StrictRefusesAHeaderWithoutEnd", "00=" + std::string(300, 'T'),
                    Limit::MessageEnd, true, Status::Invalid, Fault::UnreadableHeader, 0},
        FramingCase{"ChecksumMismatch", BEAT.substr(0, BEAT.size() - 2) + "9\x01",
                    Limit::TrailerStart, false, Status::Invalid, Fault::Undecodable, 0},
        FramingCase{"ConsoleOlder", framed(header("Tarvo1.21", "0", "S")), Limit::TrailerStart,
                    false, Status::Invalid, Fault::MonitorOlder, 0},
        FramingCase{"AgentOlder", framed(header("Tarvo1.21", "0")), Limit::MessageEnd, true,
                    Status::Invalid, Fault::ProbeOlder, 0},
        FramingCase{"TrailerOfAnotherType", header(PROTOCOL_VERSION, "0") + wire("98=abc^A"),
                    Limit::None, false, Status::Invalid, Fault::BadTrailer, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(StreamFramer, NamesWhatDecodingThrew)
{
    Message message;
    const Frame frame =
        StreamFramer().next(BEAT.substr(0, BEAT.size() - 2) + "9\x01", message);
    EXPECT_EQ(frame.reason, "Check sum error");
}

} // namespace
