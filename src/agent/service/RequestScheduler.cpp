// The rate limits of request execution and the order of turns.
#include "agent/service/RequestScheduler.h"

#include <algorithm>

namespace tarvo {

void RequestScheduler::Bucket::refill(ServiceClock::time_point now, double perSecond,
                                      double capacity)
{
    if (now > refilled) {
        const double seconds = std::chrono::duration<double>(now - refilled).count();
        tokens = std::min(capacity, tokens + seconds * perSecond);
        refilled = now;
    }
}

ServiceClock::time_point RequestScheduler::Bucket::readyAt(double perSecond) const
{
    if (tokens >= 1)
        return refilled;
    const auto wait = std::chrono::duration<double>((1 - tokens) / perSecond);
    return refilled + std::chrono::ceil<ServiceClock::duration>(wait);
}

RequestScheduler::RequestScheduler(unsigned perSecond, unsigned burst, unsigned totalPerSecond)
    : m_perSecond(std::max(1u, perSecond)), m_burst(std::max(1u, burst)),
      m_totalPerSecond(std::max(1u, totalPerSecond))
{
}

void RequestScheduler::queued(int client, const std::string &address,
                              ServiceClock::time_point now)
{
    if (!m_totalStarted) {
        m_total = {m_totalPerSecond, now};
        m_totalStarted = true;
    }
    auto [it, added] = m_clients.try_emplace(client);
    if (added) {
        it->second.address = address;
        it->second.bucket = {m_burst, now};
        it->second.lastTurn = m_turns;
        auto [at, first] = m_addresses.try_emplace(address);
        if (first)
            at->second.lastTurn = m_turns;
        ++at->second.clients;
    }
    ++it->second.waiting;
}

void RequestScheduler::forget(int client)
{
    auto found = m_clients.find(client);
    if (found == m_clients.end())
        return;
    auto address = m_addresses.find(found->second.address);
    if (--address->second.clients == 0)
        m_addresses.erase(address);
    m_clients.erase(found);
}

unsigned RequestScheduler::waiting(int client) const
{
    auto found = m_clients.find(client);
    return found == m_clients.end() ? 0 : found->second.waiting;
}

RequestScheduler::Turn RequestScheduler::next(ServiceClock::time_point now)
{
    Turn turn;
    Client *chosen = nullptr;
    Address *chosenAddress = nullptr;
    std::optional<ServiceClock::time_point> firstReady;
    for (auto &[id, client] : m_clients) {
        if (client.waiting == 0)
            continue;
        client.bucket.refill(now, m_perSecond, m_burst);
        if (client.bucket.tokens < 1) {
            const auto ready = client.bucket.readyAt(m_perSecond);
            firstReady = firstReady ? std::min(*firstReady, ready) : ready;
            continue;
        }
        firstReady = now;
        Address &address = m_addresses.at(client.address);
        const bool before =
            !chosen || address.lastTurn < chosenAddress->lastTurn ||
            (&address == chosenAddress && client.lastTurn < chosen->lastTurn);
        if (before) {
            chosen = &client;
            chosenAddress = &address;
            turn.client = id;
        }
    }
    if (!firstReady)
        return turn;
    m_total.refill(now, m_totalPerSecond, m_totalPerSecond);
    if (!chosen || m_total.tokens < 1) {
        turn.client.reset();
        turn.retryAt = std::max(*firstReady, m_total.readyAt(m_totalPerSecond));
        return turn;
    }
    chosen->bucket.tokens -= 1;
    m_total.tokens -= 1;
    --chosen->waiting;
    chosen->lastTurn = chosenAddress->lastTurn = ++m_turns;
    return turn;
}

} // namespace tarvo
