// Ini files read as the Windows profile functions read them.
#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace tarvo;

TEST(IniFile, MatchesNamesWithoutCaseAndFirstOccurrenceWins)
{
    const IniFile ini = IniFile::parse("[Tarvo]\r\nlogs_dir = ./logs/ \r\nLOGS_DIR=second\r\n"
                                       "[tarvo]\r\nextra=1\r\n[PORT]\nport=10013\n");
    EXPECT_EQ(ini.readString("TARVO", "Logs_Dir"), "./logs/");
    EXPECT_EQ(ini.readString("tarvo", "extra"), "1");
    EXPECT_EQ(ini.readInt("port", "PORT", 10012), 10013);
    EXPECT_EQ(ini.sections(), (std::vector<std::string>{"Tarvo", "PORT"}));
    EXPECT_EQ(ini.keys("TARVO"), (std::vector<std::string>{"logs_dir", "extra"}));
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
