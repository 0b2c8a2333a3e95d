// The agent's network service in this process with fake request executors: the fixture of
// its tests ("Slow" waits for the gate, "Throw" fails, "Unknown" has no answer, "Big" is long).
#pragma once

#include "agent/service/AgentServer.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

namespace tarvo::test {

using namespace std::chrono_literals;

constexpr size_t BIG_RESULT_BYTES = 16000;

class AgentServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        settings.bindAddress = "127.0.0.1";
        settings.port = 0;
        // The clients of these tests come from 127.0.0.1 to 127.0.0.9.
        for (int i = 1; i <= 9; ++i)
            settings.accessControl.push_back("127.0.0." + std::to_string(i));
        settings.timings.heartbeat = 10s;
        settings.timings.incompleteTimeout = 10s;
        settings.timings.watch = 20ms;
        // The rate limits are tested on their own; the other tests ask as fast as they like.
        settings.timings.requestsPerSecond = 100000;
        settings.timings.requestBurst = 100000;
        settings.timings.totalRequestsPerSecond = 100000;
        log.open(logPath());
        StatusRequestMessageBody::setExecutor([](StatusRequestMessageBody &) {
            return std::make_unique<StatusResponseMessageBody>("正常运行", "2009-10-23 14:35:07 ",
                                                               "1", "2", "3", "00", "", "");
        });
        TroubleShootingRequestMessageBody::setExecutor(
            [this](TroubleShootingRequestMessageBody &request) -> std::unique_ptr<MessageBody> {
                const std::string type = request.getShootingType();
                if (type == "Slow") {
                    std::unique_lock lock(gateMutex);
                    slowStarted = true;
                    gateChanged.notify_all();
                    gateChanged.wait(lock, [this] { return gateOpen; });
                }
                if (type == "Throw")
                    throw std::runtime_error("boom");
                if (type == "Unknown")
                    return nullptr;
                if (type == "Big")
                    return std::make_unique<TroubleShootingResponseMessageBody>(
                        request.getServiceType(), type, std::string(BIG_RESULT_BYTES, 'r'));
                // A long check's answer could not be framed: it names the check's length only.
                if (type.size() > 1000)
                    return std::make_unique<TroubleShootingResponseMessageBody>(
                        request.getServiceType(), "", "checked " + std::to_string(type.size()));
                return std::make_unique<TroubleShootingResponseMessageBody>(
                    request.getServiceType(), type, "result of " + type);
            });
    }

    void TearDown() override
    {
        openGate();
        if (server)
            server->stop();
        StatusRequestMessageBody::setExecutor({});
        TroubleShootingRequestMessageBody::setExecutor({});
    }

    void startServer()
    {
        server = std::make_unique<AgentServer>(settings, log);
        ASSERT_EQ(server->start(), "");
        ASSERT_GT(server->port(), 0);
    }

    void openGate()
    {
        std::lock_guard lock(gateMutex);
        gateOpen = true;
        gateChanged.notify_all();
    }

    std::string logPath() const { return dir / "agent.log"; }
    std::string logText() const { return test::readFile(logPath()); }

    // Asks for "AgentVersion" and expects the answer: proof the client is served.
    void expectServed(test::Client &client, const std::string &sequence)
    {
        ASSERT_TRUE(client.send(test::troubleRequest(sequence, "AgentVersion")));
        std::unique_ptr<Message> answer = client.receiveType("20");
        ASSERT_NE(answer, nullptr);
        EXPECT_EQ(answer->getSequence(), sequence);
    }

    test::TempDir dir;
    ServiceSettings settings;
    ServiceLog log;
    std::unique_ptr<AgentServer> server;
    std::mutex gateMutex;
    std::condition_variable gateChanged;
    bool gateOpen = false;
    bool slowStarted = false;
};

} // namespace tarvo::test
