// Reading an order-submission program's status file into its record and PBUs.
#include "agent/OesStatusFile.h"

#include "host/StatusNames.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"
#include "protocol/Convert.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace tarvo {

namespace {

const std::string RUNNING = statusNames[3];

// The number formed by the leading digits; 0 when there are none.
long leadingNumber(std::string_view text)
{
    long value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || value < 0)
        return 0;
    (void)ptr;
    return value;
}

} // namespace

std::vector<long> numberedSections(const IniFile &ini, std::string_view prefix, long count)
{
    std::vector<long> result;
    for (const std::string &name : ini.sections()) {
        if (name.size() <= prefix.size() ||
            !equalsIgnoreCase(std::string_view(name).substr(0, prefix.size()), prefix))
            continue;
        std::string_view digits = std::string_view(name).substr(prefix.size());
        if (digits[0] == '0' ||
            !std::all_of(digits.begin(), digits.end(),
                         [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            continue;
        long k = 0;
        auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), k);
        (void)ptr;
        if (ec == std::errc() && k >= 1 && k <= count)
            result.push_back(k);
    }
    std::sort(result.begin(), result.end());
    return result;
}

OesStatusFile::OesStatusFile(std::string statusFile) : statusFile(std::move(statusFile)) {}

int64_t OesStatusFile::parseStatusTime(std::string_view text)
{
    if (text.size() < 17)
        return 0;
    auto part = [&](size_t start, size_t length) { return tryToInt(text.substr(start, length)); };
    auto year = part(0, 4), month = part(4, 2), day = part(6, 2);
    auto hour = part(9, 2), minute = part(12, 2), second = part(15, 2);
    if (!year || !month || !day || !hour || !minute || !second)
        return 0;
    auto ms = localTimeToEpochMs(LocalTime{*year, *month, *day, *hour, *minute, *second});
    return ms ? *ms : 0;
}

std::string OesStatusFile::readStatusFile(const std::string &name, std::string &type,
                                          std::string &version, std::string &warningLevel,
                                          std::string oesStatus,
                                          std::vector<std::unique_ptr<Pbu>> &pbus) const
{
    IniFile ini = IniFile::load(statusFile);
    return readStatusText(ini, name, type, version, warningLevel, oesStatus, pbus);
}

std::string OesStatusFile::readStatusText(const IniFile &ini, const std::string &name,
                                          std::string &type, std::string &version,
                                          std::string &warningLevel,
                                          const std::string &oesStatus,
                                          std::vector<std::unique_ptr<Pbu>> &pbus)
{
    if (!ini.exists() || parseStatusTime(ini.readString("TIME", "Time")) == 0)
        return "FAIL";

    const bool running = oesStatus == RUNNING;
    version = ini.readString("OESStatus", "OESVersion");
    type = ini.readString("OESStatus", "OESType");
    long total = leadingNumber(ini.readString("OESStatus", "OperatorTotal"));
    warningLevel = running ? ini.readString("OESStatus", "WarningLevel", "0") : "0";

    std::vector<Pbu> reported;
    for (long i : numberedSections(ini, "OperatorStatus.", total)) {
        const std::string section = "OperatorStatus." + std::to_string(i);
        Pbu pbu(name, ini.readString(section, "Operator"));
        pbu.setOesType(type);
        pbu.setPbuStatus(ini.readString(section, "Status", "0"));
        pbu.setWarningLevel(running ? ini.readString(section, "WarningLevel", "0") : "0");
        if (running && pbu.getPbuStatus() == "3") {
            pbu.setPbuBidNumber(ini.readString(section, "OrdNumSubmitted"));
            pbu.setPbuResponseNumber(ini.readString(section, "OrdNumConfirmed"));
            pbu.setPbuTradeNumber(ini.readString(section, "TradeNumber"));
            pbu.setMaxOrderNumber(ini.readString(section, "MaxOrderNumber"));
            pbu.setCsIP(ini.readString(section, "CSIP"));
            pbu.setHostExtIP(ini.readString(section, "LocalIP"));
            pbu.setCapability(ini.readString(section, "Capability"));
            pbu.setWork(ini.readString(section, "Work"));
        }
        reported.push_back(std::move(pbu));
    }

    for (auto &configured : pbus) {
        auto match = std::find_if(reported.begin(), reported.end(), [&](const Pbu &p) {
            return p.getOperatorNumber() == configured->getOperatorNumber();
        });
        if (match == reported.end())
            continue;
        configured->setOesType(match->getOesType());
        configured->setPbuStatus(match->getPbuStatus());
        configured->setPbuBidNumber(match->getPbuBidNumber());
        configured->setPbuResponseNumber(match->getPbuResponseNumber());
        configured->setPbuTradeNumber(match->getPbuTradeNumber());
        configured->setMaxOrderNumber(match->getMaxOrderNumber());
        configured->setCsIP(match->getCsIP());
        configured->setHostExtIP(match->getHostExtIP());
        configured->setCapability(match->getCapability());
        configured->setWork(match->getWork());
        configured->setWarningLevel(match->getWarningLevel());
    }
    return "OK";
}

} // namespace tarvo
