// Host, OES and PBU records: package items, status updates, the stale sweep, validation.
#include "host/Host.h"
#include "host/HostSubject.h"
#include "PackageBuilders.h"

#include <gtest/gtest.h>

#include <random>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

std::vector<std::string> ids(const Host &h)
{
    std::vector<std::string> out;
    for (const auto &p : h.getPbuList())
        out.push_back(p->getOperatorNumber() + (p->stale ? "*" : ""));
    return out;
}

} // namespace

TEST(StatusNames, WordsAndSlots)
{
    EXPECT_EQ(statusNames[3], "运行");
    EXPECT_EQ(*statusNameOf("1"), "停止");
    for (const char *three : {"3", "03", "003", "+3"})
        EXPECT_EQ(*statusNameOf(three), "运行") << three;
    EXPECT_EQ(*statusNameOf("-0"), "未知");
    for (const char *bad : {"6", "06", "-1", "", "+", "-", "x", "3 ", " 3", "0x3", "99999999999"})
        EXPECT_EQ(statusNameOf(bad), nullptr) << bad;
    EXPECT_EQ(oesIndexOf("A股报盘程序"), 0);
    EXPECT_EQ(oesIndexOf("B股报盘程序"), 1);
    EXPECT_EQ(oesIndexOf("C股报盘程序"), -1);
}

TEST(Records, OesItemIsSixFieldsInLayoutOrder)
{
    const Oes o = oes("Y", "A股报盘程序", "运行", "V2", "0");
    EXPECT_EQ(o.toString(), "85=Y\x01" "89=A股报盘程序\x01" "63=SHR\x01" "64=运行\x01"
                            "52=V2\x01" "77=0\x01");
    Oes back;
    size_t position = 1;
    back.readItem(o.toString(), position);
    EXPECT_EQ(position, o.toString().size() + 1);
    EXPECT_EQ(back.toString(), o.toString());
}

TEST(Records, PbuItemRoundTripsWithSeparatorFreeChineseAndEqualSigns)
{
    Pbu p = pbu("B股报盘程序", "12345678901");
    p.setWork("a=b 工作");
    const std::string text = p.toString();
    EXPECT_EQ(text.rfind("89=B股报盘程序\x01" "34=12345678901\x01" "63=SHR\x01" "83=3\x01", 0), 0u);
    Pbu back;
    size_t position = 1;
    back.readItem(text, position);
    EXPECT_EQ(back.toString(), text);
    EXPECT_EQ(back.getWork(), "a=b 工作");
}

TEST(Records, ItemWithFieldOutOfOrderThrowsTheFieldError)
{
    // operatorNumber before oesName.
    std::string text = "34=1\x01" "89=A\x01";
    Pbu p;
    size_t position = 1;
    try {
        p.readItem(text, position);
        FAIL() << "no error";
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "oesName field not exists operatorNumber instead");
    }
}

TEST(UpdateOes, FirstResponseFillsBothSlotsByPosition)
{
    Host h("h", "10.0.0.1", "10012", "N", "N");
    // The B-share item comes first: it still lands in slot 0.
    h.updateOes(package({oes("N", "B股报盘程序", "不存在"), oes("Y", "A股报盘程序", "运行")}));
    ASSERT_EQ(h.getOesList().size(), 2u);
    EXPECT_EQ(h.getOesList()[0]->getOesName(), "B股报盘程序");
    EXPECT_EQ(h.getOesAExist(), "N");
    EXPECT_EQ(h.getOesBExist(), "Y");

    const Oes *slot0 = h.getOesList()[0].get();
    h.updateOes(package({oes("Y", "A股报盘程序", "停止"), oes("N", "B股报盘程序", "不存在")}));
    EXPECT_EQ(h.getOesList()[0].get(), slot0) << "later responses assign into the same records";
    EXPECT_EQ(h.getOesList()[0]->getOesStatus(), "停止");
    EXPECT_EQ(h.getOesAExist(), "Y");
    EXPECT_EQ(h.getOesBExist(), "N");
}

TEST(UpdateOes, ShortOrBrokenPackageThrowsAndKeepsPreviousPrograms)
{
    Host h;
    const std::string good = package({oes("Y", "A股报盘程序", "运行"), oes("Y", "B股报盘程序", "运行")});
    h.updateOes(good);
    const std::string broken = oes("Y", "A股报盘程序", "停止").toString() + "85=Y\x01" "63=x\x01";
    for (const std::string &bad : {std::string(), package({oes("N", "A股报盘程序", "停止")}), broken}) {
        EXPECT_ANY_THROW(h.updateOes(bad));
        ASSERT_EQ(h.getOesList().size(), 2u);
        EXPECT_EQ(h.getOesList()[0]->getOesStatus(), "运行");
        EXPECT_EQ(h.getOesAExist(), "Y");
    }
    Host fresh;
    try {
        fresh.updateOes(package({oes("N", "A股报盘程序", "停止")}));
        FAIL();
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "OES package holds one record, two expected");
    }
    EXPECT_TRUE(fresh.getOesList().empty());
}

