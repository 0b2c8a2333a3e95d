// Loading the agent's configuration and building the two program communicators.
#include "agent/AgentConfig.h"

#include "agent/LogText.h"
#include "host/HostAddress.h"
#include "host/StatusNames.h"
#include "platform/Files.h"
#include "platform/IniFile.h"
#include "protocol/Convert.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace tarvo {

namespace {

std::unique_ptr<AgentConfig> &instanceSlot()
{
    static std::unique_ptr<AgentConfig> slot;
    return slot;
}

std::string &iniPathSlot()
{
    static std::string path;
    return path;
}

std::string missingExecutableText(char share)
{
    const std::string s(1, share);
    return "无法找到" + s + "股报盘程序启动文件。" + "请检查Tarvo_" + s + "SHR.exe是否存在，" +
           "或者将TarvoMonitorAgent.ini中的" + "\"" + s + "股报盘程序" + "\"" + "项置为N。";
}

// How the profile functions read a [PORT] port value: a whole number (optional sign and
// digits), leading digits followed by something else, nothing, or no number at all.
enum class PortText { Whole, Empty, LeadingDigits, NotANumber };

PortText classifyPort(std::string_view text)
{
    if (text.empty())
        return PortText::Empty;
    const size_t first = text[0] == '+' || text[0] == '-' ? 1 : 0;
    size_t end = first;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9')
        ++end;
    if (end == first)
        return PortText::NotANumber;
    return end == text.size() ? PortText::Whole : PortText::LeadingDigits;
}

} // namespace

AgentConfig::AgentConfig(std::string path)
    : agentIniPath(std::move(path)), processList(std::make_shared<SystemProcessList>())
{
}

AgentConfig::~AgentConfig() = default;

AgentConfig &AgentConfig::instance()
{
    auto &slot = instanceSlot();
    if (!slot)
        slot = std::make_unique<AgentConfig>(iniPath());
    if (!slot->loaded)
        slot->load();
    return *slot;
}

void AgentConfig::resetInstance()
{
    instanceSlot().reset();
}

void AgentConfig::setIniPath(std::string path)
{
    iniPathSlot() = std::move(path);
}

std::string AgentConfig::iniPath()
{
    if (!iniPathSlot().empty())
        return iniPathSlot();
    return replaceExtension(executablePath(), ".ini");
}

void AgentConfig::setProcessList(std::shared_ptr<const ProcessList> list)
{
    processList = std::move(list);
}

std::string AgentConfig::describePort() const
{
    if (!portText)
        return "the default: [PORT] port is not set";
    switch (classifyPort(*portText)) {
    case PortText::Whole:
        return "from [PORT] port";
    case PortText::Empty:
        return "the default: [PORT] port is empty";
    case PortText::NotANumber:
        return "the default: [PORT] port \"" + clipForLog(*portText, 100) + "\" is not a number";
    case PortText::LeadingDigits:
        break;
    }
    return "the leading digits of [PORT] port \"" + clipForLog(*portText, 100) + "\"";
}

std::string AgentConfig::accessControlRefusal() const
{
    if (accessControlProblem.empty())
        return {};
    return "ACCESS_CONTROL cannot be read: " + accessControlProblem + "; every client is refused";
}

std::string AgentConfig::portProblem() const
{
    if (!portText)
        return {};
    switch (classifyPort(*portText)) {
    case PortText::Whole:
        return {};
    case PortText::Empty:
        return "[PORT] port is empty: the default port 10012 is used";
    case PortText::NotANumber:
        return "[PORT] port \"" + clipForLog(*portText, 100) +
               "\" is not a number: the default port 10012 is used";
    case PortText::LeadingDigits:
        break;
    }
    return "[PORT] port \"" + clipForLog(*portText, 100) +
           "\" is not a whole number: its leading digits give port " +
           std::to_string(port);
}

