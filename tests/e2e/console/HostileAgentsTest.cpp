// The console program against hostile agents on loopback, one case per console process: an
// agent that sends 10 MB of random bytes, one that announces a huge body and then sends
// nothing, one that answers a byte at a time, one that answers with wrong sequences, agents
// that drop their connection inside an answer (cut at every byte) and 200 that accept and
// drop at once. In every case the hostile connection is closed or its messages ignored, a
// well-behaved agent beside it keeps being polled and its row keeps following its answers,
// and the console's resident memory (VmRSS) stays within a bound before, during and after.
#include "TestSupport.h"
#include "../../host/PackageBuilders.h"

#include "platform/Gbk.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <random>

namespace tarvo {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// ------------------------------------------------------------------ wire helpers

bool sendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(size_t(n));
    }
    return true;
}

// What arrives within `waitMs`: "" when nothing did, nullopt when the peer closed.
std::optional<std::string> receive(int fd, int waitMs)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, waitMs) <= 0)
        return std::string();
    char chunk[65536];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0)
        return std::nullopt;
    return std::string(chunk, size_t(n));
}

// Takes the console's complete messages from the front of `buffer`.
std::vector<std::unique_ptr<Message>> takeMessages(std::string &buffer)
{
    std::vector<std::unique_ptr<Message>> messages;
    for (;;) {
        auto message = std::make_unique<Message>();
        const int r = message->decode(buffer);
        if (r <= 0)
            return messages;
        buffer.erase(0, size_t(r) + 6);
        messages.push_back(std::move(message));
    }
}

std::string statusAnswer(const std::string &sequence, int cpu)
{
    using namespace tarvo::testing;
    Message message(PROTOCOL_VERSION, "S", sequence,
                    std::make_unique<StatusResponseMessageBody>(
                        "正常运行", "2009-06-01 09:05:03 ", std::to_string(cpu), "20", "30", "00",
                        package({oes("Y", OES_NAME_A, "运行"), oes("Y", OES_NAME_B, "运行")}),
                        package({pbu(OES_NAME_A, "A0000000001")})));
    return message.encode();
}

// ------------------------------------------------------------------ fake agents

// A listening socket whose connections are served one after the other by `serve` on a
// thread of its own. Until release() it accepts nothing: the console's connections complete
// in the kernel and wait there.
class FakeAgent
{
public:
    using Serve =
        std::function<void(int fd, const std::string &localIp, const std::atomic<bool> &stop)>;

    FakeAgent(const std::string &bindIp, Serve serveConnection, bool released = true)
        : serve(std::move(serveConnection)), open(released)
    {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int yes = 1;
        ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        ::inet_pton(AF_INET, bindIp.c_str(), &address.sin_addr);
        ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(listener, 1024);
        socklen_t length = sizeof address;
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
        listeningPort = ntohs(address.sin_port);
        thread = std::thread([this] { run(); });
    }
    ~FakeAgent()
    {
        stop = true;
        thread.join();
        ::close(listener);
    }

    int port() const { return listeningPort; }
    void release() { open = true; }
    int accepted() const { return acceptedCount; }

private:
    void run()
    {
        while (!stop) {
            pollfd p{listener, POLLIN, 0};
            if (!open || ::poll(&p, 1, 20) <= 0) {
                if (!open)
                    std::this_thread::sleep_for(10ms);
                continue;
            }
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            ++acceptedCount;
            // A console that stops reading must not hang the test.
            const timeval sendLimit{2, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
            sockaddr_in local{};
            socklen_t length = sizeof local;
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length);
            char ip[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &local.sin_addr, ip, sizeof ip);
            serve(fd, ip, stop);
            ::close(fd);
        }
    }

    Serve serve;
    int listener = -1;
    int listeningPort = 0;
    std::atomic<bool> stop{false};
    std::atomic<bool> open;
    std::atomic<int> acceptedCount{0};
    std::thread thread;
};

// Answers every status request at once; its CPU figure counts the answers.
struct GoodAgent
{
    std::mutex lock;
    std::vector<Clock::time_point> requests;
    int lastCpu = 0;

