// Observable hosts and the pool that owns them.
#include "host/HostSubject.h"
#include "host/HostSubjectPool.h"

#include <algorithm>

namespace tarvo {

HostSubject::HostSubject(Host &templateHost)
    : Host(templateHost.getHostName(), templateHost.getChannelIP(), templateHost.getPort(),
           templateHost.getOesAExist(), templateHost.getOesBExist())
{
    pbuList = std::move(templateHost.getPbuList());
    templateHost.getPbuList().clear();
}

HostSubject::HostSubject(std::string hostName, std::string channelIP, std::string port)
    : Host(std::move(hostName), std::move(channelIP), std::move(port), "N", "N")
{
}

HostSubject::~HostSubject() = default;

void HostSubject::attach(HostObserver *observer) { observers.push_back(observer); }

void HostSubject::notify()
{
    // An observer may attach another one while being told; iterate by index.
    for (size_t i = 0; i < observers.size(); ++i)
        observers[i]->update(*this);
}

HostSubjectPool::~HostSubjectPool() = default;

HostSubject *HostSubjectPool::find(std::string_view channelIP) const
{
    auto it = hosts.find(channelIP);
    return it == hosts.end() ? nullptr : it->second.get();
}

bool HostSubjectPool::add(std::unique_ptr<HostSubject> &subject)
{
    if (!subject)
        return false;
    auto [it, inserted] = hosts.try_emplace(subject->getChannelIP());
    if (!inserted)
        return false;
    it->second = std::move(subject);
    HostSubject &host = *it->second;
    for (HostAdder *adder : adders)
        adder->update(host);
    return true;
}

bool HostSubjectPool::remove(HostSubject *subject)
{
    auto it = std::find_if(hosts.begin(), hosts.end(),
                           [subject](const auto &entry) { return entry.second.get() == subject; });
    if (it == hosts.end())
        return false;
    for (HostRemover *remover : removers)
        remover->update(*subject);
    hosts.erase(it);
    return true;
}

} // namespace tarvo
