// Files of Windows: GBK names through code page 936 whatever the ANSI code page, and what is
// not a disk file (devices, pipes) refused without a wait.
#include "platform/Files.h"
#include "SystemSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>

namespace tarvo {
namespace {

TEST(FilesOfWindows, GbkDirectoryNamesAreTheirChineseNames)
{
    const std::string dir = test::makeTemporaryDirectory("tarvo-gbk");
    ASSERT_FALSE(dir.empty());
    // "报盘机" in GBK; the system sees the same three characters, not the bytes read in
    // the ANSI code page.
    const std::string chinese = dir + "\\报盘机";
    ASSERT_TRUE(createDirectories(chinese + "\\monitor\\"));
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(
        std::filesystem::path(dir).wstring() + L"\\\u62a5\u76d8\u673a\\monitor")));
    std::ofstream(std::filesystem::path(std::filesystem::path(dir).wstring() +
                                        L"\\\u62a5\u76d8\u673a\\monitor\\x.txt"),
                  std::ios::binary)
        << "abc";
    std::string contents;
    EXPECT_TRUE(readRegularFile(chinese + "\\monitor\\x.txt", 10, contents).ok());
    EXPECT_EQ(contents, "abc");

    const std::string previous = currentDirectory();
    std::string error;
    ASSERT_TRUE(changeDirectory(chinese, error)) << error;
    EXPECT_EQ(currentDirectory(), std::filesystem::canonical(dir).string() + "\\报盘机");
    EXPECT_TRUE(changeDirectory(previous, error));
    test::removeTree(dir);
}

TEST(FilesOfWindows, DevicesAndPipesAreRefusedAtOnce)
{
    std::string contents;
    EXPECT_EQ(readRegularFile("NUL", 10, contents).error,
              "is not a regular file (a character device)");
    const std::string pipe = "\\\\.\\pipe\\tarvo-files-" + std::to_string(test::currentProcessId());
    HANDLE server = ::CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 2, 1024,
                                       1024, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    // Nobody writes into the pipe: a plain read would wait for ever.
    EXPECT_EQ(readRegularFile(pipe, 10, contents).error, "is not a regular file (a pipe)");
    ::CloseHandle(server);
}

TEST(FilesOfWindows, PathsUseBackslashes)
{
    EXPECT_EQ(PATH_SEPARATOR, '\\');
    EXPECT_EQ(nativePath("monitor/ASHR_status.txt"), "monitor\\ASHR_status.txt");
    EXPECT_EQ(parentDirectory("C:\\tarvo\\agent.exe"), "C:\\tarvo");
    EXPECT_EQ(parentDirectory("C:\\agent.exe"), "C:\\");
    EXPECT_EQ(replaceExtension("C:\\v1.2\\TarvoMonitorAgent.exe", ".ini"),
              "C:\\v1.2\\TarvoMonitorAgent.ini");
}

} // namespace
} // namespace tarvo
