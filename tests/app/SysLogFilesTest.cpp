// The SysLog files kept open between log messages: what a person does to a file while the
// console runs (deletes, renames, replaces it), the day change, and the descriptors given
// back when a host disconnects, beyond the bound and at exit.
#include "AgentTestSupport.h"
#include "app/SysLogFiles.h"

#include <unistd.h>

namespace tarvo {
namespace {

using namespace tarvo::testing;
using test::agentMessage;
namespace fs = std::filesystem;

// The descriptors of this process open on `path`.
int descriptorsOn(const std::string &path)
{
    int count = 0;
    std::error_code error;
    const fs::path target = fs::weakly_canonical(path, error);
    for (const auto &entry : fs::directory_iterator("/proc/self/fd", error)) {
        std::error_code ignored;
        if (fs::read_symlink(entry.path(), ignored) == target)
            ++count;
    }
    return count;
}

std::string logMessage(const std::string &text)
{
    return agentMessage("-1", test::logBody("E 1 " + text + "\x02"));
}

class SysLogFilesConsole : public test::AgentConsole
{
protected:
    void SetUp() override
    {
        window = start("h1,127.0.0.1,10012,N,N,0,\r\n");
        ScriptedAgentSocket::connect(*sockets[0]);
    }
    void record(const std::string &text)
    {
        window->agentLinks().processReceived("127.0.0.1", logMessage(text));
    }
    std::string path(const std::string &date = "2009-06-01") const
    {
        return dir.file("logs/SysLog_127.0.0.1_" + date + ".log");
    }
    static std::string line(const std::string &text, const std::string &stamp = kStamp)
    {
        return stamp + "[127.0.0.1 E 1]" + text;
    }

    std::unique_ptr<TF_Main> window;
};

struct ByHandCase
{
    const char *name;
    void (*act)(const std::string &path);
    const char *movedTo;  // where the first record is found afterwards ("" for nowhere)
};

class ByHand : public SysLogFilesConsole, public ::testing::WithParamInterface<ByHandCase>
{
};

TEST_P(ByHand, TheNextRecordGoesToAFileAtThePath)
{
    record("first");
    GetParam().act(path());
    record("second");
    EXPECT_EQ(test::readFile(path()), line("second"));
    if (*GetParam().movedTo) {
        EXPECT_EQ(test::readFile(path() + GetParam().movedTo), line("first"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    SysLogFiles, ByHand,
    ::testing::Values(
        ByHandCase{"Deleted", [](const std::string &p) { fs::remove(p); }, ""},
        ByHandCase{"Renamed", [](const std::string &p) { fs::rename(p, p + ".old"); }, ".old"},
        ByHandCase{"Replaced",
                   [](const std::string &p) {
                       fs::rename(p, p + ".old");
                       test::writeFile(p, "");
                   },
                   ".old"},
        ByHandCase{"DirectoryDeleted", [](const std::string &p) {
                       fs::remove_all(fs::path(p).parent_path());
                   }, ""}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(SysLogFilesConsole, RecordsOfOneDayStayInItsFileAndTheNextDayOpensItsOwn)
{
    record("one");
    record("two");
    today = LocalTime{2009, 6, 2, 0, 0, 1};
    record("three");
    EXPECT_EQ(test::readFile(path()), line("one") + line("two"));
    EXPECT_EQ(test::readFile(path("2009-06-02")), line("three", "2009-06-02 00:00:01 "));
    EXPECT_EQ(descriptorsOn(path()), 0);
    EXPECT_EQ(descriptorsOn(path("2009-06-02")), 1);
}

TEST_F(SysLogFilesConsole, TheFileIsClosedWhenTheAgentDisconnectsAndAtExit)
{
    record("one");
    EXPECT_EQ(descriptorsOn(path()), 1);
    ScriptedAgentSocket::peerClose(*sockets[0]);
    EXPECT_EQ(descriptorsOn(path()), 0);
    record("two");  // a record that was on its way

    EXPECT_EQ(test::readFile(path()), line("one") + line("two"));
    window.reset();
    EXPECT_EQ(descriptorsOn(path()), 0);
}

TEST(SysLogFiles, BeyondTheBoundTheLeastRecentlyUsedFileIsClosed)
{
    test::WorkDir dir;
    SysLogFiles files(2);
    const auto path = [&](const std::string &key) { return dir.file(key + ".log"); };
    for (const std::string key : {"a", "b", "a", "c", "b"})
        EXPECT_EQ(files.append(key, path(key), key), 0);
    EXPECT_EQ(files.openCount(), 2u);
    EXPECT_EQ(descriptorsOn(path("a")), 0);  // b was used after a
    EXPECT_EQ(descriptorsOn(path("b")), 1);
    EXPECT_EQ(test::readFile(path("a")), "aa");
    EXPECT_EQ(test::readFile(path("b")), "bb");
    files.close("b");
    EXPECT_EQ(files.openCount(), 1u);
    EXPECT_EQ(files.append("a", dir.file("none/a.log"), "x"), -1);  // cannot be opened
    EXPECT_EQ(files.openCount(), 1u);
}

TEST(SysLogFiles, AFullDeviceGivesTheWritesErrorAndTheNextAppendOpensAgain)
{
    test::WorkDir dir;
    SysLogFiles files;
    fs::create_symlink("/dev/full", dir.file("full.log"));
    EXPECT_EQ(files.append("a", dir.file("full.log"), "x"), ENOSPC);
    EXPECT_EQ(files.openCount(), 0u);
    fs::remove(dir.file("full.log"));
    EXPECT_EQ(files.append("a", dir.file("full.log"), "y"), 0);
    EXPECT_EQ(test::readFile(dir.file("full.log")), "y");
}

} // namespace
} // namespace tarvo
