// The automatic reconnect: back-off with jitter, bounded.
#include "app/AutoReconnect.h"

#include "app/LinkStats.h"
#include "host/HostSubjectPool.h"

#include <algorithm>
#include <cstdlib>

namespace tarvo {

AutoReconnect::AutoReconnect(AgentLinks &agentLinks, HostSubjectPool &hostPool,
                             Settings reconnectSettings, LinkStats *linkStats)
    : links(agentLinks), pool(hostPool), settings(std::move(reconnectSettings)), stats(linkStats)
{
    links.registry().addListener(this);
    if (settings.startTimer) {
        timer.setInterval(1000);
        connect(&timer, &QTimer::timeout, this, [this] { tick(); });
        timer.start();
    }
}

double AutoReconnect::now() const { return settings.nowMs ? settings.nowMs() : wallClockMs(); }

void AutoReconnect::schedule(HostState &state)
{
    const int bound = std::max(settings.boundMs, kLeastGapMs);
    if (state.delayMs <= 0)
        state.delayMs = std::min(settings.firstMs, bound);
    // Jitter: somewhere in the upper half of the delay, never below the connection's guard.
    const unsigned draw = settings.random ? settings.random() : unsigned(std::rand());
    const int half = state.delayMs / 2;
    const int delay = std::max(kLeastGapMs, state.delayMs - (half > 0 ? int(draw % unsigned(half + 1)) : 0));
    state.dueMs = now() + delay;
    state.delayMs = std::min(bound, state.delayMs * 2);
}

void AutoReconnect::tick()
{
    // The pool may change under a connect (a host list saved, a row added): names first.
    // The pool, the states and the registry are all ordered by address: one walk through the
    // three instead of two look-ups per host, at every second, for thousands of hosts.
    std::vector<std::string> due;
    const AgentRegistry::Registry &entries = links.registry().entries();
    auto entry = entries.begin();
    auto stateAt = hosts.begin();
    for (const auto &[ip, host] : pool) {
        while (stateAt != hosts.end() && stateAt->first < ip)
            ++stateAt;
        if (stateAt == hosts.end() || stateAt->first != ip)
            stateAt = hosts.emplace_hint(stateAt, ip, HostState{});
        HostState &state = stateAt->second;
        if (state.byCommand)
            continue;
        while (entry != entries.end() && entry->first < ip)
            ++entry;
        if (entry != entries.end() && entry->first == ip && entry->second &&
            entry->second->isOpen()) {
            state.delayMs = 0;
            state.dueMs = -1;
            continue;
        }
        if (state.dueMs < 0) {
            schedule(state);  // never connected, or the loss was not seen: the first delay
            continue;
        }
        if (now() >= state.dueMs)
            due.push_back(ip);
    }
    for (const std::string &ip : due) {
        HostState &state = hosts[ip];
        state.attempted = true;
        ++attemptCount;
        schedule(state);
        links.registry().connectHost(ip);
    }
}

void AutoReconnect::linkOpened(const std::string &channelIP)
{
    HostState &state = hosts[channelIP];
    if (state.attempted && stats)
        stats->countReconnect(channelIP);
    state = HostState{};
}

void AutoReconnect::linkLost(const std::string &channelIP)
{
    HostState &state = hosts[channelIP];
    if (state.byCommand)
        return;
    state.delayMs = 0;
    schedule(state);
}

void AutoReconnect::linkClosedByCommand(const std::string &channelIP)
{
    hosts[channelIP].byCommand = true;
}

} // namespace tarvo
