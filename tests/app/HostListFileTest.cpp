// The host list file: bytes written, damaged files read, safe replacement on save.
#include "TestSupport.h"
#include "app/HostListFile.h"

#include <gtest/gtest.h>

#include <QDir>

#include <cerrno>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvo {
namespace {

std::unique_ptr<HostSubject> makeHost(const std::string &name, const std::string &ip,
                                      const std::string &port = "10012")
{
    return std::make_unique<HostSubject>(name, ip, port);
}

void addTo(HostSubjectPool &pool, std::unique_ptr<HostSubject> host)
{
    ASSERT_TRUE(pool.add(host));
}

TEST(HostListFileTest, HostWithoutPbusIsOneLineOfCommaEndedFields)
{
    HostSubjectPool pool;
    addTo(pool, makeHost("A1", "10.1.1.1"));
    EXPECT_EQ(formatHostList(pool), "A1,10.1.1.1,10012,N,N,0,\r\n");
}

TEST(HostListFileTest, PbusFollowTheirCountAndChineseNamesStayGbk)
{
    HostSubjectPool pool;
    auto host = makeHost("上海一号", "10.1.1.2", "9000");
    host->setOesAExist("Y");
    host->getPbuList().push_back(std::make_unique<Pbu>("A股报盘程序", "12345678901"));
    host->getPbuList().push_back(std::make_unique<Pbu>("B股报盘程序", "54321"));
    addTo(pool, std::move(host));
    addTo(pool, makeHost("", "10.1.1.10"));
    // GBK: 上海一号 = C9CF BAA3 D2BB BAC5; "A股报盘程序" = A + B9C9 B1A8 C5CC B3CC D0F2.
    EXPECT_EQ(formatHostList(pool),
              ",10.1.1.10,10012,N,N,0,\r\n"
              "\xC9\xCF\xBA\xA3\xD2\xBB\xBA\xC5,10.1.1.2,9000,Y,N,2,"
              "A\xB9\xC9\xB1\xA8\xC5\xCC\xB3\xCC\xD0\xF2,12345678901,"
              "B\xB9\xC9\xB1\xA8\xC5\xCC\xB3\xCC\xD0\xF2,54321,\r\n");
}

TEST(HostListFileTest, SavedFileHoldsExactlyTheTextAndLoadsBack)
{
    test::WorkDir dir;
    HostSubjectPool pool;
    addTo(pool, makeHost("b", "10.0.0.2"));
    addTo(pool, makeHost("a", "10.0.0.10"));
    pool.find("10.0.0.2")->getPbuList().push_back(std::make_unique<Pbu>("X", "11111222222"));
    const std::string path = dir.file("TarvoMonitor.CFG");
    ASSERT_FALSE(saveHostList(path, pool));
    // Byte order of the addresses, not the order of adding.
    EXPECT_EQ(test::readFile(path),
              "a,10.0.0.10,10012,N,N,0,\r\nb,10.0.0.2,10012,N,N,1,X,11111222222,\r\n");

    HostSubjectPool loaded;
    EXPECT_EQ(loadHostList(path, loaded), 2);
    EXPECT_EQ(formatHostList(loaded), formatHostList(pool));
    EXPECT_EQ(loaded.find("10.0.0.10")->getPbuList().size(), 0u);
    ASSERT_EQ(loaded.find("10.0.0.2")->getPbuList().size(), 1u);
    EXPECT_EQ(loaded.find("10.0.0.2")->getPbuList()[0]->getOperatorNumber(), "11111222222");
}

struct DamagedCase
{
    const char *name;
    std::string text;
    std::string expected; // formatHostList of what was loaded
};

class DamagedFileTest : public ::testing::TestWithParam<DamagedCase>
{
};

TEST_P(DamagedFileTest, LoadsWhatTheRulesKeep)
{
    HostSubjectPool pool;
    for (auto &host : parseHostList(GetParam().text))
        pool.add(host);
    EXPECT_EQ(formatHostList(pool), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedFileTest,
    ::testing::Values(
        DamagedCase{"Empty", "", ""},
        DamagedCase{"LfOnly", "A1,10.1.1.1,10012,N,N,0,\nA2,10.1.1.2,1,Y,Y,0,\n",
                    "A1,10.1.1.1,10012,N,N,0,\r\nA2,10.1.1.2,1,Y,Y,0,\r\n"},
        DamagedCase{"LastLineWithoutFinalComma",
                    "A1,10.1.1.1,10012,N,N,0,\r\nA2,10.1.1.2,10012,N,N,0\r\n",
                    "A1,10.1.1.1,10012,N,N,0,\r\n"},
        DamagedCase{"TruncatedInsidePbus", "A1,10.1.1.1,10012,N,N,2,X,1,Y,",
                    ""},
        DamagedCase{"EmptyLineBetweenRecords",
                    "A1,10.1.1.1,10012,N,N,0,\r\n\r\nA2,10.1.1.2,10012,N,N,0,\r\n",
                    "A1,10.1.1.1,10012,N,N,0,\r\nA2,10.1.1.2,10012,N,N,0,\r\n"},
        DamagedCase{"DuplicateAddressKeepsTheFirst",
                    "first,10.1.1.1,1,N,N,0,\r\nsecond,10.1.1.1,2,N,N,0,\r\n",
                    "first,10.1.1.1,1,N,N,0,\r\n"},
        DamagedCase{"CountByLeadingDigits", "A1,10.1.1.1,10012,N,N,1x,P,11111222222,\r\n",
                    "A1,10.1.1.1,10012,N,N,1,P,11111222222,\r\n"},
        DamagedCase{"CountWithoutDigitsIsZero", "A1,10.1.1.1,10012,N,N,x,\r\n",
                    "A1,10.1.1.1,10012,N,N,0,\r\n"},
        DamagedCase{"EmptyCountIsZero", "A1,10.1.1.1,10012,N,N,,\r\n",
                    "A1,10.1.1.1,10012,N,N,0,\r\n"},
        DamagedCase{"EachHostKeepsItsOwnPbus",
                    "A,10.0.0.1,1,N,N,1,P,1,\r\nB,10.0.0.2,1,N,N,2,Q,2,R,3,\r\n",
                    "A,10.0.0.1,1,N,N,1,P,1,\r\nB,10.0.0.2,1,N,N,2,Q,2,R,3,\r\n"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(HostListFileTest, MissingFileLeavesThePoolEmpty)
{
    test::WorkDir dir;
    HostSubjectPool pool;
    EXPECT_EQ(loadHostList(dir.file("absent.CFG"), pool), 0);
    EXPECT_EQ(pool.size(), 0u);
}

int temporaries(const test::WorkDir &dir)
{
    int entries = 0;
    for (const auto &name : QDir(QString::fromStdString(dir.path())).entryList(QDir::Files))
        entries += name.startsWith("TarvoMonitor.CFG.tmp") ? 1 : 0;
    return entries;
}

// A file system that fails one step of the save with `error` while `failing` is set.
struct FailingStep
{
    const char *name;
    int error;
    const char *step;  // "create", "write", "sync" or "rename"
};

class FailedSave : public ::testing::TestWithParam<FailingStep>
{
protected:
    HostListFileCalls failingCalls()
    {
        HostListFileCalls calls;
        const std::string step = GetParam().step;
        const int error = GetParam().error;
        auto fails = [this, step, error](const char *which) {
            if (!failing || step != which)
                return false;
            errno = error;
            return true;
        };
        calls.createTemporary = [fails](char *name) {
            return fails("create") ? -1 : ::mkstemp(name);
        };
        calls.write = [fails](int fd, const char *bytes, size_t size) -> ssize_t {
            // A full disk takes part of the text before it refuses the rest.
            if (fails("write"))
                return ::write(fd, bytes, size / 2) < 0 ? -1 : (errno = ENOSPC, -1);
            return ::write(fd, bytes, size);
        };
        calls.sync = [fails](int fd) { return fails("sync") ? -1 : ::fsync(fd); };
        calls.rename = [fails](const char *from, const char *to) {
            return fails("rename") ? -1 : ::rename(from, to);
        };
        return calls;
    }

    bool failing = true;
};

TEST_P(FailedSave, KeepsTheOldFileAndIsReportedOnce)
{
    test::WorkDir dir;
    const std::string path = dir.file("TarvoMonitor.CFG");
    test::writeFile(path, "old,10.0.0.1,1,N,N,0,\r\n");
    HostSubjectPool pool;
    addTo(pool, makeHost("new", "10.0.0.2"));
    HostListStore store(path, failingCalls());
    const auto first = store.save(pool);
    const auto second = store.save(pool);
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, "Error[报盘机列表文件" + path + "保存失败: " +
                          std::strerror(GetParam().error) + "]");
    EXPECT_FALSE(second);
    EXPECT_TRUE(store.failing());
    EXPECT_EQ(test::readFile(path), "old,10.0.0.1,1,N,N,0,\r\n");
    EXPECT_EQ(temporaries(dir), 0);
    failing = false;
    EXPECT_FALSE(store.save(pool));
    EXPECT_FALSE(store.failing());
    EXPECT_EQ(test::readFile(path), "new,10.0.0.2,10012,N,N,0,\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    HostListFileTest, FailedSave,
    ::testing::Values(FailingStep{"FullDiskOnWrite", ENOSPC, "write"},
                      FailingStep{"FullDiskOnSync", ENOSPC, "sync"},
                      FailingStep{"ReadOnlyOnCreate", EROFS, "create"},
                      FailingStep{"ReadOnlyOnRename", EROFS, "rename"},
                      FailingStep{"IoErrorOnSync", EIO, "sync"}),
    [](const auto &info) { return std::string(info.param.name); });

// The same through the real file system: a directory that may not be written.
TEST(HostListFileTest, FailedSaveKeepsTheOldFileAndIsReportedOnce)
{
    test::WorkDir dir;
    const std::string path = dir.file("TarvoMonitor.CFG");
    test::writeFile(path, "old,10.0.0.1,1,N,N,0,\r\n");
    HostSubjectPool pool;
    addTo(pool, makeHost("new", "10.0.0.2"));
    // A read-only directory. Root writes into one anyway, so as root the directory refuses
    // the temporary file through the file calls, as the kernel does for everyone else.
    const bool root = ::geteuid() == 0;
    bool readOnly = true;
    HostListFileCalls calls;
    if (root)
        calls.createTemporary = [&readOnly](char *pathTemplate) {
            if (readOnly) {
                errno = EACCES;
                return -1;
            }
            return ::mkstemp(pathTemplate);
        };
    HostListStore store(path, calls);
    if (!root)
        ::chmod(dir.path().c_str(), 0555);
    const auto first = store.save(pool);
    const auto second = store.save(pool);
    if (!root)
        ::chmod(dir.path().c_str(), 0755);
    readOnly = false;
    ASSERT_TRUE(first);
    EXPECT_EQ(*first, "Error[报盘机列表文件" + path + "保存失败: " + std::strerror(EACCES) + "]");
    EXPECT_FALSE(second);
    EXPECT_EQ(test::readFile(path), "old,10.0.0.1,1,N,N,0,\r\n");
    EXPECT_FALSE(store.save(pool));
    EXPECT_FALSE(store.failing());
    EXPECT_EQ(test::readFile(path), "new,10.0.0.2,10012,N,N,0,\r\n");
}

TEST(HostListFileTest, StoreClearsTheTemporariesOfSavesThatWereCutShort)
{
    test::WorkDir dir;
    const std::string path = dir.file("TarvoMonitor.CFG");
    test::writeFile(path + ".tmp-a1B2c3", "half,10.0");
    test::writeFile(path + ".tmp-Zz9Yy8", "");
    test::writeFile(path + ".tmp-keep-me", "not ours");
    test::writeFile(path, "kept,10.0.0.1,1,N,N,0,\r\n");
    HostListStore store(path);
    EXPECT_EQ(temporaries(dir), 1);
    EXPECT_EQ(test::readFile(path + ".tmp-keep-me"), "not ours");
    EXPECT_EQ(test::readFile(path), "kept,10.0.0.1,1,N,N,0,\r\n");
}

TEST(HostListFileTest, StoreReportsAgainAfterARecovery)
{
    test::WorkDir dir;
    HostSubjectPool pool;
    addTo(pool, makeHost("a", "10.0.0.1"));
    // A directory in place of the file: the rename over it fails whoever we are.
    const std::string path = dir.file("TarvoMonitor.CFG");
    ::mkdir(path.c_str(), 0777);
    HostListStore store(path);
    EXPECT_TRUE(store.save(pool));
    EXPECT_FALSE(store.save(pool));
    ::rmdir(path.c_str());
    EXPECT_FALSE(store.save(pool));
    EXPECT_EQ(test::readFile(path), "a,10.0.0.1,10012,N,N,0,\r\n");
    ::unlink(path.c_str());
    ::mkdir(path.c_str(), 0777);
    test::writeFile(path + "/keep", "x");  // a non-empty directory is never replaced
    EXPECT_TRUE(store.save(pool));
    // No temporary files are left behind.
    int entries = 0;
    for (const auto &name : QDir(QString::fromStdString(dir.path())).entryList(QDir::Files))
        entries += name.startsWith("TarvoMonitor.CFG.tmp") ? 1 : 0;
    EXPECT_EQ(entries, 0);
}

TEST(HostListFileTest, UnchangedListIsNotWrittenAgainUnlessTheFileChanged)
{
    test::WorkDir dir;
    HostSubjectPool pool;
    addTo(pool, makeHost("a", "10.0.0.1"));
    const std::string path = dir.file("TarvoMonitor.CFG");
    HostListStore store(path);
    auto inode = [&path] {
        struct stat info{};
        ::stat(path.c_str(), &info);
        return info.st_ino;
    };
    EXPECT_FALSE(store.save(pool));
    const ino_t first = inode();
    EXPECT_FALSE(store.save(pool));
    EXPECT_EQ(inode(), first);  // every save replaces the file: an equal inode means no write

    addTo(pool, makeHost("b", "10.0.0.2"));
    EXPECT_FALSE(store.save(pool));
    EXPECT_NE(inode(), first);
    EXPECT_EQ(test::readFile(path), "a,10.0.0.1,10012,N,N,0,\r\nb,10.0.0.2,10012,N,N,0,\r\n");

    // Somebody else rewrote the file: the next save puts the list back.
    test::writeFile(path, "stale\r\n");
    EXPECT_FALSE(store.save(pool));
    EXPECT_EQ(test::readFile(path), "a,10.0.0.1,10012,N,N,0,\r\nb,10.0.0.2,10012,N,N,0,\r\n");
}

// The store skips a save only when the list equals the text it last wrote: every change of a
// saved field must make them differ, and equal lists must compare equal.
struct ListEdit
{
    const char *name;
    std::function<void(HostSubjectPool &)> edit;
};

class HostListEqualsTest : public ::testing::TestWithParam<ListEdit>
{
};

void fillTwoHosts(HostSubjectPool &pool)
{
    auto host = makeHost("上海一号", "10.1.1.2", "9000");
    host->getPbuList().push_back(std::make_unique<Pbu>("A股报盘程序", "12345678901"));
    host->getPbuList().push_back(std::make_unique<Pbu>("B", "54321"));
    addTo(pool, std::move(host));
    addTo(pool, makeHost("b", "10.1.1.3"));
}

TEST_P(HostListEqualsTest, EveryChangeOfASavedFieldIsSeen)
{
    HostSubjectPool pool;
    fillTwoHosts(pool);
    const std::string saved = formatHostList(pool);
    EXPECT_TRUE(hostListEquals(pool, saved));
    GetParam().edit(pool);
    EXPECT_FALSE(hostListEquals(pool, saved));
    EXPECT_TRUE(hostListEquals(pool, formatHostList(pool)));
}

// The poll's save in steps of one host: an edit made before the round, or between its
// steps, is in the file when the round ends; an unchanged list is not written.
TEST_P(HostListEqualsTest, ARoundOfStepsWritesEveryChangeAndNothingElse)
{
    test::WorkDir dir;
    const std::string path = dir.file("TarvoMonitor.CFG");
    for (const bool betweenSteps : {false, true}) {
        HostSubjectPool pool;
        fillTwoHosts(pool);
        HostListStore store(path);
        EXPECT_FALSE(store.save(pool));
        std::optional<std::string> failure;
        const auto inode = [&path] {
            struct stat info{};
            ::stat(path.c_str(), &info);
            return info.st_ino;
        };
        const ino_t before = inode();
        int steps = 0;
        while (steps < 10 && !store.saveStep(pool, 1, failure))
            ++steps;
        EXPECT_EQ(steps, int(pool.size()) - 1);
        EXPECT_EQ(inode(), before);  // nothing changed: not written
        if (!betweenSteps)
            GetParam().edit(pool);
        EXPECT_EQ(store.saveStep(pool, 1, failure), pool.size() <= 1);
        if (betweenSteps)
            GetParam().edit(pool);
        while (!store.saveStep(pool, 1, failure)) {
        }
        EXPECT_FALSE(failure);
        // A change behind the steps already taken waits for the next round.
        while (!store.saveStep(pool, 1, failure)) {
        }
        EXPECT_EQ(test::readFile(path), formatHostList(pool)) << betweenSteps;
    }
}

Host &hostAt(HostSubjectPool &pool, const char *ip) { return *pool.find(ip); }

INSTANTIATE_TEST_SUITE_P(
    HostListFileTest, HostListEqualsTest,
    ::testing::Values(
        ListEdit{"Name", [](HostSubjectPool &p) { hostAt(p, "10.1.1.3").setHostName("c"); }},
        ListEdit{"Port", [](HostSubjectPool &p) { hostAt(p, "10.1.1.3").setPort("10013"); }},
        ListEdit{"FlagA", [](HostSubjectPool &p) { hostAt(p, "10.1.1.2").setOesAExist("Y"); }},
        ListEdit{"FlagB", [](HostSubjectPool &p) { hostAt(p, "10.1.1.3").setOesBExist("Y"); }},
        ListEdit{"PbuAdded",
                 [](HostSubjectPool &p) {
                     hostAt(p, "10.1.1.3").getPbuList().push_back(
                         std::make_unique<Pbu>("C", "1"));
                 }},
        ListEdit{"PbuRemoved",
                 [](HostSubjectPool &p) { hostAt(p, "10.1.1.2").getPbuList().pop_back(); }},
        ListEdit{"PbuRenamed",
                 [](HostSubjectPool &p) {
                     hostAt(p, "10.1.1.2").getPbuList().back()->setOesName("A");
                 }},
        ListEdit{"OperatorChanged",
                 [](HostSubjectPool &p) {
                     hostAt(p, "10.1.1.2").getPbuList().front()->setOperatorNumber("1234567890");
                 }},
        ListEdit{"HostAdded", [](HostSubjectPool &p) { addTo(p, makeHost("", "10.1.1.1")); }},
        ListEdit{"HostRemoved", [](HostSubjectPool &p) { p.remove(p.find("10.1.1.3")); }},
        ListEdit{"AllRemoved",
                 [](HostSubjectPool &p) {
                     p.remove(p.find("10.1.1.3"));
                     p.remove(p.find("10.1.1.2"));
                 }}),
    [](const ::testing::TestParamInfo<ListEdit> &info) { return std::string(info.param.name); });

TEST(HostListFileTest, ListDiffersFromATextCutShortOrRunningOn)
{
    HostSubjectPool pool;
    fillTwoHosts(pool);
    const std::string saved = formatHostList(pool);
    EXPECT_FALSE(hostListEquals(pool, saved.substr(0, saved.size() - 1)));
    EXPECT_FALSE(hostListEquals(pool, saved + "x"));
    EXPECT_FALSE(hostListEquals(pool, ""));
    EXPECT_TRUE(hostListEquals(HostSubjectPool{}, ""));
}

} // namespace
} // namespace tarvo
