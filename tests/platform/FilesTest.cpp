// Paths, files and directories, the clock, and the bounded TCP connection test.
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Socket.h"
#include "platform/TcpProbe.h"
#include "SystemSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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
