// Settings files broken by hand: each problem is reported, the values stay the defaults.
#include "AgentTestSupport.h"

#include <QDir>

namespace tarvo {
namespace {

struct SettingsCase
{
    const char *name;
    const char *text;       // nullptr: a directory stands where the file should be
    const char *problem;    // after "Error[设置文件<path>"; "" when nothing is wrong
    int seconds;
};

class SettingsReport : public test::AgentConsole, public ::testing::WithParamInterface<SettingsCase>
{
};

TEST_P(SettingsReport, ShowsEachProblemInTheErrorListAndTheLog)
{
    const SettingsCase &c = GetParam();
    const std::string path = dir.file("TarvoMonitor.ini");
    std::unique_ptr<TF_Main> window;
    if (c.text) {
        window = start("", c.text);
    } else {
        ASSERT_TRUE(QDir().mkdir(QString::fromStdString(path)));
        window = start("", "");
    }
    const SettingsLoad load = loadSettings(path);
    EXPECT_EQ(load.settings.intervalSeconds, c.seconds);
    if (*c.problem == 0) {
        EXPECT_TRUE(load.problems.empty());
        return;
    }
    ASSERT_EQ(load.problems.size(), 1u);
    const std::string line = "Error[设置文件" + path + c.problem;
    EXPECT_EQ(load.problems[0].substr(0, line.size()), line) << load.problems[0];
    if (c.text) {  // the console read the same file at its start
        EXPECT_TRUE(listed(*window, load.problems[0]));
        EXPECT_TRUE(logged(load.problems[0]));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsReport,
    ::testing::Values(
        SettingsCase{"Good", "[Interval]\nTime=10\n[Log]\nDebug=on\n", "", 10},
        SettingsCase{"TimeZero", "[Interval]\nTime=0\n", "中[Interval] Time=0无效(应为1到60的整数), 使用5秒]", 5},
        SettingsCase{"TimeSixtyOne", "[Interval]\nTime=61\n", "中[Interval] Time=61无效", 5},
        SettingsCase{"TimeNotANumber", "[Interval]\nTime=abc\n", "中[Interval] Time=abc无效", 5},
        SettingsCase{"DebugNeitherOnNorOff", "[Log]\nDebug=TRUE\n", "中[Log] Debug=TRUE无效", 5},
        SettingsCase{"ByteOrderMark", "\xEF\xBB\xBF[Interval]\nTime=10\n",
                     "以UTF-8字节顺序标记(BOM)开头", 5},
        SettingsCase{"DirectoryInItsPlace", nullptr, "无法读取(", 5}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace tarvo
