// Framing of a client's stream by the agent: whole, split and joined messages, and every
// kind of input that must close the connection instead of growing the buffer.
#include "agent/service/FrameReader.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>

namespace tarvo {
namespace {

using Kind = FrameReader::Result::Kind;

std::string header(const std::string &version, const std::string &orientation,
                   const std::string &type, const std::string &bodyLength)
{
    return "00=" + version + "\x01" "01=" + orientation + "\x01" "04=" + type + "\x01" "12=1\x01"
           "15=" + bodyLength + "\x01";
}

std::string withTrailer(const std::string &text)
{
    return text + "99=" + Message::checkSumOf(text) + "\x01";
}

TEST(FrameReader, DeliversOneMessageFedByteByByteOnlyWhenComplete)
{
    const std::string bytes = test::troubleRequest("7", "CheckCS");
    FrameReader frames;
    for (size_t i = 0; i + 1 < bytes.size(); ++i) {
        frames.append(bytes.substr(i, 1));
        ASSERT_EQ(frames.next().kind, Kind::NeedMore) << "after " << i + 1 << " bytes";
        EXPECT_TRUE(frames.hasPartial());
    }
    frames.append(bytes.substr(bytes.size() - 1));
    FrameReader::Result result = frames.next();
    ASSERT_EQ(result.kind, Kind::Complete);
    EXPECT_EQ(result.message->getMessageType(), "19");
    EXPECT_EQ(result.message->getSequence(), "7");
    auto *body = dynamic_cast<TroubleShootingRequestMessageBody *>(result.message->getBody());
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->getShootingType(), "CheckCS");
    EXPECT_FALSE(frames.hasPartial());
}

TEST(FrameReader, SplitsJoinedMessagesAndKeepsTheTail)
{
    const std::string first = test::statusRequest("1");
    const std::string second = test::troubleRequest("2", "AgentVersion");
    FrameReader frames;
    frames.append(first + second + second.substr(0, 10));
    FrameReader::Result a = frames.next();
    FrameReader::Result b = frames.next();
    ASSERT_EQ(a.kind, Kind::Complete);
    ASSERT_EQ(b.kind, Kind::Complete);
    EXPECT_EQ(a.message->getSequence(), "1");
    EXPECT_EQ(b.message->getSequence(), "2");
    EXPECT_EQ(frames.next().kind, Kind::NeedMore);
    EXPECT_EQ(frames.buffered(), 10u);
}

struct BadInput
{
    const char *name;
    std::string bytes;
    std::string errorPart;
};

class FrameReaderRefuses : public ::testing::TestWithParam<BadInput>
{
};

TEST_P(FrameReaderRefuses, WithAnErrorThatNamesTheCause)
{
    FrameReader frames;
    frames.append(GetParam().bytes);
    FrameReader::Result result = frames.next();
    ASSERT_EQ(result.kind, Kind::Error);
    EXPECT_NE(result.error.find(GetParam().errorPart), std::string::npos) << result.error;
}

std::string corruptedChecksum()
{
    std::string bytes = test::troubleRequest("3", "CheckCS");
    bytes[bytes.find("CheckCS")] = 'X';
    return bytes;
}

std::string overlongHeaderField()
{
    return "00=" + std::string(StreamFramer::MAX_HEADER_BYTES, 'T');
}

INSTANTIATE_TEST_SUITE_P(
    Input, FrameReaderRefuses,
    ::testing::Values(
        BadInput{"Garbage", "GET / HTTP/1.0\r\n\r\n", "not a message header"},
        BadInput{"GarbageAfterTwoGoodBytes", "0X=", "not a message header"},
        // Only the header has arrived; the declared size alone refuses the message.
        BadInput{"DeclaredTooLong", header("Tarvo1.20", "C", "19", "20474"), "too long"},
        BadInput{"HeaderNeverEnds", overlongHeaderField(), "unreadable message header"},
        BadInput{"NegativeBodyLength", header("Tarvo1.20", "C", "02", "-5") + "99=  0\x01",
                 "cannot be decoded"},
        BadInput{"ConsoleOlder", withTrailer(header("Tarvo1.19", "C", "02", "0")),
                 "the console (Tarvo1.19) is older"},
        BadInput{"AgentOlder", withTrailer(header("Tarvo1.21", "C", "02", "0")),
                 "the agent (Tarvo1.20) is older"},
        BadInput{"ChecksumMismatch", corruptedChecksum(), "Check sum error"},
        BadInput{"TrailerOfAnotherType", header("Tarvo1.20", "C", "02", "0") + "98=abc\x01",
                 "trailer"},
        BadInput{"BodyThatDoesNotDecode",
                 withTrailer(header("Tarvo1.20", "C", "19", "9") + "xx=abcde\x01"),
                 "cannot be decoded"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FrameReader, AcceptsTheLongestMessageAndRefusesOneByteMore)
{
    // header + body + 7 trailer bytes: the largest body that ends at byte 20480.
    const std::string head = header("Tarvo1.20", "C", "12", "00000");
    const size_t longest = MESSAGE_LIMIT - head.size() - 7;
    char length[8];
    std::snprintf(length, sizeof length, "%05zu", longest);
    FrameReader fits;
    fits.append(header("Tarvo1.20", "C", "12", length));
    EXPECT_EQ(fits.next().kind, Kind::NeedMore);

    std::snprintf(length, sizeof length, "%05zu", longest + 1);
    FrameReader tooLong;
    tooLong.append(header("Tarvo1.20", "C", "12", length));
    EXPECT_EQ(tooLong.next().kind, Kind::Error);
}

TEST(FrameReader, UnknownTypeDecodesWithoutBody)
{
    FrameReader frames;
    frames.append(withTrailer(header("Tarvo1.20", "C", "77", "0")));
    FrameReader::Result result = frames.next();
    ASSERT_EQ(result.kind, Kind::Complete);
    EXPECT_EQ(result.message->getBody(), nullptr);
}

// Mutated messages in random chunks: the reader never throws, never keeps more than one
// message's worth of bytes, and stops at the first error.
TEST(FrameReader, MutatedStreamsStayBoundedAndNeverThrow)
{
    const std::string valid = test::statusRequest("1") + test::troubleRequest("2", "CheckCS");
    std::mt19937 random(20480);
    for (int round = 0; round < 2000; ++round) {
        std::string stream = valid + valid;
        for (int i = 0; i < 3; ++i)
            stream[random() % stream.size()] = char(random() % 256);
        FrameReader frames;
        size_t offset = 0;
        bool failed = false;
        while (offset < stream.size() && !failed) {
            const size_t chunk = 1 + random() % 64;
            frames.append(std::string_view(stream).substr(offset, chunk));
            offset += chunk;
            for (;;) {
                FrameReader::Result result;
                ASSERT_NO_THROW(result = frames.next());
                if (result.kind == Kind::NeedMore)
                    break;
                if (result.kind == Kind::Error) {
                    failed = true;
                    break;
                }
                ASSERT_NE(result.message, nullptr);
            }
            ASSERT_LE(frames.buffered(), MESSAGE_LIMIT + 64);
        }
    }
}

} // namespace
} // namespace tarvo
