// The host list file in a person's hands: files broken by hand are reported, never lost,
// and agents' texts that the format cannot hold never reach it.
#include "TestSupport.h"
#include "app/HostListFile.h"

#include <gtest/gtest.h>

#include <QDir>

namespace tarvo {
namespace {

struct BrokenFile
{
    const char *name;
    std::string text;
    std::vector<std::string> reports;  // what loading reports, after "Error[报盘机列表文件<path>"
    std::string saved;                 // the file after the first save
    bool backedUp;                     // the file as it was is kept beside it
};

class HostListSafety : public ::testing::TestWithParam<BrokenFile>
{
protected:
    test::WorkDir dir;
    std::string path = dir.file("TarvoMonitor.CFG");
};

TEST_P(HostListSafety, ReportsWhatItDroppedAndKeepsTheFileBeforeTheSaveThatDropsIt)
{
    const BrokenFile &c = GetParam();
    test::writeFile(path, c.text);
    HostSubjectPool pool;
    HostListStore store(path);
    std::vector<std::string> expected;
    for (const std::string &report : c.reports)
        expected.push_back("Error[报盘机列表文件" + path + report);
    EXPECT_EQ(store.load(pool), expected);
    EXPECT_FALSE(store.save(pool));
    EXPECT_EQ(test::readFile(path), c.saved);
    EXPECT_EQ(test::readFile(path + ".bak"), c.backedUp ? c.text : "");
    const auto notices = store.takeNotices();
    EXPECT_EQ(notices.size(), c.backedUp ? 1u : 0u);
    // Later saves keep that backup as it is and make no other.
    pool.find("10.1.1.1")->setPort("1");
    EXPECT_FALSE(store.save(pool));
    EXPECT_EQ(test::readFile(path + ".bak"), c.backedUp ? c.text : "");
    EXPECT_FALSE(test::fileExists(path + ".bak.1"));
    EXPECT_TRUE(store.takeNotices().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, HostListSafety,
    ::testing::Values(
        BrokenFile{"LastLineLostItsFinalComma",
                   "A1,10.1.1.1,10012,N,N,0,\r\nA2,10.1.1.2,10012,N,N,0\r\n",
                   {"第2行: 记录不完整(行尾缺少逗号或字段), 未载入]"},
                   "A1,10.1.1.1,10012,N,N,0,\r\n", true},
        BrokenFile{"RepeatedAddressAfterAnEmptyLine",
                   "first,10.1.1.1,1,N,N,0,\r\n\r\nsecond,10.1.1.1,2,N,N,0,\r\n",
                   {"第3行: 线路IP10.1.1.1已在前面的行中, 未载入]"},
                   "first,10.1.1.1,1,N,N,0,\r\n", true},
        BrokenFile{"Utf8WrittenByAnEditor", "\xE4\xB8\xBB\xE6\x9C\xBA,10.1.1.1,10012,N,N,0,\r\n",
                   {"不是GBK编码(可能是UTF-8), 中文别名会显示为乱码; 请存为GBK]"},
                   "\xE4\xB8\xBB\xE6\x9C\xBA,10.1.1.1,10012,N,N,0,\r\n", false},
        BrokenFile{"GbkIsFine", "主机,10.1.1.1,10012,N,N,0,\r\n", {},
                   "主机,10.1.1.1,10012,N,N,0,\r\n", false}),
    [](const auto &info) { return std::string(info.param.name); });

// A file the console could not read is reported and never written over in that run.
TEST(HostListUnreadable, IsReportedAndNeverWrittenOver)
{
    test::WorkDir dir;
    const std::string path = dir.file("TarvoMonitor.CFG");
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(path)));  // root reads any file: a directory
    HostSubjectPool pool;
    HostListStore store(path);
    const auto reports = store.load(pool);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].rfind("Error[报盘机列表文件" + path + "无法读取(", 0), 0u) << reports[0];
    EXPECT_TRUE(store.protectedFile());
    auto host = std::make_unique<HostSubject>("A1", "10.1.1.1", "10012");
    ASSERT_TRUE(pool.add(host));
    EXPECT_FALSE(store.save(pool));
    EXPECT_TRUE(QDir(QString::fromStdString(path)).exists());
}

// An agent's PBU texts with a comma, CR or LF are left out of the file, reported once.
TEST(HostListUnwritable, PbuFieldsTheFormatCannotHoldAreLeftOutAndReportedOnce)
{
    test::WorkDir dir;
    const std::string path = dir.file("TarvoMonitor.CFG");
    HostSubjectPool pool;
    auto host = std::make_unique<HostSubject>("h", "10.1.1.1", "10012");
    host->setOesAExist("Y\r\nZ");
    host->getPbuList().push_back(std::make_unique<Pbu>("A股报盘程序", "X,EVIL,127.0.3.212,22212,Y,Y,0"));
    host->getPbuList().push_back(std::make_unique<Pbu>("A股报盘程序", "A0000000001"));
    host->getPbuList().push_back(std::make_unique<Pbu>("B\n", "B0000000001"));
    ASSERT_TRUE(pool.add(host));
    HostListStore store(path);
    EXPECT_FALSE(store.save(pool));
    EXPECT_EQ(test::readFile(path), "h,10.1.1.1,10012,N,N,1,A股报盘程序,A0000000001,\r\n");
    EXPECT_EQ(store.takeNotices(),
              (std::vector<std::string>{
                  "Error[报盘机10.1.1.1的A股标志 Y\\r\\nZ含逗号或换行, 未写入报盘机列表文件]",
                  "Error[报盘机10.1.1.1的PBU A股报盘程序 X,EVIL,127.0.3.212,22212,Y,Y,0含逗号或换行, "
                  "未写入报盘机列表文件]",
                  "Error[报盘机10.1.1.1的PBU B\\n B0000000001含逗号或换行, 未写入报盘机列表文件]"}));
    EXPECT_FALSE(store.save(pool));
    EXPECT_TRUE(store.takeNotices().empty());
    HostSubjectPool again;
    EXPECT_EQ(loadHostList(path, again), 1);
}

} // namespace
} // namespace tarvo