void AgentConfig::load(LogDirectory logDirectory)
{
    loaded = false;
    accessControl.clear();
    accessControlProblem.clear();
    rejectedAddresses.clear();
    communicators.clear();
    envNo.clear();

    IniFile ini = IniFile::load(agentIniPath, IniFile::DEFAULT_MAX_BYTES, &iniProblem);
    logsDir = ini.readString("Tarvo", "logs_dir", nativePath("./logs/"));
    logFile = logsDir + ini.readString("LOG", "name", "TarvoMonitorAgent.log");
    portText.reset();
    if (ini.hasKey("PORT", "port"))
        portText = ini.readString("PORT", "port");
    // Kept within int, so that a huge number stays out of range rather than wrapping.
    port = static_cast<int>(std::clamp<long>(ini.readInt("PORT", "port", 10012),
                                             std::numeric_limits<int>::min(),
                                             std::numeric_limits<int>::max()));
    // Anything but exactly "Y" is "N". (Filled, not copied: GCC 12 warns about a copy of the
    // literal here in optimised builds, wrongly.)
    oesFlagA.assign(1, ini.readString("Tarvo", OES_NAME_A, "N") == "Y" ? 'Y' : 'N');
    oesFlagB.assign(1, ini.readString("Tarvo", OES_NAME_B, "N") == "Y" ? 'Y' : 'N');
    debug = equalsIgnoreCase(ini.readString("Log", "Debug", "OFF"), "ON");

    for (const std::string &key : ini.keys("ACCESS_CONTROL")) {
        std::string value = ini.readString("ACCESS_CONTROL", key);
        const DottedIP ip = readDottedIP(value);
        if (ip.unreadablePart) {
            // A part that is no number is a typo that ends the load, naming the key, the value
            // and the conversion error of that part, rather than an address quietly dropped.
            std::string conversion;
            try {
                (void)toInt(*ip.unreadablePart);
            } catch (const std::invalid_argument &e) {
                conversion = e.what();
            }
            accessControlProblem = "[ACCESS_CONTROL] " + clipForLog(key, 100) + "=" +
                                   clipForLog(value, 100) + " is not an address (" + conversion +
                                   ")";
            throw std::invalid_argument(accessControlProblem);
        }
        if (ip.address == BAD_IP_TEXT)
            rejectedAddresses.push_back(value);
        else
            accessControl.push_back(ip.address);
    }

    baseDir = currentDirectory();
    if (baseDir.empty() || baseDir.back() != PATH_SEPARATOR)
        baseDir += PATH_SEPARATOR;

    const bool logDirectoryUsable = directoryExists(logsDir) ||
                                    (logDirectory == LogDirectory::CheckOnly
                                         ? canCreateDirectories(logsDir)
                                         : createDirectories(logsDir));
    if (!logDirectoryUsable)
        throw std::runtime_error("Cannot create LogFile Directory.");

    configFileA = baseDir + nativePath("cfgA/SystemConfiguration.ini");
    exeFileA = baseDir + "Tarvo_ASHR.exe";
    statusFileA = baseDir + nativePath("monitor/ASHR_status.txt");
    cmdFileA = baseDir + nativePath("monitor/ASHR_cmd.txt");
    cmdResFileA = baseDir + nativePath("monitor/ASHR_cmd_res.txt");
    logDirA = logsDir + nativePath("ASHR/");
    configFileB = baseDir + nativePath("cfgB/SystemConfiguration.ini");
    exeFileB = baseDir + "Tarvo_BSHR.exe";
    statusFileB = baseDir + nativePath("monitor/BSHR_status.txt");
    cmdFileB = baseDir + nativePath("monitor/BSHR_cmd.txt");
    cmdResFileB = baseDir + nativePath("monitor/BSHR_cmd_res.txt");
    logDirB = logsDir + nativePath("BSHR/");

    if (oesFlagA == "Y" && !fileExists(exeFileA))
        throw std::runtime_error(missingExecutableText('A'));
    if (oesFlagB == "Y" && !fileExists(exeFileB))
        throw std::runtime_error(missingExecutableText('B'));

    communicators.push_back(std::make_unique<OesCommunicator>(
        oesFlagA, OES_NAME_A, baseDir, configFileA, exeFileA, statusFileA, cmdFileA,
        cmdResFileA, logDirA));
    communicators.push_back(std::make_unique<OesCommunicator>(
        oesFlagB, OES_NAME_B, baseDir, configFileB, exeFileB, statusFileB, cmdFileB,
        cmdResFileB, logDirB));

    envNo = IniFile::load(baseDir + "tarvo.ini").readString("TARVO", "envNo", "00");
    if (envNo.empty())
        envNo = "00";
    loaded = true;
}

void AgentConfig::refresh()
{
    std::vector<ProcessInfo> processes;
    if (processList)
        processes = processList->snapshot();
    refresh(processes);
}

void AgentConfig::refresh(const std::vector<ProcessInfo> &processes)
{
    for (auto &communicator : communicators)
        communicator->refresh(processes);
}

std::string AgentConfig::getOesPackage() const
{
    std::string package;
    for (const auto &communicator : communicators)
        package += communicator->toString();
    return package;
}

std::string AgentConfig::getPbuPackage() const
{
    std::string package;
    for (const auto &communicator : communicators) {
        for (const auto &pbu : communicator->getPbus())
            package += pbu->toString();
    }
    return package;
}

} // namespace tarvo
