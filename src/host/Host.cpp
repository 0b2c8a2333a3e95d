// Applying status packages to a host, its disconnected state and its input checks.
#include "host/Host.h"

#include "platform/InetAddress.h"
#include "protocol/AssignText.h"
#include "protocol/Convert.h"
#include "protocol/Field.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

namespace tarvo {
namespace {

std::string pbuKey(std::string_view oesName, std::string_view operatorNumber)
{
    std::string key;
    key.reserve(oesName.size() + 1 + operatorNumber.size());
    key += oesName;
    key += '\x01';
    key += operatorNumber;
    return key;
}

} // namespace

Host::Host() : hostStatus(statusNames[0]) {}

Host::Host(std::string hostName, std::string channelIP, std::string port, std::string oesAExist,
           std::string oesBExist)
    : hostName(std::move(hostName))
    , channelIP(std::move(channelIP))
    , port(std::move(port))
    , hostStatus(statusNames[0])
    , oesAExist(std::move(oesAExist))
    , oesBExist(std::move(oesBExist))
{
}

Host::~Host() = default;

std::string Host::validateHost() const
{
    const uint32_t address = inetAddr(channelIP);
    if (address == 0 || address == INET_ADDR_NONE)
        return "IP地址有误";
    if (port.empty())
        return "请输入端口";
    return {};
}

void Host::updateOes(std::string_view oesPackage)
{
    // A plainly written package goes straight into the two slots (the A-share and the
    // B-share program, oesIndexOf of their names).
    if (oesList.size() >= 2 && Oes::readPlainPair(oesPackage, *oesList[0], *oesList[1])) {
        assignText(oesAExist, oesList[0]->getOesExist().data(), oesList[0]->getOesExist().size());
        assignText(oesBExist, oesList[1]->getOesExist().data(), oesList[1]->getOesExist().size());
        return;
    }
    // Otherwise both items are read first, so that a short or broken package cannot leave
    // the host with fewer than its two program slots.
    // Read into scratch records kept by the thread, so that a poll allocates nothing here.
    thread_local Oes a;
    thread_local Oes b;
    size_t position = 1;
    if (position > oesPackage.size())
        throw std::runtime_error("OES package holds no record, two expected");
    a.readItem(oesPackage, position);
    if (position > oesPackage.size())
        throw std::runtime_error("OES package holds one record, two expected");
    b.readItem(oesPackage, position);

    if (oesList.size() < 2) {
        clearOes();
        oesList.push_back(std::make_unique<Oes>(a));
        oesList.push_back(std::make_unique<Oes>(b));
    } else {
        // The slots of the A-share and the B-share program (oesIndexOf of their names).
        oesList[0]->assign(a);
        oesList[1]->assign(b);
    }
    oesAExist = oesList[0]->getOesExist();
    oesBExist = oesList[1]->getOesExist();
}

void Host::updatePbus(std::string_view pbuPackage)
{
    std::erase_if(pbuList, [](const std::unique_ptr<Pbu> &p) { return p->stale; });
    for (auto &pbu : pbuList)
        pbu->stale = true;

    // Each item replaces the first record of its (program, operator) not yet replaced; a
    // replaced record leaves a null slot that is squeezed out at the end, keeping the order
    // of the others. Agents list their PBUs in the same order every time, so the record
    // after the last one replaced is tried first; only when that guess fails are the
    // records indexed.
    struct Positions
    {
        std::vector<size_t> at;
        size_t next = 0;
    };
    std::unordered_map<std::string, Positions> index;
    bool indexed = false;
    size_t guess = 0;
    const size_t original = pbuList.size();
    auto buildIndex = [&] {
        indexed = true;
        index.reserve(pbuList.size() * 2 + 8);
        for (size_t i = 0; i < pbuList.size(); ++i) {
            if (pbuList[i])
                index[pbuKey(pbuList[i]->getOesName(), pbuList[i]->getOperatorNumber())]
                    .at.push_back(i);
        }
    };

    auto squeeze = [this] {
        std::erase_if(pbuList, [](const std::unique_ptr<Pbu> &p) { return !p; });
    };
    // A replaced record is read into again for the next item instead of being freed; the
    // last one is kept by the thread for the next package.
    thread_local std::unique_ptr<Pbu> kept;
    std::unique_ptr<Pbu> spare = std::move(kept);
    try {
        size_t position = 1;
        while (position <= pbuPackage.size()) {
            std::unique_ptr<Pbu> pbu = spare ? std::move(spare) : std::make_unique<Pbu>();
            pbu->resetDisplayState();
            pbu->readItem(pbuPackage, position);
            size_t namesake = pbuList.size();
            if (!indexed && guess < original && pbuList[guess] &&
                pbuList[guess]->getOesName() == pbu->getOesName() &&
                pbuList[guess]->getOperatorNumber() == pbu->getOperatorNumber()) {
                namesake = guess++;
            } else {
                if (!indexed)
                    buildIndex();
                Positions &same = index[pbuKey(pbu->getOesName(), pbu->getOperatorNumber())];
                if (same.next < same.at.size())
                    namesake = same.at[same.next++];
                same.at.push_back(pbuList.size());
            }
            if (namesake < pbuList.size())
                spare = std::move(pbuList[namesake]);
            pbuList.push_back(std::move(pbu));
        }
    } catch (...) {
        squeeze();
        throw;
    }
    kept = std::move(spare);
    squeeze();
}

void Host::setStopped()
{
    hostStatus = statusNames[1];
    for (auto &oes : oesList)
        oes->setOesStatus(statusNames[0]);
    for (auto &pbu : pbuList)
        pbu->setPbuStatus("0");
}

Pbu *Host::findPbu(const PbuList &list, std::string_view oesName, std::string_view operatorNumber)
{
    for (const auto &pbu : list)
        if (pbu && pbu->getOesName() == oesName && pbu->getOperatorNumber() == operatorNumber)
            return pbu.get();
    return nullptr;
}

bool countThreshold(int32_t &counter, std::string_view usage, int limit, bool inclusive,
                    unsigned intervalMs)
{
    if (usage.empty())
        return false;
    const std::optional<int32_t> v = tryToInt(usage);
    if (!v)
        return false;
    const bool beyond = inclusive ? *v >= limit : *v > limit;
    if (!beyond) {
        counter = 0;
        return false;
    }
    ++counter;
    const unsigned samples = 60000u / std::max(intervalMs, 1u);
    if (unsigned(counter) < samples)
        return false;
    counter = 0;
    return true;
}

} // namespace tarvo
