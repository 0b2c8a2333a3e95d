// The registry of watched hosts, keyed by channel IP, that owns them.
#pragma once

#include "host/HostObservers.h"
#include "host/HostSubject.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// Hosts ordered by channel IP in plain byte order (so 10.0.0.10 sorts before 10.0.0.2).
// A host is stored under its own channel IP, which must not change while it is stored.
class HostSubjectPool
{
public:
    using Map = std::map<std::string, std::unique_ptr<HostSubject>, std::less<>>;

    HostSubjectPool() = default;
    ~HostSubjectPool();
    HostSubjectPool(const HostSubjectPool &) = delete;
    HostSubjectPool &operator=(const HostSubjectPool &) = delete;

    // The host stored under exactly this address, or nullptr.
    HostSubject *find(std::string_view channelIP) const;
    // Takes the host when its address is free and tells every adder, in registration
    // order; returns true. When the address is taken, returns false and leaves `subject`
    // with the caller.
    bool add(std::unique_ptr<HostSubject> &subject);
    // Tells every remover while the host is still stored, then deletes it; false when
    // this very object is not in the pool.
    bool remove(HostSubject *subject);

    // Adders and removers are not owned.
    void addAdder(HostAdder *adder) { adders.push_back(adder); }
    void addRemover(HostRemover *remover) { removers.push_back(remover); }

    size_t size() const { return hosts.size(); }
    Map::const_iterator begin() const { return hosts.begin(); }
    Map::const_iterator end() const { return hosts.end(); }
    // The first host whose address sorts at or after `channelIP`.
    Map::const_iterator lowerBound(std::string_view channelIP) const
    {
        return hosts.lower_bound(channelIP);
    }

private:
    Map hosts;
    std::vector<HostAdder *> adders;
    std::vector<HostRemover *> removers;
};

} // namespace tarvo