    void serve(int fd, const std::atomic<bool> &stop)
    {
        std::string buffer;
        while (!stop) {
            const std::optional<std::string> bytes = receive(fd, 50);
            if (!bytes)
                return;
            buffer += *bytes;
            for (const auto &message : takeMessages(buffer)) {
                if (message->getMessageType() != "02")
                    continue;
                int cpu = 0;
                {
                    std::lock_guard guard(lock);
                    requests.push_back(Clock::now());
                    cpu = lastCpu = int(requests.size() % 90) + 1;
                }
                if (!sendAll(fd, statusAnswer(message->getSequence(), cpu)))
                    return;
            }
        }
    }
    size_t requestCount()
    {
        std::lock_guard guard(lock);
        return requests.size();
    }
    int cpu()
    {
        std::lock_guard guard(lock);
        return lastCpu;
    }
    // The figure of the answer before the last one.
    int previousCpu()
    {
        std::lock_guard guard(lock);
        return requests.size() < 2 ? -1 : int((requests.size() - 1) % 90) + 1;
    }
    // The longest time between two requests from `from` on (and from the last one to now).
    std::chrono::milliseconds longestGap(Clock::time_point from)
    {
        std::lock_guard guard(lock);
        Clock::time_point previous = from;
        Clock::duration longest{};
        for (const auto &at : requests) {
            if (at < from)
                continue;
            longest = std::max(longest, at - previous);
            previous = at;
        }
        longest = std::max(longest, Clock::now() - previous);
        return std::chrono::duration_cast<std::chrono::milliseconds>(longest);
    }
};

// ------------------------------------------------------------------ the console program

