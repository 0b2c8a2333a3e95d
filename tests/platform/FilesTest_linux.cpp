// Files of Linux that are not regular files: devices read neither as files nor as a wait.
#include "platform/Files.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

TEST(FilesOfLinux, DevicesAreRefusedAtOnce)
{
    std::string contents;
    EXPECT_EQ(readRegularFile("/dev/zero", 10, contents).error,
              "is not a regular file (a character device)");
    EXPECT_FALSE(readWholeFile("/dev/null", contents));
    EXPECT_EQ(PATH_SEPARATOR, '/');
    EXPECT_EQ(nativePath("monitor/ASHR_status.txt"), "monitor/ASHR_status.txt");
}

} // namespace
} // namespace tarvo
