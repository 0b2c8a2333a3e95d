// The console log file: stamp format, bytes, one file per day, missing directory.
#include "TestSupport.h"
#include "app/ConsoleLog.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tarvo {
namespace {

TEST(ConsoleLogTest, TimeStampIsTwentyCharactersEndingInABlank)
{
    const std::string stamp = formatTimeStamp({2009, 6, 1, 9, 5, 3});
    EXPECT_EQ(stamp, "2009-06-01 09:05:03 ");
    EXPECT_EQ(stamp.size(), 20u);
}

TEST(ConsoleLogTest, EntriesAreAppendedWithCrLfToTheFileOfTheirDay)
{
    test::WorkDir dir;
    LocalTime now{2009, 6, 1, 23, 59, 59};
    ConsoleLog log(dir.path(), [&now] { return now; });
    log.append(log.timeStamp() + "Monitor正常运行");
    log.append(log.timeStamp() + "second");
    now = {2009, 6, 2, 0, 0, 0};
    log.append(log.timeStamp() + "next day");

    EXPECT_EQ(test::readFile(dir.file("logs/MonitorLog_2009-06-01.log")),
              "2009-06-01 23:59:59 Monitor\xD5\xFD\xB3\xA3\xD4\xCB\xD0\xD0\r\n"
              "2009-06-01 23:59:59 second\r\n");
    EXPECT_EQ(test::readFile(dir.file("logs/MonitorLog_2009-06-02.log")),
              "2009-06-02 00:00:00 next day\r\n");
}

TEST(ConsoleLogTest, ExistingFileIsAppendedTo)
{
    test::WorkDir dir;
    ::mkdir(dir.file("logs").c_str(), 0777);
    test::writeFile(dir.file("logs/MonitorLog_2010-01-02.log"), "old\r\n");
    ConsoleLog log(dir.path(), [] { return LocalTime{2010, 1, 2, 3, 4, 5}; });
    log.append(log.timeStamp() + "new");
    EXPECT_EQ(test::readFile(dir.file("logs/MonitorLog_2010-01-02.log")),
              "old\r\n2010-01-02 03:04:05 new\r\n");
}

TEST(ConsoleLogTest, UncreatableDirectoryRaisesTheFixedMessage)
{
    test::WorkDir dir;
    // A plain file where the directory should be cannot be replaced by a directory.
    test::writeFile(dir.file("logs"), "x");
    ConsoleLog log(dir.path(), [] { return LocalTime{2010, 1, 2, 3, 4, 5}; });
    try {
        log.append("line");
        FAIL() << "no exception";
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "Cannot create LogFile Directory.");
    }
}

} // namespace
} // namespace tarvo