TEST(UpdatePbus, StaleSweepOverTwoResponses)
{
    Host h;
    h.updatePbus(package({pbu(OES_NAME_A, "1"), pbu(OES_NAME_A, "2"), pbu(OES_NAME_B, "3")}));
    EXPECT_EQ(ids(h), (std::vector<std::string>{"1", "2", "3"}));

    // 2 missing: it keeps its place before the reported ones, stale.
    h.updatePbus(package({pbu(OES_NAME_B, "3"), pbu(OES_NAME_A, "1")}));
    EXPECT_EQ(ids(h), (std::vector<std::string>{"2*", "3", "1"}));

    // Missing from two responses in a row: gone.
    h.updatePbus(package({pbu(OES_NAME_B, "3"), pbu(OES_NAME_A, "1")}));
    EXPECT_EQ(ids(h), (std::vector<std::string>{"3", "1"}));

    h.updatePbus("");
    EXPECT_EQ(ids(h), (std::vector<std::string>{"3*", "1*"}));
    h.updatePbus("");
    EXPECT_TRUE(h.getPbuList().empty());
}

TEST(UpdatePbus, DuplicateInOnePackageKeepsTheLaterItem)
{
    Host h;
    h.updatePbus(package({pbu(OES_NAME_A, "1", "3", "10"), pbu(OES_NAME_A, "1", "1", "20")}));
    ASSERT_EQ(h.getPbuList().size(), 1u);
    EXPECT_EQ(h.getPbuList()[0]->getPbuBidNumber(), "20");
    EXPECT_EQ(h.getPbuList()[0]->getPbuStatus(), "1");
}

TEST(UpdatePbus, SameOperatorUnderTwoProgramsAreTwoPbus)
{
    Host h;
    h.updatePbus(package({pbu(OES_NAME_A, "1"), pbu(OES_NAME_B, "1")}));
    EXPECT_EQ(h.getPbuList().size(), 2u);
    EXPECT_NE(Host::findPbu(h.getPbuList(), OES_NAME_B, "1"), nullptr);
    EXPECT_EQ(Host::findPbu(h.getPbuList(), "other", "1"), nullptr);
}

TEST(UpdatePbus, ReplacedRecordGetsFreshChangeFlags)
{
    Host h;
    h.updatePbus(package({pbu(OES_NAME_A, "1")}));
    h.getPbuList()[0]->statusChanged = "T";
    h.updatePbus(package({pbu(OES_NAME_A, "1")}));
    EXPECT_EQ(h.getPbuList()[0]->statusChanged, "F");
}

TEST(UpdatePbus, BrokenItemKeepsItemsBeforeIt)
{
    Host h;
    h.updatePbus(package({pbu(OES_NAME_A, "1"), pbu(OES_NAME_A, "2")}));
    const std::string text = pbu(OES_NAME_A, "2", "1").toString() + "89=A\x01" "63=x\x01";
    EXPECT_ANY_THROW(h.updatePbus(text));
    EXPECT_EQ(ids(h), (std::vector<std::string>{"1*", "2"}));
    EXPECT_EQ(h.getPbuList()[1]->getPbuStatus(), "1");
}

// The rule the update keeps, written the plain way: drop the stale records, mark the rest
// stale, and let every item replace the first record of its name not yet replaced (records
// appended by this package included) and go to the end.
struct ModelRecord
{
    std::string name;
    std::string bids;
    bool stale;
};

void modelUpdate(std::vector<ModelRecord> &list,
                 const std::vector<std::pair<std::string, std::string>> &items)
{
    std::erase_if(list, [](const ModelRecord &r) { return r.stale; });
    for (auto &r : list)
        r.stale = true;
    std::vector<bool> replaced(list.size(), false);
    for (const auto &[name, bids] : items) {
        for (size_t i = 0; i < list.size(); ++i) {
            if (!replaced[i] && list[i].name == name) {
                replaced[i] = true;
                break;
            }
        }
        list.push_back({name, bids, false});
        replaced.push_back(false);
    }
    std::vector<ModelRecord> kept;
    for (size_t i = 0; i < list.size(); ++i)
        if (!replaced[i])
            kept.push_back(list[i]);
    list = kept;
}

