// A recording owner of agent connections: what the connection logged and called back, and a
// framing rule the test chooses.
#pragma once

#include "comm/Mmsocketprocessor.h"

#include <functional>
#include <string>
#include <vector>

namespace tarvo::test {

struct RecordingOwner : AgentConnectionOwner
{
    int processReceived(const std::string &ip, std::string_view text) override
    {
        received.emplace_back(text);
        return frame ? frame(ip, text) : int(text.size());
    }
    void agentConnected(const std::string &ip) override { events.push_back("connected " + ip); }
    void agentDisconnected(const std::string &ip, const std::string &reason) override
    {
        events.push_back("disconnected " + ip + " " + reason);
    }
    void connectionLog(const std::string &text) override { log.push_back(text); }
    void connectionEvent(const std::string &text) override { errorList.push_back(text); }
    bool isDebugLogging() const override { return debug; }

    std::function<int(const std::string &, std::string_view)> frame;
    std::vector<std::string> received;
    std::vector<std::string> events;
    std::vector<std::string> log;
    std::vector<std::string> errorList;
    bool debug = false;
};

} // namespace tarvo::test
