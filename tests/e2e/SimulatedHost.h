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
    int port = 0;  // the agent's, from its first start on (the system chooses it)
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

    // Starts the agent on the host's address and waits until it listens: at its first start on
    // the port the system chooses (port 0), later on that port again. Readiness and the port
    // come from its log, not from a probe connection, so the console is the agent's only
    // client; a port looked for and bound later would race the other tests.
    void startAgent(std::vector<std::string> extra = {})
    {
        const std::string listening = "listening on " + ip + ":";
        const size_t before = count(agentLog(), listening);
        std::vector<std::string> args = {"--dir", dir.path(), "--ini",
                                         dir / "TarvoMonitorAgent.ini", "--bind", ip,
                                         "--port", std::to_string(port), "--watch-ms", "50"};
        args.insert(args.end(), extra.begin(), extra.end());
        agent = std::make_unique<ChildProcess>(TARVO_AGENT_EXE, args, dir.path(),
                                               dir / "agent.out");
        int logged = 0;
        ASSERT_TRUE(waitUntil([&] {
            return (logged = portOfLine(agentLog(), listening, before + 1)) != 0;
        })) << readFile(dir / "agent.out") << agentLog();
        ASSERT_TRUE(port == 0 || port == logged) << logged;
        port = logged;
    }

    // The installation, its programs and its agent.
    void start()
    {
        layOut();
        ASSERT_NO_FATAL_FAILURE(startPrograms());
        ASSERT_NO_FATAL_FAILURE(startAgent());
    }

private:
    // The port behind the `nth` (1-based) `head` in `log`; 0 while there is none.
    static int portOfLine(const std::string &log, const std::string &head, size_t nth)
    {
        size_t at = std::string::npos;
        for (size_t seen = 0; seen < nth; ++seen) {
            at = log.find(head, at == std::string::npos ? 0 : at + 1);
            if (at == std::string::npos)
                return 0;
        }
        int found = 0;
        for (at += head.size(); at < log.size() && log[at] >= '0' && log[at] <= '9'; ++at)
            found = found * 10 + (log[at] - '0');
        return found;
    }
};

} // namespace tarvo::test
