// A console with scripted agent sockets and an injected clock, and builders of the agents'
// messages, for the tests of connecting, polling and message handling.
#pragma once

#include "TestSupport.h"
#include "app/Fmain.h"
#include "doubles/ScriptedAgentSocket.h"
#include "doubles/ScriptedDialogs.h"
#include "protocol/MessageBodies.h"
#include "../host/PackageBuilders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace tarvo::test {

using Script = ScriptedAgentSocket::Script;

// Two hosts on one port of two loopback addresses.
inline const char *const kTwoHosts =
    "h1,127.0.0.1,10012,N,N,0,\r\nh2,127.0.0.2,10012,N,N,0,\r\n";

// A message as an agent writes it.
inline std::string agentMessage(const std::string &sequence, std::unique_ptr<MessageBody> body,
                                const std::string &version = PROTOCOL_VERSION,
                                const std::string &orientation = "S")
{
    Message message(version, orientation, sequence, std::move(body));
    return message.encode();
}

inline std::string programs(const std::string &a = "运行", const std::string &b = "运行")
{
    using namespace tarvo::testing;
    return package({oes("Y", OES_NAME_A, a, "VA-1"), oes("Y", OES_NAME_B, b, "VB-1")});
}

inline std::unique_ptr<MessageBody> statusBody(const std::vector<Pbu> &pbus,
                                               const std::string &cpu = "10",
                                               const std::string &envNo = "00",
                                               const std::string &oesPackage = programs())
{
    return std::make_unique<StatusResponseMessageBody>(
        "正常运行", "2009-06-01 09:05:03 ", cpu, "20", "30", envNo, oesPackage,
        tarvo::testing::package(pbus));
}

inline std::unique_ptr<MessageBody> logBody(const std::string &records)
{
    return std::make_unique<LogMessageBody>(records);
}

class AgentConsole : public ::testing::Test
{
protected:
    // The hosts of the list get scripted sockets in host list order (ascending address).
    std::unique_ptr<TF_Main> start(const std::string &hostList, const std::string &ini = "")
    {
        writeFile(dir.file("TarvoMonitor.CFG"), hostList);
        MainOptions options;
        options.workingDirectory = dir.path();
        if (!ini.empty()) {
            writeFile(dir.file("TarvoMonitor.ini"), ini);
            options.settingsPath = dir.file("TarvoMonitor.ini");
        }
        if (!realDialogs)
            options.dialogs = &boxes;
        options.clock = [this] { return today; };
        options.random = [] { return 1234u; };
        options.startThreads = false;
        options.confirmExit = realDialogs;
        options.connections.makeSocket = [this] {
            auto socket = std::make_unique<ScriptedAgentSocket>();
            sockets.push_back(socket->getScript());
            return socket;
        };
        options.connections.nowMs = [this] { return now; };
        return std::make_unique<TF_Main>(options);
    }

    // The sequence of the last request written on a socket.
    static std::string lastSequence(const Script &script)
    {
        EXPECT_FALSE(script.writes.empty());
        if (script.writes.empty())
            return {};
        Message request;
        EXPECT_GT(request.decode(script.writes.back()), 0);
        return request.getSequence();
    }

    // The agent answers the last request with a status response.
    static void answer(Script &script, const std::vector<Pbu> &pbus, const std::string &cpu = "10",
                       const std::string &envNo = "00")
    {
        ScriptedAgentSocket::receive(script,
                                     agentMessage(lastSequence(script), statusBody(pbus, cpu, envNo)));
    }

    std::vector<std::string> logLines() const
    {
        std::vector<std::string> lines;
        std::istringstream in(readFile(dir.file("logs/MonitorLog_2009-06-01.log")));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line.substr(0, line.size() - 1));  // without the CR
        return lines;
    }

    bool logged(const std::string &text) const
    {
        for (const std::string &line : logLines())
            if (line == kStamp + text)
                return true;
        return false;
    }

    static bool listed(const TF_Main &window, const std::string &text)
    {
        for (const std::string &line : window.errorList().lines())
            if (line == kStamp + text)
                return true;
        return false;
    }

    static std::string field(TF_Main &window, const std::string &ip, const std::string &name)
    {
        RecordSet &hosts = window.hostTable();
        const int row = [&] {
            for (int i = 0; i < hosts.count(); ++i)
                if (hosts.valueAt(i, "ChannelIP") == ip)
                    return i;
            return -1;
        }();
        EXPECT_GE(row, 0) << ip;
        return row < 0 ? std::string() : hosts.valueAt(row, name);
    }

    static int pbuRows(const TF_Main &window, const std::string &ip)
    {
        return int(window.pbuTable().findAll("HostIp", ip).size());
    }

    static inline const std::string kStamp = "2009-06-01 09:05:03 ";
    // The console's local time: kStamp unless a test moves it.
    LocalTime today{2009, 6, 1, 9, 5, 3};
    WorkDir dir;
    // Qt's own message boxes and dialogs, shown modally, and the exit confirmation.
    bool realDialogs = false;
    ScriptedDialogs boxes;
    std::vector<std::shared_ptr<Script>> sockets;
    double now = 5'000'000;
};

} // namespace tarvo::test
