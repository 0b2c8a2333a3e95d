// Peers that hold the agent's slots by speaking just often enough, flood its worker with
// requests, forge its log, and a program that writes its status file in two pieces.
#include "HostilePeerCases.h"

#include "agent/service/ServiceTimings.h"
#include "host/Host.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <ctime>

namespace tarvo::test {
namespace {

const ServiceTimings SHIPPED;

std::string clientHeartbeat()
{
    return Message(PROTOCOL_VERSION, "C", "-1", std::make_unique<BeatMessageBody>()).encode();
}

// Runs `step` on its own thread until the guard goes.
class Background
{
public:
    explicit Background(std::function<void(const std::atomic<bool> &stop)> step)
        : m_thread([this, step] { step(m_stop); })
    {
    }
    ~Background()
    {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

// Connections that each send a heartbeat every `period`, at phases spread over the period,
// and nothing else: enough to stay within the idle limit, never enough to look like a
// console. One that the agent closes connects again, as an attacker would.
class SlotHolders
{
public:
    SlotHolders(int port, const std::vector<std::string> &from, std::chrono::milliseconds period)
        : m_port(port), m_period(period)
    {
        const auto start = std::chrono::steady_clock::now();
        for (size_t i = 0; i < from.size(); ++i) {
            Holder &holder = m_holders.emplace_back(Holder{from[i], -1, {}});
            connect(holder, start + period * i / from.size());
        }
        m_thread = std::thread([this] { run(); });
    }
    ~SlotHolders()
    {
        m_stop = true;
        m_thread.join();
        for (const Holder &holder : m_holders)
            ::close(holder.fd);
    }

private:
    struct Holder
    {
        std::string from;
        int fd;
        std::chrono::steady_clock::time_point nextBeat;
    };

    void connect(Holder &holder, std::chrono::steady_clock::time_point nextBeat)
    {
        holder.fd = connectFrom(m_port, holder.from);
        if (holder.fd >= 0)
            sendAll(holder.fd, clientHeartbeat());
        holder.nextBeat = nextBeat;
    }

    void run()
    {
        const std::string beat = clientHeartbeat();
        char chunk[4096];
        while (!m_stop) {
            const auto now = std::chrono::steady_clock::now();
            for (Holder &holder : m_holders) {
                pollfd in{holder.fd, POLLIN, 0};
                const bool gone = holder.fd < 0 ||
                                  (::poll(&in, 1, 0) > 0 &&
                                   ::recv(holder.fd, chunk, sizeof chunk, MSG_DONTWAIT) <= 0);
                if (gone) {
                    ::close(holder.fd);
                    connect(holder, now + m_period);
                } else if (now >= holder.nextBeat) {
                    sendAll(holder.fd, beat);
                    holder.nextBeat += m_period;
                }
            }
            std::this_thread::sleep_for(10ms);
        }
    }

    int m_port;
    std::chrono::milliseconds m_period;
    std::vector<Holder> m_holders;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

// A console starting again from `from` while the slots are held: how long until it is
// admitted and answered (it tries again at once when refused), or nothing within `limit`.
std::optional<std::chrono::milliseconds> restart(int port, const std::string &from,
                                                 std::chrono::milliseconds limit)
{
    const auto start = std::chrono::steady_clock::now();
    for (int attempt = 1; std::chrono::steady_clock::now() - start < limit; ++attempt) {
        Client console(port, from);
        if (console.send(statusRequest(std::to_string(attempt)))) {
            std::unique_ptr<Message> answer = console.receiveType("03", 1000ms);
            if (answer && answer->getSequence() == std::to_string(attempt))
                return std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start);
        }
        std::this_thread::sleep_for(20ms);
    }
    return std::nullopt;
}

// Holders a third longer than the quiet limit apart: each is quiet past the limit for a
// while of every period, and well within the idle limit.
constexpr auto HOLDER_PERIOD = PEERS_DISPLACE_QUIET * 4 / 3;
static_assert(HOLDER_PERIOD < PEERS_IDLE_TIMEOUT);

void restartsWhileHeld(const HostileAgent &agent, const std::vector<std::string> &holders,
                       const std::string &console, const std::string &logPart)
{
    SlotHolders held(agent.port, holders, HOLDER_PERIOD);
    // Every holder has spoken, and beats at its own phase.
    std::this_thread::sleep_for(HOLDER_PERIOD);
    for (int i = 0; i < 3; ++i) {
        std::optional<std::chrono::milliseconds> took =
            restart(agent.port, console, 2 * HOLDER_PERIOD);
        ASSERT_TRUE(took) << "restart " << i << " refused for " << (2 * HOLDER_PERIOD).count()
                          << " ms";
        std::printf("[ RESTART  ] admitted and answered after %ld ms\n", long(took->count()));
    }
    EXPECT_NE(agent.log().find(logPart), std::string::npos);
}

} // namespace

void quietHoldersOfTheConsolesAddress(const HostileAgent &agent)
{
    // With the polling console they hold the address's eight connections.
    restartsWhileHeld(agent, std::vector<std::string>(7, "127.0.0.1"), "127.0.0.1",
                      "its address holds 8 connections and it has sent nothing for ");
}

void quietHoldersOfEverySlot(const HostileAgent &agent)
{
    std::vector<std::string> holders;
    for (int i = 0; i < 63; ++i)
        holders.push_back("127.0.0." + std::to_string(2 + i % 10));
    restartsWhileHeld(agent, holders, "127.0.0.12",
                      "every client slot is taken and it has sent nothing for ");
}

void requestFlood(const HostileAgent &agent)
{
    constexpr int FLOODERS = 60;
    constexpr int OUTSTANDING = 16;
    Client console(agent.port, "127.0.0.12");
    std::vector<long> answers(FLOODERS, 0);
    const auto start = std::chrono::steady_clock::now();
    std::chrono::milliseconds slowest{0};
    {
        Background flood([&](const std::atomic<bool> &stop) {
            std::vector<int> fds;
            std::vector<FrameReader> frames(FLOODERS);
            std::vector<int> waiting(FLOODERS, 0);
            for (int i = 0; i < FLOODERS; ++i)
                fds.push_back(connectFrom(agent.port, "127.0.0." + std::to_string(2 + i % 10)));
            char chunk[65536];
            while (!stop) {
                for (int i = 0; i < FLOODERS; ++i) {
                    ssize_t n;
                    while ((n = ::recv(fds[i], chunk, sizeof chunk, MSG_DONTWAIT)) > 0)
                        frames[i].append(std::string_view(chunk, size_t(n)));
                    for (auto m = frames[i].next(); m.kind == FrameReader::Result::Kind::Complete;
                         m = frames[i].next())
                        if (m.message->getMessageType() == "03") {
                            ++answers[i];
                            --waiting[i];
                        }
                    for (; waiting[i] < OUTSTANDING; ++waiting[i])
                        sendAll(fds[i], statusRequest("1"), 0ms);
                }
                std::this_thread::sleep_for(2ms);
            }
            for (int fd : fds)
                ::close(fd);
        });
        // A console between them asks now and then, as a console does.
        for (int i = 0; i < 5; ++i) {
            std::this_thread::sleep_for(300ms);
            const auto asked = std::chrono::steady_clock::now();
            ASSERT_TRUE(console.send(statusRequest(std::to_string(i))));
            std::unique_ptr<Message> answer = console.receiveType("03", 5000ms);
            ASSERT_NE(answer, nullptr);
            EXPECT_EQ(answer->getSequence(), std::to_string(i));
            slowest = std::max(slowest, std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now() - asked));
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    long total = 0;
    for (long a : answers) {
        EXPECT_LE(a, SHIPPED.requestBurst + SHIPPED.requestsPerSecond * seconds + 1);
        total += a;
    }
    EXPECT_LE(total, SHIPPED.totalRequestsPerSecond * (seconds + 1) + 1);
    EXPECT_LT(slowest, 1000ms);
    std::printf("[ FLOOD    ] %d connections: %.0f answers a second in all, the most to one "
                "connection %ld in %.1f s; the console's slowest answer %ld ms\n",
                FLOODERS, double(total) / seconds,
                *std::max_element(answers.begin(), answers.end()), seconds,
                long(slowest.count()));
}

void forgedAndLongCheckNames(const HostileAgent &agent)
{
    const std::string forged = "\r\n2001-01-01 09:00:00 ERROR A股报盘程序 stopped\r\n";
    const std::string check = forged + std::string(19000, 'Q');
    constexpr int CLIENTS = 4, REQUESTS = 10;
    const std::string before = agent.log();
    const size_t unanswered = count(before, " has no answer");
    std::vector<std::unique_ptr<Client>> clients;
    for (int c = 0; c < CLIENTS; ++c) {
        clients.push_back(std::make_unique<Client>(agent.port, "127.0.0." + std::to_string(2 + c)));
        for (int r = 0; r < REQUESTS; ++r)
            ASSERT_TRUE(clients.back()->send(troubleRequest(std::to_string(r), check)));
    }
    ASSERT_TRUE(waitUntil([&] {
        return count(agent.log(), " has no answer") >= unanswered + CLIENTS * REQUESTS;
    })) << agent.log().size();
    const std::string after = agent.log();
    EXPECT_EQ(after.find("\n2001-01-01 09:00:00"), std::string::npos);
    EXPECT_NE(after.find("\\x0d\\x0a2001-01-01 09:00:00 ERROR "), std::string::npos);
    const size_t perRequest = (after.size() - before.size()) / (CLIENTS * REQUESTS);
    EXPECT_LT(perRequest, 1000u);
    std::printf("[ LOG      ] %zu bytes of log per request of %zu bytes\n", perRequest,
                troubleRequest("1", check).size());
}

void statusFileWrittenInPieces(const HostileAgent &agent)
{
    const IniFile config = IniFile::load(*agent.dir / "cfgA/SystemConfiguration.ini");
    const sim::OesSimulator program(sim::Program::A, sim::OesSimulator::readOperators(config),
                                    "1.0", "A");
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    const std::string text = program.statusText(local);
    // The first piece ends just after the last operator's "Status=".
    const size_t cut = text.rfind("Status=") + 7;
    std::atomic<bool> written = false;
    long answers = 0, torn = 0;
    {
        Background writer([&](const std::atomic<bool> &stop) {
            while (!stop) {
                int fd = ::open(agent.statusFile().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                ASSERT_EQ(::write(fd, text.data(), cut), ssize_t(cut));
                std::this_thread::sleep_for(30ms);
                ASSERT_EQ(::write(fd, text.data() + cut, text.size() - cut),
                          ssize_t(text.size() - cut));
                ::close(fd);
                written = true;
                std::this_thread::sleep_for(120ms);
            }
        });
        ASSERT_TRUE(waitUntil([&] { return written.load(); }));
        std::vector<std::unique_ptr<Client>> clients;
        for (int c = 0; c < 3; ++c)
            clients.push_back(
                std::make_unique<Client>(agent.port, "127.0.0." + std::to_string(2 + c)));
        // 1.5 s of requests, longer (up to 10 s) on a loaded machine until 15 answers came.
        const auto start = std::chrono::steady_clock::now();
        const auto going = [&] {
            const auto spent = std::chrono::steady_clock::now() - start;
            return spent < 1500ms || (answers < 15 && spent < 10s);
        };
        for (long seq = 1; going(); ++seq) {
            for (auto &client : clients)
                ASSERT_TRUE(client->send(statusRequest(std::to_string(seq))));
            for (auto &client : clients) {
                std::unique_ptr<Message> answer = client->receiveType("03");
                ASSERT_NE(answer, nullptr);
                Host host;
                host.updatePbus(
                    static_cast<StatusResponseMessageBody *>(answer->getBody())->getPbuPackage());
                ++answers;
                for (const auto &pbu : host.getPbuList())
                    torn += pbu->getPbuStatus() != "3";
            }
        }
    }
    EXPECT_EQ(torn, 0) << "of " << answers << " answers";
    EXPECT_GE(answers, 15);
    std::printf("[ TORN     ] %ld of %ld answers with a PBU status other than the file's\n", torn,
                answers);
}

} // namespace tarvo::test
