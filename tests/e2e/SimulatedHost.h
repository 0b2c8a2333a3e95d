// One simulated host of the whole-program tests: an installation whose two order-submission
// programs are the simulator, and TarvoMonitorAgent bound to the host's own loopback address.
#pragma once

#include "OesSim.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace tarvo::test {

// Lays out an installation in `dir`: both programs watched, two operators each, GBK CR LF
// ini files; without `withProgramB` the B-share program's executable is missing.
inline void layOutInstallation(const TempDir &dir, const std::string &envNo = "00",
                               const std::string &accessControl = "console=127.0.0.1\r\n",
                               bool withProgramB = true, const std::string &port = "10012")
{
    fs::copy_file(TARVO_OES_SIM_EXE, dir / "Tarvo_ASHR.exe");
    if (withProgramB)
        fs::copy_file(TARVO_OES_SIM_EXE, dir / "Tarvo_BSHR.exe");
    writeFile(dir / "cfgA/SystemConfiguration.ini",
              sim::demoSystemConfiguration(sim::Program::A, 2, "127.0.0.1"));
    writeFile(dir / "cfgB/SystemConfiguration.ini",
              sim::demoSystemConfiguration(sim::Program::B, 2, "127.0.0.1"));
    writeFile(dir / "tarvo.ini", "[TARVO]\r\nenvNo=" + envNo + "\r\n");
    writeFile(dir / "TarvoMonitorAgent.ini",
              "[Tarvo]\r\nlogs_dir=./logs/\r\nA股报盘程序=Y\r\nB股报盘程序=Y\r\n"
              "[PORT]\r\nport=" + port + "\r\n[LOG]\r\nname=TarvoMonitorAgent.log\r\n"
              "Debug=OFF\r\n[ACCESS_CONTROL]\r\n" + accessControl);
    fs::create_directories(dir / "monitor");
}

struct SimulatedHost
{
    std::string name;
    std::string ip;
    std::string envNo = "00";
    TempDir dir;
    int port = 0;  // the agent's, from its first start on
    std::unique_ptr<ChildProcess> programA;
    std::unique_ptr<ChildProcess> programB;
    std::unique_ptr<ChildProcess> agent;

    std::string agentLog() const { return readFile(dir / "logs/TarvoMonitorAgent.log"); }
    // The host's line of a console's host list file.
    std::string hostListLine() const
    {
        return name + "," + ip + "," + std::to_string(port) + ",N,N,0,\r\n";
    }

    void layOut(bool withProgramB = true)
    {
        layOutInstallation(dir, envNo, "console=127.0.0.1\r\n", withProgramB);
    }

    // Starts both programs (a status file every 50 ms) and waits for their status files.
    void startPrograms()
    {
        auto start = [&](const char *program, std::unique_ptr<ChildProcess> &slot) {
            const std::vector<std::string> fast = {"--interval-ms", "50"};
            slot = std::make_unique<ChildProcess>(dir / program, fast, dir.path(),
                                                  dir / (std::string(program) + ".out"));
        };
        start("Tarvo_ASHR.exe", programA);
        start("Tarvo_BSHR.exe", programB);
        ASSERT_TRUE(waitUntil([&] {
            return fs::exists(dir / "monitor/ASHR_status.txt") &&
                   fs::exists(dir / "monitor/BSHR_status.txt");
        }));
    }

    // Starts the agent on the host's address (on its earlier port when it had one) and waits
    // until it listens. Readiness comes from its log, not from a probe connection, so the
    // console is the agent's only client.
    void startAgent(std::vector<std::string> extra = {})
    {
        if (port == 0)
            port = freePort();
        const std::string listening = "listening on " + ip + ":" + std::to_string(port);
        const size_t before = count(agentLog(), listening);
        std::vector<std::string> args = {"--dir", dir.path(), "--ini",
                                         dir / "TarvoMonitorAgent.ini", "--bind", ip,
                                         "--port", std::to_string(port), "--watch-ms", "50"};
        args.insert(args.end(), extra.begin(), extra.end());
        agent = std::make_unique<ChildProcess>(TARVO_AGENT_EXE, args, dir.path(),
                                               dir / "agent.out");
        ASSERT_TRUE(waitUntil([&] { return count(agentLog(), listening) > before; }))
            << readFile(dir / "agent.out") << agentLog();
    }

    // The installation, its programs and its agent.
    void start()
    {
        layOut();
        ASSERT_NO_FATAL_FAILURE(startPrograms());
        ASSERT_NO_FATAL_FAILURE(startAgent());
    }
};

} // namespace tarvo::test
