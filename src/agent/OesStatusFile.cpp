// Reading an order-submission program's status file into its record and PBUs.
#include "agent/OesStatusFile.h"

#include "agent/AgentLog.h"
#include "host/StatusNames.h"
#include "platform/Clock.h"
#include "platform/IniFile.h"
#include "protocol/Convert.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <unordered_map>

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

std::string OesStatusFile::cleanValue(std::string_view text, size_t limit)
{
    size_t end = 0;
    while (end < text.size()) {
        // A GBK lead byte (0x81-0xFE) and its trail byte stay together.
        const auto byte = static_cast<unsigned char>(text[end]);
        const size_t width = byte >= 0x81 && byte <= 0xFE && end + 1 < text.size() ? 2 : 1;
        if (end + width > limit)
            break;
        end += width;
    }
    std::string value(text.substr(0, end));
    for (char &c : value)
        if (c == '\x01')
            c = ' ';
    return value;
}

std::string OesStatusFile::readStatusFile(const std::string &name, std::string &type,
                                          std::string &version, std::string &warningLevel,
                                          std::string oesStatus,
                                          std::vector<std::unique_ptr<Pbu>> &pbus) const
{
    std::string problem;
    IniFile ini = IniFile::load(statusFile, MAX_FILE_BYTES, &problem, SETTLING);
    if (problem != lastProblem) {
        if (!problem.empty())
            AgentLog::warning("status file " + statusFile + " " + problem +
                              ": not read, the program's record keeps its last values");
        else if (ini.exists())
            AgentLog::info("status file " + statusFile + " read again");
        lastProblem = problem;
    }
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
    // Values travel in the status answer: bounded, and without the field separator.
    auto read = [&ini](const std::string &section, const char *key, const char *fallback = "") {
        return cleanValue(ini.readString(section, key, fallback));
    };
    version = read("OESStatus", "OESVersion");
    type = read("OESStatus", "OESType");
    long total = leadingNumber(ini.readString("OESStatus", "OperatorTotal"));
    warningLevel = running ? read("OESStatus", "WarningLevel", "0") : "0";

    // Operator number -> the first section that reports it. Only configured operators are
    // kept: the others would be dropped when matched, so they are not built at all.
    std::unordered_map<std::string, size_t> firstReported;
    for (const auto &configured : pbus)
        firstReported.try_emplace(configured->getOperatorNumber(), SIZE_MAX);
    std::vector<Pbu> reported;
    for (long i : numberedSections(ini, "OperatorStatus.", total)) {
        const std::string section = "OperatorStatus." + std::to_string(i);
        auto slot = firstReported.find(ini.readString(section, "Operator"));
        if (slot == firstReported.end() || slot->second != SIZE_MAX)
            continue;
        slot->second = reported.size();
        Pbu &pbu = reported.emplace_back(name, slot->first);
        pbu.setOesType(type);
        pbu.setPbuStatus(read(section, "Status", "0"));
        pbu.setWarningLevel(running ? read(section, "WarningLevel", "0") : "0");
        if (running && pbu.getPbuStatus() == "3") {
            pbu.setPbuBidNumber(read(section, "OrdNumSubmitted"));
            pbu.setPbuResponseNumber(read(section, "OrdNumConfirmed"));
            pbu.setPbuTradeNumber(read(section, "TradeNumber"));
            pbu.setMaxOrderNumber(read(section, "MaxOrderNumber"));
            pbu.setCsIP(read(section, "CSIP"));
            pbu.setHostExtIP(read(section, "LocalIP"));
            pbu.setCapability(read(section, "Capability"));
            pbu.setWork(read(section, "Work"));
        }
    }

    for (auto &configured : pbus) {
        auto found = firstReported.find(configured->getOperatorNumber());
        if (found->second == SIZE_MAX)
            continue;
        const Pbu *match = &reported[found->second];
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
