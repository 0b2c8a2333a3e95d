// Ini files read as the Windows profile functions read them.
#include "platform/IniFile.h"
#include "SystemSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>

using namespace tarvo;

TEST(IniFile, MatchesNamesWithoutCaseAndFirstOccurrenceWins)
{
    // The second [tarvo] is skipped whole: neither its new key nor its repeated one counts.
    const IniFile ini = IniFile::parse("[Tarvo]\r\nlogs_dir = ./logs/ \r\nLOGS_DIR=second\r\n"
                                       "[tarvo]\r\nextra=1\r\nlogs_dir=third\r\n"
                                       "[PORT]\nport=10013\n[port]\nport=10014\n");
    EXPECT_EQ(ini.readString("TARVO", "Logs_Dir"), "./logs/");
    EXPECT_EQ(ini.readString("tarvo", "extra", "none"), "none");
    EXPECT_FALSE(ini.hasKey("Tarvo", "extra"));
    EXPECT_EQ(ini.readInt("port", "PORT", 10012), 10013);
    EXPECT_EQ(ini.sections(), (std::vector<std::string>{"Tarvo", "PORT"}));
    EXPECT_EQ(ini.keys("TARVO"), (std::vector<std::string>{"logs_dir"}));
}

TEST(IniFile, KeysBeforeAnySectionAndInsideARepeatedOneAreDropped)
{
    const IniFile ini = IniFile::parse("orphan=1\n[A]\nk=1\n[B]\nk=2\n[a]\nk=3\nnew=4\n[B]\nz=5\n"
                                       "[C]\nk=6\n");
    EXPECT_EQ(ini.sections(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(ini.readString("A", "k"), "1");
    EXPECT_EQ(ini.readString("B", "k"), "2");
    EXPECT_EQ(ini.readString("C", "k"), "6");
    EXPECT_EQ(ini.keys("a"), (std::vector<std::string>{"k"}));
    EXPECT_EQ(ini.keys("b"), (std::vector<std::string>{"k"}));
    EXPECT_FALSE(ini.hasKey("B", "z"));
    EXPECT_FALSE(ini.hasKey("", "orphan"));
}

struct IntCase
{
    const char *value;
    long expected;
};

class IniReadInt : public ::testing::TestWithParam<IntCase>
{
};

TEST_P(IniReadInt, ReadsLeadingDigitsSaturatingOutsideTheRangeOfLong)
{
    const IniFile ini = IniFile::parse(std::string("[S]\nk=") + GetParam().value + "\n");
    EXPECT_EQ(ini.readInt("S", "k", -7), GetParam().expected) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, IniReadInt,
    ::testing::Values(IntCase{"10012", 10012}, IntCase{"10012xyz", 10012}, IntCase{"abc", -7},
                      IntCase{"", -7}, IntCase{"-12", -12}, IntCase{"+12", 12}, IntCase{"-", -7},
                      IntCase{"9223372036854775807", std::numeric_limits<long>::max()},
                      IntCase{"9223372036854775808", std::numeric_limits<long>::max()},
                      IntCase{"99999999999999999999999", std::numeric_limits<long>::max()},
                      IntCase{"-9223372036854775808", std::numeric_limits<long>::min()},
                      IntCase{"-99999999999999999999999", std::numeric_limits<long>::min()}));

TEST(IniFile, OnlyARegularFileWithinTheLimitIsRead)
{
    const std::string dir = ::testing::TempDir() + "ini-kinds/";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "small.ini", std::ios::binary) << "[A]\nk=v\n";

    std::string error = "x";
    EXPECT_EQ(IniFile::load(dir + "small.ini", 8, &error).readString("A", "k"), "v");
    EXPECT_EQ(error, "");
    EXPECT_FALSE(IniFile::load(dir + "small.ini", 7, &error).exists());
    EXPECT_EQ(error, "is larger than 7 bytes (8 bytes)");
    // A FIFO nobody writes into is refused at once instead of blocking the reader.
    if (test::makeFifo(dir + "fifo.ini")) {
        EXPECT_FALSE(IniFile::load(dir + "fifo.ini", 100, &error).exists());
        EXPECT_EQ(error, "is not a regular file (a FIFO)");
        EXPECT_FALSE(IniFile::load(dir + "fifo.ini").exists());
    }
    EXPECT_FALSE(IniFile::load(dir, 100, &error).exists());
    EXPECT_EQ(error, "is not a regular file (a directory)");
    EXPECT_FALSE(IniFile::load(dir + "missing.ini", 100, &error).exists());
    EXPECT_EQ(error, "");
    std::filesystem::remove_all(dir);
}

TEST(IniFile, MissingThingsGiveDefaults)
{
    const IniFile ini = IniFile::parse("; comment\n[A]\nempty=\nnum=12abc\nbad=x\n");
    EXPECT_EQ(ini.readString("A", "empty", "d"), "");
    EXPECT_EQ(ini.readString("A", "none", "d"), "d");
    EXPECT_EQ(ini.readString("B", "none", "d"), "d");
    EXPECT_EQ(ini.readInt("A", "num", 5), 12);
    EXPECT_EQ(ini.readInt("A", "bad", 5), 5);
    EXPECT_TRUE(ini.keys("B").empty());
    EXPECT_FALSE(IniFile::load("/nonexistent/dir/x.ini").exists());
}

TEST(IniFile, KeepsGbkBytesOfKeysAndValues)
{
    const std::string path = ::testing::TempDir() + "gbk.ini";
    {
        std::ofstream out(path, std::ios::binary);
        out << "[Tarvo]\r\nA股报盘程序=Y\r\nB股报盘程序 = N\r\n";
    }
    const IniFile ini = IniFile::load(path);
    EXPECT_TRUE(ini.exists());
    EXPECT_EQ(ini.readString("Tarvo", "A股报盘程序"), "Y");
    EXPECT_EQ(ini.readString("Tarvo", "B股报盘程序"), "N");
    std::remove(path.c_str());
}
