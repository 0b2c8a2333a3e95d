// Paths, files and directories, the clock, and the bounded TCP connection test.
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Socket.h"
#include "platform/TcpProbe.h"
#include "SystemSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

namespace tarvo {
namespace {

TEST(ReplaceExtension, ReplacesOrExtendsTheLastComponent)
{
    EXPECT_EQ(replaceExtension("/opt/agent/TarvoMonitorAgent", ".ini"),
              "/opt/agent/TarvoMonitorAgent.ini");
    EXPECT_EQ(replaceExtension("/opt/agent/TarvoMonitorAgent.exe", ".ini"),
              "/opt/agent/TarvoMonitorAgent.ini");
    EXPECT_EQ(replaceExtension("/opt/v1.2/agent", ".ini"), "/opt/v1.2/agent.ini");
    EXPECT_EQ(replaceExtension("/home/.agent", ".ini"), "/home/.agent.ini");
}

TEST(ParentDirectory, DropsTheLastComponent)
{
    EXPECT_EQ(parentDirectory("/opt/tarvo"), "/opt");
    EXPECT_EQ(parentDirectory("/opt"), "/");
    EXPECT_EQ(parentDirectory("tarvo"), ".");
}

TEST(Files, ExistenceCreationAndCurrentDirectory)
{
    const std::string dir = test::makeTemporaryDirectory("tarvo-files");
    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(directoryExists(dir));
    EXPECT_FALSE(fileExists(dir + "/a"));
    EXPECT_FALSE(fileExists(""));
    EXPECT_TRUE(createDirectories(dir + "/a/b/"));
    EXPECT_TRUE(directoryExists(dir + "/a/b"));
    EXPECT_TRUE(fileExists(dir + "/a"));
    EXPECT_FALSE(createDirectories(""));

    const std::string previous = currentDirectory();
    std::string error;
    ASSERT_TRUE(changeDirectory(dir, error)) << error;
    EXPECT_EQ(currentDirectory(), std::filesystem::canonical(dir).string());
    EXPECT_TRUE(changeDirectory(previous, error));
    EXPECT_FALSE(changeDirectory(dir + "/none", error));
    EXPECT_FALSE(error.empty());
    test::removeTree(dir);

    EXPECT_EQ(std::filesystem::path(executablePath()).stem(), "platform_tests");
    EXPECT_EQ(absolutePath("x"), nativePath(previous + "/x"));
}

TEST(Files, CanCreateDirectoriesCreatesNothing)
{
    const std::string dir = test::makeTemporaryDirectory("tarvo-files");
    std::ofstream(dir + "/plain") << "x";
    EXPECT_TRUE(canCreateDirectories(dir));
    EXPECT_TRUE(canCreateDirectories(dir + "/logs/"));
    EXPECT_TRUE(canCreateDirectories(dir + "/a/b/c"));
    EXPECT_FALSE(fileExists(dir + "/logs"));
    EXPECT_FALSE(fileExists(dir + "/a"));
    // Below a file nothing can be created.
    EXPECT_FALSE(canCreateDirectories(dir + "/plain/logs/"));
    EXPECT_FALSE(canCreateDirectories(""));
    std::filesystem::remove_all(dir);
}

TEST(Files, ReadRegularFileTellsMissingFromRefused)
{
    const std::string dir = test::makeTemporaryDirectory("tarvo-files");
    std::ofstream(dir + "/data", std::ios::binary) << std::string(1000, 'a');
    std::string contents = "old";
    FileRead read = readRegularFile(dir + "/data", 1000, contents);
    EXPECT_TRUE(read.ok());
    EXPECT_EQ(contents.size(), 1000u);
    read = readRegularFile(dir + "/data", 999, contents);
    EXPECT_EQ(read.status, FileRead::Status::Refused);
    EXPECT_EQ(read.error, "is larger than 999 bytes (1000 bytes)");
    EXPECT_TRUE(contents.empty());
    read = readRegularFile(dir + "/none", 10, contents);
    EXPECT_EQ(read.status, FileRead::Status::Missing);
    EXPECT_EQ(read.error, "does not exist");
    read = readRegularFile(dir, 10, contents);
    EXPECT_EQ(read.error, "is not a regular file (a directory)");
    EXPECT_TRUE(readWholeFile(dir + "/data", contents));
    test::removeTree(dir);
}

// A writer that rewrites the file in two pieces, 5 ms apart, every 60 ms: a read with a
// quiet time longer than that gap gets one whole version, none (the file never kept still
// long enough) or an empty file (just truncated: Linux may show the old times for a moment,
// so nothing tells it from a file that is empty); a read without it gets torn ones.
TEST(Files, AFileWrittenInTwoPiecesIsReadWholeOrNotAtAll)
{
    const std::string dir = test::makeTemporaryDirectory("tarvo-files");
    ASSERT_FALSE(dir.empty());
    const std::string path = dir + "/status";
    const std::string versions[2] = {std::string(3000, 'a'), std::string(3000, 'b')};
    std::ofstream(path, std::ios::binary) << versions[0];
    std::atomic<bool> stop = false;
    std::thread writer([&] {
        for (int v = 1; !stop; v ^= 1) {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << versions[v].substr(0, 1000) << std::flush;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            out << versions[v].substr(1000) << std::flush;
            out.close();
            std::this_thread::sleep_for(std::chrono::milliseconds(55));
        }
    });
    // Reads of whole versions and torn ones (an empty one is neither).
    auto readMany = [&](const ReadSettling &settling) {
        std::pair<int, int> wholeAndTorn{0, 0};
        std::string contents;
        for (int i = 0; i < 30; ++i) {
            FileRead read = readRegularFile(path, 1 << 20, contents, settling);
            if (read.ok() && !contents.empty())
                ++(contents == versions[0] || contents == versions[1] ? wholeAndTorn.first
                                                                      : wholeAndTorn.second);
            else if (!read.ok()) {
                EXPECT_EQ(read.error, "changed while it was read 4 times");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(7));
        }
        return wholeAndTorn;
    };
    const auto [wholeWithout, tornWithout] = readMany({});
    const auto [whole, torn] = readMany({4, std::chrono::milliseconds(25)});
    stop = true;
    writer.join();
    test::removeTree(dir);
    EXPECT_EQ(torn, 0);
    EXPECT_GT(whole, 18);
    std::printf("[ TORN     ] %d of %d reads torn without a quiet time, %d of %d with 25 ms\n",
                tornWithout, wholeWithout + tornWithout, torn, whole + torn);
}

TEST(Clock, LocalTimeRoundTripsThroughEpochMilliseconds)
{
    LocalTime now = currentLocalTime();
    EXPECT_GE(now.year, 2020);
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
    auto ms = localTimeToEpochMs(now);
    ASSERT_TRUE(ms);
    EXPECT_EQ(*ms % 1000, 0);
    auto later = localTimeToEpochMs(LocalTime{now.year, now.month, now.day, now.hour, now.minute,
                                              now.second + 1});
    EXPECT_EQ(*later - *ms, 1000);
}

TEST(TcpConnectProbe, ListenerSucceedsClosedPortIsRefusedBadAddressesFail)
{
    Listening listener = listenTcp("127.0.0.1", 0, 4);
    ASSERT_EQ(listener.error, "");
    const uint16_t port = uint16_t(listener.port);
    const std::chrono::milliseconds timeout(500);

    EXPECT_TRUE(tcpConnectProbe("127.0.0.1", "127.0.0.1", port, timeout));
    EXPECT_FALSE(tcpConnectProbe("127.0.0.1", "127.0.0.1", 0, timeout));
    EXPECT_FALSE(tcpConnectProbe("127.0.0.x", "127.0.0.1", port, timeout));
    EXPECT_FALSE(tcpConnectProbe("127.0.0.1", "", port, timeout));
    listener.socket.close();
    EXPECT_FALSE(tcpConnectProbe("127.0.0.1", "127.0.0.1", port, timeout));
}

} // namespace
} // namespace tarvo
