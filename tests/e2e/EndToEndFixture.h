// The fixture of the whole-program tests: a simulated installation with both order-submission
// programs, TarvoMonitorAgent on a loopback port the system chose, and a console-side client over TCP.
#pragma once

#include "SimulatedHost.h"

#include "host/Oes.h"
#include "host/Pbu.h"
#include "platform/Gbk.h"

#include <gtest/gtest.h>

namespace tarvo {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct StatusView
{
    std::vector<Oes> programs;
    std::vector<Pbu> pbus;
    const Pbu *pbu(const std::string &code) const
    {
        for (const Pbu &p : pbus)
            if (p.getOperatorNumber() == code)
                return &p;
        return nullptr;
    }
};

inline StatusView readStatus(const Message &message)
{
    StatusView view;
    auto &body = dynamic_cast<StatusResponseMessageBody &>(*message.getBody());
    const std::string &oes = body.getOesPackage();
    for (size_t position = 1; position <= oes.size();)
        view.programs.emplace_back().readItem(oes, position);
    const std::string &pbus = body.getPbuPackage();
    for (size_t position = 1; position <= pbus.size();)
        view.pbus.emplace_back().readItem(pbus, position);
    return view;
}

inline std::string sysLogOf(const Message &message)
{
    return dynamic_cast<LogMessageBody &>(*message.getBody()).getSysLog();
}

class EndToEnd : public ::testing::Test
{
protected:
    // Lays out the installation: both programs watched, two operators each, GBK CR LF ini files.
    // The client of these tests connects from 127.0.0.1.
    void layOut(const std::string &accessControl = "console=127.0.0.1\r\n",
                bool withProgramB = true, const std::string &port = "10012")
    {
        test::layOutInstallation(dir, "00", accessControl, withProgramB, port);
    }

    void startSimulator(const char *name, std::unique_ptr<test::ChildProcess> &slot)
    {
        slot = std::make_unique<test::ChildProcess>(dir / name,
                                                    std::vector<std::string>{"--interval-ms", "50"},
                                                    dir.path(), dir / (std::string(name) + ".out"));
    }

    // `portFromIni`: the ini's [PORT] port is `port`, and no --port is given.
    // Without it the agent listens on a port the system chooses (--port 0), read from its log.
    void startAgent(std::vector<std::string> extra = {}, bool portFromIni = false)
    {
        const size_t started = test::count(agentLog(), "listening on 127.0.0.1:");
        std::vector<std::string> args = {"--dir", dir.path(), "--ini", dir / "TarvoMonitorAgent.ini",
                                         "--bind", "127.0.0.1", "--watch-ms", "50"};
        if (!portFromIni)
            args.insert(args.end(), {"--port", "0"});
        args.insert(args.end(), extra.begin(), extra.end());
        agent = std::make_unique<test::ChildProcess>(TARVO_AGENT_EXE, args, dir.path(),
                                                     dir / "agent.out");
        port = test::waitForLoggedPort(dir / "logs/TarvoMonitorAgent.log", "127.0.0.1", started + 1);
        ASSERT_NE(port, 0) << test::readFile(dir / "agent.out") << agentLog();
        ASSERT_TRUE(test::waitUntil([&] {
            test::Client probe(port);
            return probe.connected();
        })) << test::readFile(dir / "agent.out");
    }

    // Stops the agent as the system asks it to and expects a clean end (where the tests can
    // ask: see stopRequestsReachChildren), else kills it.
    void stopAgentCleanly()
    {
        const int code = agent->kill(test::ChildProcess::Stop::Terminate);
        if (test::stopRequestsReachChildren()) {
            EXPECT_EQ(code, 0);
        }
    }

    std::string agentLog() const { return test::readFile(dir / "logs/TarvoMonitorAgent.log"); }

    // Polls with status requests until `accept` holds for an answer.
    bool pollStatus(test::Client &client, const std::function<bool(const StatusView &)> &accept,
                    StatusView &last)
    {
        return test::waitUntil([&] {
            if (!client.send(test::statusRequest(std::to_string(++sequence))))
                return false;
            std::unique_ptr<Message> answer = client.receiveType("03");
            if (!answer)
                return false;
            EXPECT_EQ(answer->getSequence(), std::to_string(sequence));
            last = readStatus(*answer);
            return accept(last);
        }, 10s);
    }

    test::TempDir dir;
    int port = 0;
    int sequence = 0;
    std::unique_ptr<test::ChildProcess> programA;
    std::unique_ptr<test::ChildProcess> programB;
    std::unique_ptr<test::ChildProcess> agent;
};

} // namespace tarvo
