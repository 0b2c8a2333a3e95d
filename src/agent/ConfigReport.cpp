// The configuration report of --check-config: settings found and every problem.
#include "agent/AgentConfig.h"

#include "agent/OesStatusFile.h"
#include "agent/TroubleShooting.h"
#include "platform/Files.h"
#include "platform/IniFile.h"

#include <exception>

namespace tarvo {

namespace {

std::string joined(const std::vector<std::string> &items)
{
    std::string text;
    for (const auto &item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text.empty() ? "(none)" : text;
}

void reportProgram(ConfigReport &report, const OesCommunicator &oes, const std::string &flag)
{
    auto &lines = report.lines;
    lines.push_back(oes.getOesName() + ": watched " + flag);
    lines.push_back("  executable " + oes.getExeFile() +
                    (fileExists(oes.getExeFile()) ? "" : " (missing)"));
    lines.push_back("  configuration " + oes.getConfigFile() +
                    (fileExists(oes.getConfigFile()) ? "" : " (missing)"));
    std::string statusProblem;
    IniFile::load(oes.getStatusFile(), OesStatusFile::MAX_FILE_BYTES, &statusProblem);
    lines.push_back("  status file " + oes.getStatusFile() +
                    (!fileExists(oes.getStatusFile()) ? " (not written yet)"
                     : statusProblem.empty()          ? ""
                                                      : " (" + statusProblem + ": not read)"));
    if (!statusProblem.empty())
        report.problems.push_back(oes.getOesName() + ": status file " + oes.getStatusFile() +
                                  " " + statusProblem + ": not read");
    std::string pbus;
    for (const auto &pbu : oes.getPbus())
        pbus += (pbus.empty() ? "" : " ") + pbu->getOperatorNumber();
    lines.push_back("  PBUs " + std::to_string(oes.getPbus().size()) +
                    (pbus.empty() ? "" : ": " + pbus));
    if (flag != "Y")
        return;
    if (!fileExists(oes.getConfigFile()))
        report.problems.push_back(oes.getOesName() + ": configuration file " +
                                  oes.getConfigFile() + " missing");
    else if (oes.getPbus().empty())
        report.problems.push_back(oes.getOesName() + ": no PBU configured (OperCode of 11 characters)");
}

} // namespace

ConfigReport checkAgentConfiguration(const std::string &iniPath)
{
    ConfigReport report;
    auto &lines = report.lines;
    const bool iniExists = fileExists(iniPath);
    lines.push_back("ini file " + iniPath + (iniExists ? "" : " (missing: defaults used)"));
    if (!iniExists)
        report.problems.push_back("ini file " + iniPath + " missing");

    AgentConfig config(iniPath);
    try {
        config.load(AgentConfig::LogDirectory::CheckOnly);
    } catch (const std::exception &e) {
        report.ok = false;
        report.problems.push_back(std::string("load failed: ") + e.what());
    }
    if (!config.getIniProblem().empty())
        report.problems.push_back("ini file " + iniPath + " " + config.getIniProblem() +
                                  ": not read, defaults used");
    lines.push_back("installation directory " + config.getBaseDir());
    const bool logDirectoryExists = directoryExists(config.getLogsDir());
    lines.push_back("log file " + config.getLogFile() +
                    (logDirectoryExists || config.getLogsDir().empty()
                         ? ""
                         : " (directory missing: the agent creates it at start)"));
    lines.push_back("port " + std::to_string(config.getPort()) + " (" + config.describePort() + ")");
    if (!config.portProblem().empty())
        report.problems.push_back(config.portProblem());
    if (config.getPort() < 1 || config.getPort() > 65535) {
        report.ok = false;
        report.problems.push_back("port " + std::to_string(config.getPort()) + " out of range");
    }
    if (!config.getAccessControlProblem().empty()) {
        lines.push_back("access control unreadable: every client is refused");
        report.problems.push_back(config.accessControlRefusal());
    } else {
        lines.push_back("access control " + joined(config.getAccessControl()));
    }
    if (config.getAccessControlProblem().empty() && config.getAccessControl().empty()) {
        report.admitsNobody = true;
        report.problems.push_back(
            "ACCESS_CONTROL empty: every client is refused; name the consoles' addresses in "
            "[ACCESS_CONTROL]");
    }
    for (const auto &rejected : config.getRejectedAddresses())
        report.problems.push_back("ACCESS_CONTROL value '" + rejected + "' dropped: IP地址有误");
    lines.push_back(std::string("debug ") + (config.getDebug() ? "ON" : "OFF"));
    lines.push_back("envNo " + (config.getEnvNo().empty() ? "(not read)" : config.getEnvNo()));

    const auto &communicators = config.getCommunicators();
    if (communicators.size() == 2) {
        reportProgram(report, *communicators[0], config.getOesFlagA());
        reportProgram(report, *communicators[1], config.getOesFlagB());
    }
    if (iniExists) {
        TroubleShooting shooting([&config]() -> AgentConfig & { return config; }, iniPath);
        std::string content = shooting.checkCfgContent();
        if (!content.empty())
            report.problems.push_back("ini content: " + content);
    }
    for (const auto &problem : report.problems)
        lines.push_back("problem: " + problem);
    return report;
}

} // namespace tarvo
