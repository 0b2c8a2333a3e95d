// The scripted agent socket.
#include "doubles/ScriptedAgentSocket.h"

#include <utility>

namespace tarvo {

void ScriptedAgentSocket::open(const std::string &host, int port)
{
    script->opens.push_back(host + ":" + std::to_string(port));
    script->active = false;
}

std::string ScriptedAgentSocket::readAll() { return std::exchange(script->incoming, {}); }

std::optional<std::string> ScriptedAgentSocket::write(std::string_view bytes)
{
    if (!script->writeFailure.empty())
        return script->writeFailure;
    if (!script->active)
        return std::string("Socket is not connected");
    script->written += bytes;
    script->writes.emplace_back(bytes);
    return std::nullopt;
}

void ScriptedAgentSocket::close()
{
    ++script->closes;
    const bool wasActive = script->active;
    script->active = false;
    script->incoming.clear();
    if (wasActive && script->events.disconnected)
        script->events.disconnected();
}

void ScriptedAgentSocket::detach()
{
    script->detached = true;
    script->events = {};
    script->active = false;
}

void ScriptedAgentSocket::connect(Script &script)
{
    script.active = true;
    if (script.events.connected)
        script.events.connected();
}

void ScriptedAgentSocket::receive(Script &script, std::string_view bytes)
{
    script.incoming += bytes;
    if (script.events.readyRead)
        script.events.readyRead();
}

void ScriptedAgentSocket::peerClose(Script &script)
{
    const bool wasActive = script.active;
    script.active = false;
    if (wasActive && script.events.disconnected)
        script.events.disconnected();
}

void ScriptedAgentSocket::fail(Script &script, int code)
{
    if (script.events.error)
        script.events.error(code);
}

} // namespace tarvo
