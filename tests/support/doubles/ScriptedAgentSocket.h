// An agent socket driven by hand: tests decide when it connects, what arrives and when it
// fails, and read what was written. No network is touched.
#pragma once

#include "comm/AgentSocket.h"

#include <memory>
#include <string>
#include <vector>

namespace tarvo {

class ScriptedAgentSocket : public AgentSocket
{
public:
    // What the test sees of one socket; it outlives the socket, so a test can keep it.
    struct Script
    {
        std::vector<std::string> opens;   // "host:port" of every open()
        std::string written;              // every byte written
        std::vector<std::string> writes;  // each write
        int closes = 0;
        bool detached = false;
        bool active = false;
        std::string incoming;             // waiting to be read
        std::string writeFailure;         // when set, write() fails with it
        Events events;
    };

    explicit ScriptedAgentSocket(std::shared_ptr<Script> script = std::make_shared<Script>())
        : script(std::move(script))
    {
    }

    void setEvents(Events events) override { script->events = std::move(events); }
    void open(const std::string &host, int port) override;
    bool isActive() const override { return script->active; }
    std::string readAll() override;
    std::optional<std::string> write(std::string_view bytes) override;
    void close() override;
    void detach() override;

    const std::shared_ptr<Script> &getScript() const { return script; }

    // What the far side does.
    static void connect(Script &script);
    static void receive(Script &script, std::string_view bytes);
    static void peerClose(Script &script);
    static void fail(Script &script, int code);

private:
    std::shared_ptr<Script> script;
};

} // namespace tarvo
