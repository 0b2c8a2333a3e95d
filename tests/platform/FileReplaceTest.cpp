// Replacing a file whole, on each system: the new bytes in place, nothing left beside them, and
// the leftovers of a replace cut short cleared.
#include "platform/FileReplace.h"
#include "platform/Files.h"
#include "SystemSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace tarvo {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> namesIn(const std::string &dir)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ReplaceFile, PutsTheNewBytesInPlaceAndLeavesNothingBeside)
{
    const std::string dir = test::makeTemporaryDirectory("tarvo-replace");
    ASSERT_FALSE(dir.empty());
    const std::string path = dir + PATH_SEPARATOR + "hosts.txt";
    EXPECT_EQ(replaceFile(path, "first\r\n"), std::nullopt);
    EXPECT_EQ(replaceFile(path, std::string("second\0\xff", 8)), std::nullopt);
    std::string contents;
    ASSERT_TRUE(readWholeFile(path, contents));
    EXPECT_EQ(contents, std::string("second\0\xff", 8));
    EXPECT_EQ(namesIn(dir), std::vector<std::string>{"hosts.txt"});
    EXPECT_NE(replaceFile(dir + PATH_SEPARATOR + "missing" + PATH_SEPARATOR + "x", "y"),
              std::nullopt);
    test::removeTree(dir);
}

TEST(ReplaceFile, StaleTemporariesOfThatFileOnlyAreRemoved)
{
    const std::string dir = test::makeTemporaryDirectory("tarvo-replace");
    ASSERT_FALSE(dir.empty());
    const std::string path = dir + PATH_SEPARATOR + "hosts.txt";
    for (const char *name : {"hosts.txt.tmp-a1b2c3", "hosts.txt.tmp-zzzzzz", "hosts.txt.tmp-1",
                             "other.txt.tmp-a1b2c3", "hosts.txt"})
        std::ofstream(dir + PATH_SEPARATOR + name) << "x";
    EXPECT_EQ(removeStaleTemporaries(path), 2);
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"hosts.txt", "hosts.txt.tmp-1",
                                                      "other.txt.tmp-a1b2c3"}));
    test::removeTree(dir);
}

} // namespace
} // namespace tarvo
