// The agent farm: addresses and host list, answers read back with the protocol library, the
// rates of change, and one farm served over loopback.
#include "Farm.h"
#include "FarmHost.h"

#include "host/Oes.h"
#include "host/Pbu.h"
#include "protocol/Message.h"
#include "protocol/MessageBodies.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace tarvo::farm {
namespace {

struct Decoded
{
    std::unique_ptr<Message> message = std::make_unique<Message>();
    size_t length = 0;
};

Decoded decodeOne(const std::string &bytes)
{
    Decoded d;
    const int r = d.message->decode(bytes);
    EXPECT_GT(r, 0) << bytes;
    if (r > 0)
        d.length = size_t(r) + 6;
    return d;
}

std::vector<Pbu> pbusOf(const std::string &package)
{
    std::vector<Pbu> pbus;
    size_t position = 1;
    while (position <= package.size()) {
        Pbu pbu;
        pbu.readItem(package, position);
        pbus.push_back(pbu);
    }
    return pbus;
}

std::vector<Pbu> answeredPbus(FarmHost &host, const std::string &sequence = "1")
{
    Decoded d = decodeOne(host.statusAnswer(sequence));
    auto *body = dynamic_cast<StatusResponseMessageBody *>(d.message->getBody());
    if (!body)
        return {};
    return pbusOf(body->getPbuPackage());
}

// ---------------------------------------------------------------- addresses and host list

struct AddressCase
{
    std::string first;
    int count;
    std::vector<std::string> expected;
};

class FarmAddresses : public ::testing::TestWithParam<AddressCase>
{
};

TEST_P(FarmAddresses, CountUpSkippingZeroAndBroadcast)
{
    EXPECT_EQ(farmAddresses(GetParam().first, GetParam().count), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Farm, FarmAddresses,
    ::testing::Values(AddressCase{"127.0.1.1", 3, {"127.0.1.1", "127.0.1.2", "127.0.1.3"}},
                      AddressCase{"127.0.1.254", 3, {"127.0.1.254", "127.0.2.1", "127.0.2.2"}},
                      AddressCase{"127.0.3.0", 1, {"127.0.3.1"}},
                      AddressCase{"127.0.0.9", 0, {}}));

TEST(FarmAddressesRefused, NotLoopbackOrNotAnAddressOrRunningOut)
{
    EXPECT_THROW(farmAddresses("10.0.0.1", 1), std::invalid_argument);
    EXPECT_THROW(farmAddresses("127.0.1", 1), std::invalid_argument);
    try {
        farmAddresses("127.255.255.253", 3);
        FAIL();
    } catch (const std::invalid_argument &e) {
        EXPECT_STREQ(e.what(), "too many agents from 127.255.255.253: the addresses run out of "
                               "127.0.0.0/8");
    }
}

TEST(FarmHostList, OneLinePerAgentInTheConsolesFormat)
{
    EXPECT_EQ(hostListText({"127.0.1.1", "127.0.1.2"}, 10012),
              "farm1,127.0.1.1,10012,N,N,0,\nfarm2,127.0.1.2,10012,N,N,0,\n");
}

// ---------------------------------------------------------------- answers

class FarmStatusAnswer : public ::testing::TestWithParam<int>
{
};

TEST_P(FarmStatusAnswer, DecodesWithBothProgramsAndEveryPbu)
{
    FarmBehaviour behaviour;
    behaviour.pbusPerHost = GetParam();
    behaviour.envNo = "07";
    FarmHost host("127.0.1.9", behaviour, 3);
    const std::string bytes = host.statusAnswer("42");
    Decoded d = decodeOne(bytes);
    EXPECT_EQ(d.length, bytes.size());
    EXPECT_EQ(d.message->getMessageType(), "03");
    EXPECT_EQ(d.message->getSequence(), "42");
    EXPECT_EQ(d.message->getOrientation(), "S");
    auto *body = dynamic_cast<StatusResponseMessageBody *>(d.message->getBody());
    ASSERT_NE(body, nullptr);
    EXPECT_EQ(body->getHostStatus(), "正常运行");
    EXPECT_EQ(body->getHostTime().size(), 20u);
    EXPECT_EQ(body->getHostTime().back(), ' ');
    EXPECT_EQ(body->getEnvNo(), "07");

    const std::string &oesText = body->getOesPackage();
    size_t position = 1;
    Oes a, b;
    a.readItem(oesText, position);
    b.readItem(oesText, position);
    EXPECT_EQ(position, oesText.size() + 1);
    EXPECT_EQ(a.getOesName(), "A股报盘程序");
    EXPECT_EQ(b.getOesName(), "B股报盘程序");
    EXPECT_EQ(a.getOesExist(), "Y");
    EXPECT_EQ(b.getOesStatus(), "运行");

    const std::vector<Pbu> pbus = pbusOf(body->getPbuPackage());
    ASSERT_EQ(int(pbus.size()), GetParam());
    for (size_t i = 0; i < pbus.size(); ++i) {
        EXPECT_EQ(pbus[i].getOperatorNumber().size(), 11u);
        EXPECT_EQ(pbus[i].getHostExtIP(), "127.0.1.9");
        EXPECT_EQ(pbus[i].getPbuStatus(), "3");
    }
    if (GetParam() == 3) {
        EXPECT_EQ(pbus[0].getOperatorNumber(), "A0000000001");
        EXPECT_EQ(pbus[1].getOesName(), "A股报盘程序");
        EXPECT_EQ(pbus[2].getOperatorNumber(), "B0000000001");
        EXPECT_EQ(pbus[2].getOesName(), "B股报盘程序");
    }
}

INSTANTIATE_TEST_SUITE_P(Farm, FarmStatusAnswer, ::testing::Values(0, 1, 3, 20));

TEST(FarmRates, CountersGrowAtRateOneAndStayAtRateZero)
{
    FarmBehaviour behaviour;
    behaviour.pbusPerHost = 10;
    behaviour.stateRate = 0;
    behaviour.changeRate = 1;
    FarmHost growing("127.0.1.1", behaviour, 1);
    behaviour.changeRate = 0;
    FarmHost still("127.0.1.2", behaviour, 1);
    const auto grownBefore = answeredPbus(growing);
    const auto grownAfter = answeredPbus(growing);
    const auto stillBefore = answeredPbus(still);
    const auto stillAfter = answeredPbus(still);
    ASSERT_EQ(grownAfter.size(), 10u);
    for (size_t i = 0; i < 10; ++i) {
        EXPECT_GT(std::stoull(grownAfter[i].getPbuBidNumber()),
                  std::stoull(grownBefore[i].getPbuBidNumber()));
        EXPECT_GE(std::stoull(grownAfter[i].getPbuTradeNumber()),
                  std::stoull(grownBefore[i].getPbuTradeNumber()));
        EXPECT_EQ(stillAfter[i].getPbuBidNumber(), stillBefore[i].getPbuBidNumber());
    }
}

TEST(FarmRates, HalfTheCountersMoveAtRateOneHalf)
{
    FarmBehaviour behaviour;
    behaviour.pbusPerHost = 200;
    behaviour.stateRate = 0;
    behaviour.changeRate = 0.5;
    FarmHost host("127.0.1.1", behaviour, 5);
    const auto before = answeredPbus(host);
    const auto after = answeredPbus(host);
    int moved = 0;
    for (size_t i = 0; i < before.size(); ++i)
        moved += before[i].getPbuBidNumber() != after[i].getPbuBidNumber();
    EXPECT_GT(moved, 60);
    EXPECT_LT(moved, 140);
}

TEST(FarmRates, StateRateOneStopsThenStartsEveryPbu)
{
    FarmBehaviour behaviour;
    behaviour.pbusPerHost = 4;
    behaviour.stateRate = 1;
    FarmHost host("127.0.1.1", behaviour, 1);
    const auto stopped = answeredPbus(host);
    ASSERT_EQ(stopped.size(), 4u);
    for (const Pbu &pbu : stopped) {
        EXPECT_EQ(pbu.getPbuStatus(), "1");
        // A PBU that does not run carries no counters and no gateway.
        EXPECT_EQ(pbu.getPbuBidNumber(), "");
        EXPECT_EQ(pbu.getCsIP(), "");
    }
    for (const Pbu &pbu : answeredPbus(host)) {
        EXPECT_EQ(pbu.getPbuStatus(), "3");
        EXPECT_FALSE(pbu.getPbuBidNumber().empty());
    }
}

struct ShootingCase
{
    std::string type;
    std::string result;
};

class FarmTroubleShooting : public ::testing::TestWithParam<ShootingCase>
{
};

TEST_P(FarmTroubleShooting, AnswersAsAHealthyAgent)
{
    FarmHost host("127.0.1.1", {}, 1);
    Decoded d = decodeOne(host.answer("19", "8", GetParam().type));
    EXPECT_EQ(d.message->getMessageType(), "20");
    EXPECT_EQ(d.message->getSequence(), "8");
    ASSERT_NE(d.message->getBody(), nullptr);
    EXPECT_EQ(d.message->getBody()->getFieldValue("ShootingType"), GetParam().type);
    EXPECT_EQ(d.message->getBody()->getResult(), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Farm, FarmTroubleShooting,
                         ::testing::Values(ShootingCase{"AgentVersion", "0228305"},
                                           ShootingCase{"CheckCfgFile", "OK"},
                                           ShootingCase{"CheckCS", "NoCon"}));

TEST(FarmMessages, HeartbeatsGetNoAnswerAndLogRecordsAreNumbered)
{
    FarmHost host("127.0.1.1", {}, 1);
    EXPECT_EQ(host.answer("12", "-1", ""), "");
    EXPECT_EQ(FarmHost::heartbeat(), "00=Tarvo1.20\x01" "01=S\x01" "04=12\x01" "12=-1\x01"
                                     "15=0\x01" "99= 53\x01");
    host.logMessage("one");
    Decoded d = decodeOne(host.logMessage("two words"));
    EXPECT_EQ(d.message->getMessageType(), "13");
    ASSERT_NE(d.message->getBody(), nullptr);
    EXPECT_EQ(d.message->getBody()->getFieldValue("sysLog"), "INFO 2 two words\x02");
}

// ---------------------------------------------------------------- over loopback

int connectTo(const std::string &address, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads until one whole message is there (at most 5 s); its bytes, or what came.
std::string readMessage(int fd, std::string &buffer)
{
    for (int round = 0; round < 500; ++round) {
        Message probe;
        const int r = probe.decode(buffer);
        if (r > 0) {
            std::string one = buffer.substr(0, size_t(r) + 6);
            buffer.erase(0, one.size());
            return one;
        }
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) == 1) {
            char chunk[65536];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                break;
            buffer.append(chunk, size_t(n));
        }
    }
    return buffer;
}

class FarmOverLoopback : public ::testing::Test
{
protected:
    void start(FarmOptions options)
    {
        farm = std::make_unique<Farm>(std::move(options));
        farm->listen();
        thread = std::thread([this] { farm->run(stop); });
    }
    void TearDown() override
    {
        stop = true;
        if (thread.joinable())
            thread.join();
    }

    std::atomic<bool> stop{false};
    std::unique_ptr<Farm> farm;
    std::thread thread;
};

TEST_F(FarmOverLoopback, EachAgentAnswersOnItsOwnAddressAndCounts)
{
    FarmOptions options;
    options.hosts = 3;
    options.firstAddress = "127.0.77.1";
    options.port = 0;  // each agent on a port the system chooses
    options.behaviour.pbusPerHost = 2;
    options.logInterval = 0;
    start(options);

    ASSERT_EQ(farm->ports().size(), 3u);
    const int fd = connectTo("127.0.77.3", farm->ports()[2]);
    ASSERT_GE(fd, 0);
    Message request(PROTOCOL_VERSION, "C", "5", std::make_unique<StatusRequestMessageBody>());
    Message beat(PROTOCOL_VERSION, "S", "-1", std::make_unique<BeatMessageBody>());
    const std::string bytes = beat.encode() + request.encode();
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), 0), ssize_t(bytes.size()));
    std::string buffer;
    Decoded d = decodeOne(readMessage(fd, buffer));
    EXPECT_EQ(d.message->getMessageType(), "03");
    EXPECT_EQ(d.message->getSequence(), "5");
    auto *body = dynamic_cast<StatusResponseMessageBody *>(d.message->getBody());
    ASSERT_NE(body, nullptr);
    const auto pbus = pbusOf(body->getPbuPackage());
    ASSERT_EQ(pbus.size(), 2u);
    // The third agent answers with its own address.
    EXPECT_EQ(pbus[0].getHostExtIP(), "127.0.77.3");
    EXPECT_EQ(farm->counts().accepted.load(), 1u);
    EXPECT_EQ(farm->counts().requests.load(), 2u);
    EXPECT_EQ(farm->counts().heartbeatsReceived.load(), 1u);
    EXPECT_EQ(farm->counts().statusAnswers.load(), 1u);

    // A message with a wrong checksum closes the connection and is counted.
    std::string junk = request.encode();
    junk[junk.size() - 2] = junk[junk.size() - 2] == '1' ? '2' : '1';
    ::send(fd, junk.data(), junk.size(), 0);
    char c;
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 5000), 1);
    EXPECT_EQ(::recv(fd, &c, 1, 0), 0);
    EXPECT_EQ(farm->counts().badMessages.load(), 1u);
    ::close(fd);
}

