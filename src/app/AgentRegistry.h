// The connection registry: channel IP -> the host's agent connection; connecting and
// disconnecting hosts by command, and what a connection's opening and closing do to the
// host's row.
#pragma once

#include "app/AgentLinkModel.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tarvo {

class AgentRegistry
{
public:
    using Registry = std::map<std::string, TMMSocketProcessor *, std::less<>>;

    // `callbacks` receives every connection's events; `askStatus` sends a status request
    // to the host of the current host row.
    AgentRegistry(AgentLinksOwner &owner, AgentLinkModel model, AgentConnectionOwner &callbacks,
                  TMMSocketProcessor::Settings connectionSettings,
                  std::function<void()> askStatus);
    ~AgentRegistry();
    AgentRegistry(const AgentRegistry &) = delete;
    AgentRegistry &operator=(const AgentRegistry &) = delete;

    // A lookup inserts an empty entry.
    TMMSocketProcessor *&registryEntry(const std::string &channelIP);
    const Registry &entries() const { return connectionRegistry; }
    // Exit: forgets every entry (the connections live on until the registry goes).
    void clearRegistry() { connectionRegistry.clear(); }
    // Listeners are not owned; each stays until the registry goes.
    void addListener(LinkListener *listener) { listeners.push_back(listener); }
    void removeListener(LinkListener *listener) { std::erase(listeners, listener); }

    // --- commands
    void connectHosts(bool tickedOnly);
    // Connects the host of `channelIP` as the connect command does (and logs as it does);
    // false when the host has no row.
    bool connectHost(const std::string &channelIP);
    void connectCurrentHost();
    void connectSelectedHosts();
    void disconnectCheckedHosts();
    void disconnectSelectedHosts();
    // Closes the current host row's open connection, empties the row and stops the host.
    void disconnectCurrentRow();
    // A host being deleted: its open connection is closed and its waiting commands dropped.
    void dropHost(const std::string &channelIP);
    // The current host row's connection (or none) in `connection`; true when it is open.
    // False without touching `connection` when the host table is empty.
    bool currentConnection(TMMSocketProcessor *&connection);

    // What a connection that failed before is given when the host is connected again.
    enum class AfterFailure { Replace, Retry };
    // Makes sure the host's agent is being connected: a new connection when there is none
    // (or, with Replace, when the last one failed: the failed one falls silent), a
    // reconnect when it is closed.
    void ensureConnecting(const std::string &channelIP, const std::string &port,
                          AfterFailure afterFailure);

    // --- the connections' open and close
    void agentConnected(const std::string &channelIP);
    void agentDisconnected(const std::string &channelIP);

private:
    void clearRowStatus(bool alsoProgramStates);

    AgentLinksOwner &owner;
    AgentLinkModel model;
    AgentConnectionOwner &callbacks;
    TMMSocketProcessor::Settings connectionSettings;
    std::function<void()> askStatus;
    Registry connectionRegistry;
    // Every connection ever made; a replaced one is kept, silent, until the registry goes.
    std::vector<std::unique_ptr<TMMSocketProcessor>> connections;
    std::vector<LinkListener *> listeners;
};

} // namespace tarvo