long residentKb(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

// The value of `metric` for host `ip` in a /metrics text; "" when it has none.
std::string metricOf(const std::string &metrics, const std::string &metric, const std::string &ip)
{
    const std::string key = metric + "{host=\"" + ip + "\",";
    const size_t at = metrics.find("\n" + key);
    if (at == std::string::npos)
        return {};
    const size_t end = metrics.find('\n', at + 1);
    const std::string line = metrics.substr(at + 1, end - at - 1);
    return line.substr(line.rfind(' ') + 1);
}

// The address of the i-th of many hostile hosts: 127.0.1.1 ... 127.0.1.250, 127.0.2.1 ...
std::string manyHostIp(int i)
{
    return "127.0." + std::to_string(1 + i / 250) + "." + std::to_string(1 + i % 250);
}

int manyHostIndex(const std::string &ip)
{
    int a = 0, b = 0, c = 0, d = 0;
    std::sscanf(ip.c_str(), "%d.%d.%d.%d", &a, &b, &c, &d);
    return (c - 1) * 250 + d - 1;
}

constexpr const char *kGoodIp = "127.0.0.2";
constexpr const char *kHostileIp = "127.0.0.3";
// A poll period is about one second (Time=1); under a loaded machine a few are allowed.
constexpr auto kServedWithin = 3500ms;
// The console may grow a little while it works; a buffer that kept what a hostile agent
// sends would pass this at once.
constexpr long kGrowthBoundKb = 16 * 1024;

struct Figures
{
    long before = 0, during = 0, after = 0;
};

class HostileAgents : public ::testing::Test
{
protected:
    void TearDown() override
    {
        const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::printf("[ RSS kB ] %-36s before %6ld  during (max) %6ld  after %6ld\n", info->name(),
                    figures.before, figures.during, figures.after);
        ::testing::Test::RecordProperty("rss_before_kb", std::to_string(figures.before));
        ::testing::Test::RecordProperty("rss_during_kb", std::to_string(figures.during));
        ::testing::Test::RecordProperty("rss_after_kb", std::to_string(figures.after));
        monitor.reset();
    }

    // The console on the good agent and `hostileLines` of the host list, polling every second.
    void startConsole(const std::string &hostileLines)
    {
        const std::string list = "good," + std::string(kGoodIp) + "," +
                                 std::to_string(good.port()) + ",N,N,0,\r\n" + hostileLines;
        test::writeFile(console / "TarvoMonitor.CFG", list);
        test::writeFile(console / "TarvoMonitor.ini", "[Interval]\r\nTime=1\r\n");
        metricsPort = test::freePort();
        monitor = std::make_unique<test::ChildProcess>(
            TARVO_MONITOR_EXE,
            std::vector<std::string>{"--dir", console.path(), "--ini", console / "TarvoMonitor.ini",
                                     "--headless", "--instance",
                                     "hostile-" + std::to_string(::getpid()), "--metrics",
                                     "127.0.0.1:" + std::to_string(metricsPort)},
            console.path(), console / "monitor.out");
        // Served and shown before anything hostile happens.
        ASSERT_TRUE(test::waitUntil([&] {
            return goodAgent.requestCount() >= 2 && goodRowFollows();
        }, 15s)) << output();
        figures.before = figures.during = residentKb(monitor->pid());
        caseStart = Clock::now();
    }

    std::string metrics() const { return test::scrapeMetrics(metricsPort); }
    std::string output() const { return test::readFile(console / "monitor.out"); }
    // The good host's figure is that of its last answer, or of the one before while the
    // last is on its way.
    bool goodRowFollows()
    {
        const std::string shown = metricOf(metrics(), "tarvo_host_cpu_usage_percent", kGoodIp);
        return shown == std::to_string(goodAgent.cpu()) ||
               shown == std::to_string(goodAgent.previousCpu());
    }

    // Samples the console's memory until `done` holds or `limit` has passed.
    bool whileHostile(const std::function<bool()> &done, std::chrono::milliseconds limit = 20s)
    {
        const auto deadline = Clock::now() + limit;
        for (;;) {
            figures.during = std::max(figures.during, residentKb(monitor->pid()));
            if (done())
                return true;
            if (Clock::now() >= deadline)
                return false;
            std::this_thread::sleep_for(50ms);
        }
    }

    // The good agent was polled all along and its row shows its latest answer; the memory
    // stayed within the bound.
    void expectGoodServedAndMemoryBounded()
    {
        // Two more polls after the hostile part, and the row shows them.
        const size_t seen = goodAgent.requestCount();
        const std::string shownBefore =
            metricOf(metrics(), "tarvo_host_cpu_usage_percent", kGoodIp);
        EXPECT_TRUE(whileHostile([&] { return goodAgent.requestCount() >= seen + 3; }, 10s));
        EXPECT_NE(metricOf(metrics(), "tarvo_host_cpu_usage_percent", kGoodIp), shownBefore);
        EXPECT_TRUE(test::waitUntil([&] { return goodRowFollows(); }, 5s))
            << "the good host's row stopped following its answers: cpu "
            << metricOf(metrics(), "tarvo_host_cpu_usage_percent", kGoodIp) << " vs "
            << goodAgent.cpu();
        EXPECT_LE(goodAgent.longestGap(caseStart), kServedWithin);
        EXPECT_EQ(metricOf(metrics(), "tarvo_host_up", kGoodIp), "1");
        figures.after = residentKb(monitor->pid());
        EXPECT_GT(figures.before, 0);
        EXPECT_LE(figures.during, figures.before + kGrowthBoundKb);
        EXPECT_LE(figures.after, figures.before + kGrowthBoundKb);
        ASSERT_EQ(::kill(monitor->pid(), 0), 0) << "the console ended: " << output();
    }

    static std::string hostLine(const std::string &name, const std::string &ip, int port)
    {
        return name + "," + ip + "," + std::to_string(port) + ",N,N,0,\r\n";
    }

    GoodAgent goodAgent;
    FakeAgent good{kGoodIp, [this](int fd, const std::string &, const std::atomic<bool> &stop) {
                       goodAgent.serve(fd, stop);
                   }};
    test::TempDir console;
    int metricsPort = 0;
    std::unique_ptr<test::ChildProcess> monitor;
    Figures figures;
    Clock::time_point caseStart;
};

// Serves the hostile side until the console closes the connection; true when it did.
bool untilClosed(int fd, const std::atomic<bool> &stop, Clock::duration limit = 20s)
{
    const auto deadline = Clock::now() + limit;
    while (!stop && Clock::now() < deadline)
        if (!receive(fd, 50))
            return true;
    return false;
}

TEST_F(HostileAgents, TenMegabytesOfRandomBytesCloseTheConnection)
{
    std::atomic<bool> closed{false};
    std::atomic<long> sent{0};
    FakeAgent hostile(kHostileIp, [&](int fd, const std::string &, const std::atomic<bool> &stop) {
        std::mt19937 random(7);
        std::string chunk(65536, '\0');
        for (long total = 0; total < 10L * 1024 * 1024 && !stop; total += long(chunk.size())) {
            for (char &c : chunk)
                c = char(random());
            if (!sendAll(fd, chunk)) {
                closed = true;
                return;
            }
            sent += long(chunk.size());
        }
        closed = untilClosed(fd, stop);
    }, false);
    ASSERT_NO_FATAL_FAILURE(startConsole(hostLine("noise", kHostileIp, hostile.port())));
    hostile.release();
    ASSERT_TRUE(whileHostile([&] { return closed.load(); })) << "sent " << sent;
    EXPECT_TRUE(test::waitUntil(
        [&] { return metricOf(metrics(), "tarvo_host_up", kHostileIp) == "0"; }));
    EXPECT_NE(output().find(gbk::toUtf8("Error[探针127.0.0.3消息过长]")), std::string::npos);
    expectGoodServedAndMemoryBounded();
}

TEST_F(HostileAgents, HugeAnnouncedBodyThenNothingClosesTheConnection)
{
    std::atomic<bool> closed{false};
    FakeAgent hostile(kHostileIp, [&](int fd, const std::string &, const std::atomic<bool> &stop) {
        sendAll(fd, std::string("00=") + PROTOCOL_VERSION + "\x01" "01=S\x01" "04=03\x01"
                    "12=0\x01" "15=2000000000\x01" "80=");
        closed = untilClosed(fd, stop);
    }, false);
    ASSERT_NO_FATAL_FAILURE(startConsole(hostLine("huge", kHostileIp, hostile.port())));
    hostile.release();
    ASSERT_TRUE(whileHostile([&] { return closed.load(); }, 5s));
    EXPECT_NE(output().find(gbk::toUtf8("Error[探针127.0.0.3消息过长]")), std::string::npos);
    expectGoodServedAndMemoryBounded();
}

TEST_F(HostileAgents, AnswersOneByteAtATimeAreDecodedWhole)
{
    std::atomic<int> answered{0};
    FakeAgent hostile(kHostileIp, [&](int fd, const std::string &, const std::atomic<bool> &stop) {
        std::string buffer;
        while (!stop) {
            const std::optional<std::string> bytes = receive(fd, 50);
            if (!bytes)
                return;
            buffer += *bytes;
            for (const auto &message : takeMessages(buffer)) {
                if (message->getMessageType() != "02")
                    continue;
                for (char c : statusAnswer(message->getSequence(), 66)) {
                    if (stop || !sendAll(fd, std::string_view(&c, 1)))
                        return;
                    std::this_thread::sleep_for(1ms);
                }
                ++answered;
            }
        }
    }, false);
    ASSERT_NO_FATAL_FAILURE(startConsole(hostLine("slow", kHostileIp, hostile.port())));
    hostile.release();
    ASSERT_TRUE(whileHostile([&] { return answered >= 3; }));
    EXPECT_TRUE(test::waitUntil([&] {
        return metricOf(metrics(), "tarvo_host_cpu_usage_percent", kHostileIp) == "66";
    }));
    EXPECT_EQ(metricOf(metrics(), "tarvo_host_up", kHostileIp), "1");
    expectGoodServedAndMemoryBounded();
}

TEST_F(HostileAgents, AnswersWithWrongSequencesAreIgnored)
{
    std::atomic<int> answered{0};
    FakeAgent hostile(kHostileIp, [&](int fd, const std::string &, const std::atomic<bool> &stop) {
        std::string buffer;
        while (!stop) {
            const std::optional<std::string> bytes = receive(fd, 50);
            if (!bytes)
                return;
            buffer += *bytes;
            for (const auto &message : takeMessages(buffer)) {
                if (message->getMessageType() != "02")
                    continue;
                const int sequence = std::atoi(message->getSequence().c_str());
                std::string answers;
                // Far ahead (drops what waits), negative, no number, empty: none matches.
                for (const std::string &wrong : {std::to_string(sequence + 1000), std::string("-5"),
                                                std::string("x9"), std::string("")})
                    answers += statusAnswer(wrong, 77);
                if (!sendAll(fd, answers))
                    return;
                ++answered;
            }
        }
    }, false);
    ASSERT_NO_FATAL_FAILURE(startConsole(hostLine("wrong", kHostileIp, hostile.port())));
    hostile.release();
    ASSERT_TRUE(whileHostile([&] { return answered >= 4; }));
    EXPECT_NE(metricOf(metrics(), "tarvo_host_cpu_usage_percent", kHostileIp), "77");
    EXPECT_EQ(metricOf(metrics(), "tarvo_host_up", kHostileIp), "1");
    expectGoodServedAndMemoryBounded();
}

TEST_F(HostileAgents, ConnectionsDroppedAtEveryByteOfAnAnswerLeaveNothingBehind)
{
    const std::string answer = statusAnswer("0", 55);
    const int cuts = int(answer.size()) - 1;  // cut after byte 1 ... after the last but one
    std::atomic<int> served{0};
    FakeAgent hostile("0.0.0.0", [&](int fd, const std::string &localIp,
                                     const std::atomic<bool> &stop) {
        const int cut = manyHostIndex(localIp) + 1;
        std::string buffer;
        for (auto deadline = Clock::now() + 3s; !stop && Clock::now() < deadline;) {
            const std::optional<std::string> bytes = receive(fd, 20);
            if (!bytes)
                break;
            buffer += *bytes;
            if (!takeMessages(buffer).empty())
                break;
        }
        if (cut >= 1 && cut <= cuts)
            sendAll(fd, std::string_view(answer).substr(0, size_t(cut)));
        ++served;
    }, false);
    std::string lines;
    for (int i = 0; i < cuts; ++i)
        lines += hostLine("cut" + std::to_string(i + 1), manyHostIp(i), hostile.port());
    ASSERT_NO_FATAL_FAILURE(startConsole(lines));
    hostile.release();
    ASSERT_TRUE(whileHostile([&] { return served >= cuts; }, 60s)) << served << " of " << cuts;
    std::printf("[ cuts   ] an answer of %zu bytes cut after each of bytes 1 to %d\n",
                answer.size(), cuts);
    EXPECT_TRUE(test::waitUntil([&] {
        const std::string text = metrics();
        for (int i = 0; i < cuts; ++i)
            if (metricOf(text, "tarvo_host_up", manyHostIp(i)) != "0")
                return false;
        return true;
    }, 10s));
    const std::string text = metrics();
    for (int i = 0; i < cuts; ++i)
        EXPECT_NE(metricOf(text, "tarvo_host_cpu_usage_percent", manyHostIp(i)), "55") << i;
    expectGoodServedAndMemoryBounded();
}

TEST_F(HostileAgents, TwoHundredConnectsAndDropsInARow)
{
    constexpr int kDrops = 200;
    FakeAgent hostile("0.0.0.0", [&](int fd, const std::string &, const std::atomic<bool> &) {
        // Half end with a reset, half with an orderly close.
        static int count = 0;
        if (++count % 2 == 0) {
            const linger reset{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        }
    }, false);
    std::string lines;
    for (int i = 0; i < kDrops; ++i)
        lines += hostLine("drop" + std::to_string(i + 1), manyHostIp(i), hostile.port());
    ASSERT_NO_FATAL_FAILURE(startConsole(lines));
    hostile.release();
    ASSERT_TRUE(whileHostile([&] { return hostile.accepted() >= kDrops; }, 30s));
    EXPECT_TRUE(test::waitUntil([&] {
        const std::string text = metrics();
        for (int i = 0; i < kDrops; ++i)
            if (metricOf(text, "tarvo_host_up", manyHostIp(i)) != "0")
                return false;
        return true;
    }, 10s));
    expectGoodServedAndMemoryBounded();
}

} // namespace
} // namespace tarvo
