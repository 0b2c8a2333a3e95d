// Matching answers to their requests and applying them to hosts.
#include "comm/MessageCommandPool.h"
#include "protocol/MessageBodies.h"
#include "../host/PackageBuilders.h"

#include <gtest/gtest.h>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

// A message as the connection decodes it: built, encoded, decoded again.
std::unique_ptr<Message> received(const std::string &sequence, std::unique_ptr<MessageBody> body)
{
    Message out(PROTOCOL_VERSION, "S", sequence, std::move(body));
    const std::string wire = out.encode();
    auto in = std::make_unique<Message>();
    EXPECT_GT(in->decode(wire), 0);
    return in;
}

std::unique_ptr<MessageBody> status(const std::string &cpu, const std::string &oesPackage)
{
    return std::make_unique<StatusResponseMessageBody>(
        "正常运行", "2009-10-23 14:35:07 ", cpu, "20", "30", "00", oesPackage,
        package({pbu(OES_NAME_A, "00001123456")}));
}

std::string goodOes()
{
    return package({oes("Y", OES_NAME_A, "运行"), oes("N", OES_NAME_B, "不存在")});
}

struct CountingObserver : HostObserver
{
    void update(HostSubject &) override { ++calls; }
    int calls = 0;
};

class CommandPoolTest : public ::testing::Test
{
protected:
    HostSubject a{"a", "10.0.0.5", "10012"};
    HostSubject b{"b", "10.0.0.50", "10012"};
    MessageCommandPool pool;

    std::vector<std::string> keys() const
    {
        std::vector<std::string> k;
        for (const auto &[key, command] : pool.getCommands())
            k.push_back(key);
        return k;
    }
};

} // namespace

TEST_F(CommandPoolTest, AnswersOutOfOrderEachFindTheirCommand)
{
    pool.add(std::make_unique<StatusMessageCommand>(1, "10.0.0.5", &a));
    pool.add(std::make_unique<StatusMessageCommand>(2, "10.0.0.5", &a));
    CountingObserver observer;
    a.attach(&observer);

    EXPECT_EQ(pool.dispatch(*received("2", status("77", goodOes())), "10.0.0.5"), "");
    EXPECT_EQ(a.getCpuUsage(), "77");
    EXPECT_EQ(keys(), (std::vector<std::string>{"10.0.0.5-1"}));
    pool.dispatch(*received("1", status("11", goodOes())), "10.0.0.5");
    EXPECT_EQ(a.getCpuUsage(), "11");
    EXPECT_EQ(a.getHostTime(), "2009-10-23 14:35:07 ");
    EXPECT_EQ(a.getHostStatus(), "正常运行");
    EXPECT_EQ(a.getEnvNo(), "00");
    EXPECT_EQ(a.getOesList().size(), 2u);
    EXPECT_EQ(a.getPbuList().size(), 1u);
    EXPECT_EQ(observer.calls, 2);
    EXPECT_TRUE(keys().empty());
}

TEST_F(CommandPoolTest, UnmatchedAnswerPurgesOlderCommandsOfThatAddressOnly)
{
    for (int s : {0, 3, 8, 12})
        pool.add(std::make_unique<StatusMessageCommand>(s, "10.0.0.5", &a));
    pool.add(std::make_unique<StatusMessageCommand>(1, "10.0.0.50", &b));
    EXPECT_EQ(pool.dispatch(*received("9", std::make_unique<BeatMessageBody>()), "10.0.0.5"), "");
    EXPECT_EQ(keys(), (std::vector<std::string>{"10.0.0.5-12", "10.0.0.50-1"}));
}

TEST_F(CommandPoolTest, PurgeMatchesTheWholeAddress)
{
    pool.add(std::make_unique<StatusMessageCommand>(4, "10.0.0.5", &a));
    pool.add(std::make_unique<TroubleShootingCommand>(7, "10.0.0.5", &a));
    pool.add(std::make_unique<StatusMessageCommand>(4, "10.0.0.50", &b));
    pool.purge("10.0.0.5", 2147483647);
    EXPECT_EQ(keys(), (std::vector<std::string>{"10.0.0.50-4"}));
}