TEST(UpdatePbus, AgreesWithThePlainRuleOverRandomPackages)
{
    std::mt19937 random(20091023);
    Host host;
    std::vector<ModelRecord> model;
    for (int round = 0; round < 400; ++round) {
        std::vector<Pbu> items;
        std::vector<std::pair<std::string, std::string>> named;
        const int count = int(random() % 7);
        for (int i = 0; i < count; ++i) {
            // Mostly the same PBUs in the same order, now and then a reorder, a gap or a twin.
            const unsigned n = random() % 3 == 0 ? random() % 6 : unsigned(i);
            const std::string op = "0000000000" + std::to_string(n);
            const std::string bids = std::to_string(random() % 1000);
            items.push_back(pbu(OES_NAME_A, op, "3", bids));
            named.emplace_back(op, bids);
        }
        host.updatePbus(package(items));
        modelUpdate(model, named);
        ASSERT_EQ(host.getPbuList().size(), model.size()) << "round " << round;
        for (size_t i = 0; i < model.size(); ++i) {
            const Pbu &p = *host.getPbuList()[i];
            ASSERT_EQ(p.getOperatorNumber(), model[i].name) << "round " << round << " at " << i;
            ASSERT_EQ(p.getPbuBidNumber(), model[i].bids) << "round " << round;
            ASSERT_EQ(p.stale, model[i].stale) << "round " << round;
            if (!p.stale) {
                ASSERT_EQ(p.submittedChanged, "F");
            }
        }
        for (auto &p : host.getPbuList())
            p->submittedChanged = "T";  // what a display would leave behind
    }
}

TEST(Host, SetStoppedKeepsRecords)
{
    Host h;
    h.setHostStatus("正常运行");
    h.updateOes(package({oes("Y", OES_NAME_A, "运行"), oes("Y", OES_NAME_B, "运行")}));
    h.updatePbus(package({pbu(OES_NAME_A, "1", "3")}));
    h.setStopped();
    EXPECT_EQ(h.getHostStatus(), "停止");
    EXPECT_EQ(h.getOesList()[1]->getOesStatus(), "未知");
    EXPECT_EQ(h.getPbuList()[0]->getPbuStatus(), "0");
    EXPECT_EQ(h.getPbuList()[0]->getPbuBidNumber(), "10");
}

struct ValidateCase
{
    const char *ip;
    const char *port;
    const char *expected;
};

class ValidateHost : public ::testing::TestWithParam<ValidateCase>
{
};

TEST_P(ValidateHost, Message)
{
    Host h("h", GetParam().ip, GetParam().port, "N", "N");
    EXPECT_EQ(h.validateHost(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Inputs, ValidateHost,
                         ::testing::Values(ValidateCase{"10.0.0.5", "10012", ""},
                                           ValidateCase{"255.255.255.255", "1", "IP地址有误"},
                                           ValidateCase{"0.0.0.0", "1", "IP地址有误"},
                                           ValidateCase{"10.0.0", "1", ""},
                                           ValidateCase{"abc", "1", "IP地址有误"},
                                           ValidateCase{"", "1", "IP地址有误"},
                                           ValidateCase{"10.0.0.5", "", "请输入端口"},
                                           ValidateCase{"10.0.0.5", "port", ""}));

TEST(Thresholds, FireOncePerMinuteOfSamplesThenStartAgain)
{
    int32_t counter = 0;
    // 60000 / 7000 = 8 samples.
    for (int i = 0; i < 7; ++i)
        EXPECT_FALSE(countThreshold(counter, "51", 50, false, 7000));
    EXPECT_TRUE(countThreshold(counter, "51", 50, false, 7000));
    EXPECT_EQ(counter, 0);
    countThreshold(counter, "90", 50, false, 7000);
    EXPECT_FALSE(countThreshold(counter, "50", 50, false, 7000));
    EXPECT_EQ(counter, 0) << "exactly the limit resets";
    EXPECT_FALSE(countThreshold(counter, "90", 90, true, 7000));
    EXPECT_EQ(counter, 1) << "disk counts at the limit";
    EXPECT_FALSE(countThreshold(counter, "", 90, true, 7000));
    EXPECT_EQ(counter, 1) << "no sample leaves the counter";
}

TEST(HostSubject, TemplateConstructorTakesOverPbus)
{
    Host t("name", "10.0.0.1", "10012", "Y", "N");
    t.getPbuList().push_back(std::make_unique<Pbu>(OES_NAME_A, "00001123456"));
    t.getPbuList().push_back(std::make_unique<Pbu>(OES_NAME_B, "00002123456"));
    t.getPbuList()[1]->stale = true;
    const Pbu *first = t.getPbuList()[0].get();
    HostSubject s(t);
    EXPECT_TRUE(t.getPbuList().empty());
    ASSERT_EQ(s.getPbuList().size(), 2u);
    EXPECT_EQ(s.getPbuList()[0].get(), first);
    EXPECT_TRUE(s.getPbuList()[1]->stale);
    EXPECT_EQ(s.getOesAExist(), "Y");
    EXPECT_EQ(s.getHostStatus(), "未知");
    EXPECT_EQ(s.getEnvNo(), "-1");

    HostSubject added("n", "10.0.0.2", "1");
    EXPECT_EQ(added.getOesAExist(), "N");
    EXPECT_EQ(added.getOesBExist(), "N");
}
