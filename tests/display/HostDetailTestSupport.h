// A scripted main window for the host detail window's tests: it answers the connection
// steps from a Connection text as the host table would hold it, and sends request steps
// into a real command pool, which the test's "agent" answers with encoded messages.
#pragma once

#include "comm/MessageCommand.h"
#include "comm/MessageCommandPool.h"
#include "display/Fhost.h"
#include "host/HostSubject.h"
#include "protocol/MessageBodies.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <memory>
#include <string>
#include <vector>

namespace tarvo::test {

struct LogEntry
{
    std::string text;
    bool statusBar;
    bool errorList;
    bool operator==(const LogEntry&) const = default;
};

class FakeMainWindow : public HostDetailOwner
{
public:
    void writeLog(const std::string& text, bool showInStatusBar, bool addToErrorList) override
    {
        logs.push_back({text, showInStatusBar, addToErrorList});
    }
    std::string timeStamp() const override { return stamp; }
    int pollPeriodMs() const override { return periodMs; }
    void detailWindowActivated(QWidget* window) override { activated = window; }
    QWidget* mainWindowWidget() const override { return nullptr; }

    // As the main window does it, from the host row's Connection text.
    void runTroubleshootingStep(const std::string& channelIP, const std::string& stepName) override
    {
        steps.push_back(stepName);
        ASSERT_EQ(channelIP, host->getChannelIP());
        if (stepName == failingStep)
            throw std::runtime_error("step failed");
        if (stepName == "AgentStatus") {
            host->setTroubleShootingText(connection == "已连接" ? "" : "正在尝试连接探针...");
            return;
        }
        if (stepName == "AgentStatus1") {
            if (connection == "未连接" || connection == "已断开") {
                host->setTroubleShootingText("探针没有启动或端口设置错误(当前监视界面端口设置为"
                                             + host->getPort() + "，探针端的默认端口为10012)");
                host->troubleShootingPending = false;
            } else if (connection == "已连接") {
                host->setTroubleShootingText("");
                host->troubleShootingPending = false;
            }
            return;
        }
        if (!connectionOpen)
            return;
        const int32_t sequence = sentCount++;
        sequences[stepName] = sequence;
        pool.add(std::make_unique<TroubleShootingCommand>(sequence, channelIP, host));
    }

    // The agent's answer to the latest request of `shootingType`, framed, decoded and
    // dispatched like a received message.
    void agentAnswers(const std::string& shootingType, const std::string& result)
    {
        ASSERT_TRUE(sequences.count(shootingType)) << shootingType << " was never sent";
        Message sent(PROTOCOL_VERSION, "S", std::to_string(sequences[shootingType]),
                     std::make_unique<TroubleShootingResponseMessageBody>(
                         "TroubleShooting", shootingType, result));
        const std::string wire = sent.encode();
        Message received;
        ASSERT_GT(received.decode(wire), 0);
        pool.dispatch(received, host->getChannelIP());
    }

    HostSubject* host = nullptr;
    std::string connection = "已连接";
    std::string failingStep;
    bool connectionOpen = true;
    int periodMs = 5000;
    std::string stamp = "2009-06-01 09:05:03 ";
    std::vector<std::string> steps;
    std::vector<LogEntry> logs;
    QWidget* activated = nullptr;
    MessageCommandPool pool;
    int32_t sentCount = 0;
    std::map<std::string, int32_t> sequences;
};

// A host at 10.0.0.5, port 10013, owning its detail window as the console does.
struct DetailWindowTest : ::testing::Test
{
    DetailWindowTest()
    {
        owner.host = host.get();
        auto made = std::make_unique<TF_HOST>(owner, *host);
        window = made.get();
        host->setDetailWindow(std::move(made));
    }

    std::vector<std::string> lines() const { return window->progressLines(); }
    void status(const std::string& cpu, const std::string& memory, const std::string& disk)
    {
        host->setCpuUsage(cpu);
        host->setMemoryUsage(memory);
        host->setDiskUsage(disk);
        host->notify();
    }

    FakeMainWindow owner;
    std::unique_ptr<HostSubject> host = std::make_unique<HostSubject>("HOST1", "10.0.0.5", "10013");
    TF_HOST* window = nullptr;
};

} // namespace tarvo::test