TEST_F(FarmOverLoopback, IdleConnectionsGetHeartbeatsAndLogRecords)
{
    FarmOptions options;
    options.hosts = 1;
    options.firstAddress = "127.0.78.1";
    options.port = 0;
    options.heartbeat = std::chrono::milliseconds(0);
    options.logInterval = 0.001;
    start(options);
    const int fd = connectTo("127.0.78.1", farm->ports().at(0));
    ASSERT_GE(fd, 0);
    std::string buffer;
    bool sawBeat = false, sawLog = false;
    for (int i = 0; i < 4 && !(sawBeat && sawLog); ++i) {
        Decoded d = decodeOne(readMessage(fd, buffer));
        sawBeat |= d.message->getMessageType() == "12";
        sawLog |= d.message->getMessageType() == "13";
    }
    EXPECT_TRUE(sawBeat);
    EXPECT_TRUE(sawLog);
    ::close(fd);
}

TEST(FarmListen, AnAddressInUseIsNamed)
{
    FarmOptions options;
    options.hosts = 1;
    options.firstAddress = "127.0.79.1";
    options.port = 0;
    Farm first(options);
    first.listen();
    options.port = first.ports().at(0);
    Farm second(options);
    try {
        second.listen();
        FAIL();
    } catch (const std::runtime_error &e) {
        EXPECT_EQ(std::string(e.what()),
                  "cannot bind 127.0.79.1:" + std::to_string(options.port) +
                      ": Address already in use");
    }
}

} // namespace
} // namespace tarvo::farm