TEST_F(CommandPoolTest, SequenceThatIsNoNumberPurgesNothing)
{
    pool.add(std::make_unique<StatusMessageCommand>(4, "10.0.0.5", &a));
    EXPECT_EQ(pool.dispatch(*received("x", std::make_unique<BeatMessageBody>()), "10.0.0.5"), "");
    EXPECT_EQ(pool.size(), 1u);
}

TEST_F(CommandPoolTest, ResendWithSameSequenceReplacesTheCommand)
{
    pool.add(std::make_unique<StatusMessageCommand>(3, "10.0.0.5", &a));
    pool.add(std::make_unique<TroubleShootingCommand>(3, "10.0.0.5", &a));
    ASSERT_EQ(pool.size(), 1u);
    EXPECT_NE(dynamic_cast<TroubleShootingCommand *>(pool.getCommands().begin()->second.get()),
              nullptr);
}

TEST_F(CommandPoolTest, FailingExecuteKeepsItsCommandAndPropagates)
{
    pool.add(std::make_unique<StatusMessageCommand>(5, "10.0.0.5", &a));
    CountingObserver observer;
    a.attach(&observer);
    EXPECT_ANY_THROW(pool.dispatch(*received("5", status("1", "85=Y\x01")), "10.0.0.5"));
    EXPECT_EQ(keys(), (std::vector<std::string>{"10.0.0.5-5"}));
    EXPECT_EQ(observer.calls, 0);
    // Closing the connection drops it.
    pool.purge("10.0.0.5", 2147483647);
    EXPECT_EQ(pool.size(), 0u);
}

TEST_F(CommandPoolTest, AnswerOfAnotherKindUnderAStatusSequenceLeavesTheHostAlone)
{
    a.setCpuUsage("42");
    a.setHostStatus("正常运行");
    pool.add(std::make_unique<StatusMessageCommand>(6, "10.0.0.5", &a));
    auto answer = received("6", std::make_unique<TroubleShootingResponseMessageBody>(
                                    "TroubleShooting", "AgentVersion", "0228305"));
    EXPECT_THROW(pool.dispatch(*answer, "10.0.0.5"), std::runtime_error);
    EXPECT_EQ(a.getCpuUsage(), "42");
    EXPECT_EQ(a.getHostStatus(), "正常运行");
}

struct TroubleCase
{
    const char *type;
    const char *result;
    size_t entry;
    const char *answer;
};

class TroubleShootingAnswers : public ::testing::TestWithParam<TroubleCase>
{
};

TEST_P(TroubleShootingAnswers, StoredInTheirStep)
{
    const TroubleCase &c = GetParam();
    HostSubject h("h", "10.0.0.5", "1");
    h.troubleShootingPending = true;
    MessageCommandPool pool;
    pool.add(std::make_unique<TroubleShootingCommand>(2, "10.0.0.5", &h));
    auto body = std::make_unique<TroubleShootingResponseMessageBody>("TroubleShooting", c.type,
                                                                     c.result);
    EXPECT_EQ(pool.dispatch(*received("2", std::move(body)), "10.0.0.5"), "");
    if (c.entry == 0) {
        EXPECT_TRUE(h.troubleShootingPending);
        EXPECT_EQ(h.getTroubleShootingText(), "");
        return;
    }
    EXPECT_FALSE(h.troubleShootingPending);
    EXPECT_EQ(h.getTroubleShootingText(), c.answer);
    for (size_t n = 1; n <= 5; ++n)
        EXPECT_EQ(h.results[n - 1].text, n == c.entry ? c.answer : "") << "step " << n;
}

INSTANTIATE_TEST_SUITE_P(
    Types, TroubleShootingAnswers,
    ::testing::Values(TroubleCase{"AgentVersion", "0228305", 3, "探针版本信息正确"},
                      TroubleCase{"AgentVersion", "0228306", 3, "探针版本与监视界面版本不一致"},
                      TroubleCase{"CheckCfgFile", "OK", 4, "探针配置文件正常"},
                      TroubleCase{"CheckCfgFile", "missing x\r\n", 4, "missing x\r\n"},
                      TroubleCase{"CheckCS", "NoCon", 5, "HOST没有与任何CS建立连接"},
                      TroubleCase{"CheckCS", "10.1.1.1 ok\r\n", 5, "10.1.1.1 ok\r\n"},
                      TroubleCase{"Other", "x", 0, ""}));
