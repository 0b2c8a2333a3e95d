// The agent's configuration: its ini file, the installation directory and the two programs.
#pragma once

#include "agent/OesCommunicator.h"
#include "platform/ProcessList.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// Read from the agent ini file (sections "Tarvo", "PORT", "LOG", "ACCESS_CONTROL", "Log"),
// the current directory (the installation directory, `baseDir`) and "tarvo.ini" in it.
// Paths use the system's separator (platform/Files.h: "/" on Linux, "\" on Windows);
// `baseDir` ends in one.
class AgentConfig
{
public:
    // The agent ini file: the executable's path with ".ini" unless set before.
    explicit AgentConfig(std::string path = AgentConfig::iniPath());
    ~AgentConfig();
    AgentConfig(const AgentConfig &) = delete;
    AgentConfig &operator=(const AgentConfig &) = delete;

    // The process-wide configuration, created and loaded by the first call. When a load
    // fails its exception propagates, and the next call loads again (so a repaired
    // installation is picked up without a restart); after a successful load it is
    // returned unchanged.
    static AgentConfig &instance();
    // Discards the process-wide configuration; the next instance() creates a new one.
    static void resetInstance();
    // Sets the agent ini path used by instance() and by the troubleshooting checks;
    // call before the first instance(). An empty path restores the default.
    static void setIniPath(std::string path);
    // The agent ini path in use: the one set, or the executable's path with ".ini".
    static std::string iniPath();

    // What load() does about a missing log directory: the agent creates it; the
    // configuration check only finds out whether it could, and creates nothing.
    enum class LogDirectory { Create, CheckOnly };

    // Reads everything again. Throws std::runtime_error with "Cannot create LogFile
    // Directory." or the missing-executable texts; std::invalid_argument (the integer
    // conversion error) for an ACCESS_CONTROL address with a part that is not a number, its
    // text naming the key and the value (getAccessControlProblem).
    void load(LogDirectory logDirectory = LogDirectory::Create);
    // Refreshes both programs from one snapshot of the process list.
    void refresh();
    void refresh(const std::vector<ProcessInfo> &processes);
    // The two OES records, A-share first; empty before a successful load.
    std::string getOesPackage() const;
    // The configured PBUs of both programs, A-share first.
    std::string getPbuPackage() const;

    // Where refresh() takes its process list from (SystemProcessList by default).
    void setProcessList(std::shared_ptr<const ProcessList> processList);

    bool isLoaded() const { return loaded; }
    // Why the agent ini file could not be read ("is not a regular file (a FIFO)"), in
    // which case every setting has its default; empty when it was read or is missing.
    const std::string &getIniProblem() const { return iniProblem; }
    const std::string &getLogFile() const { return logFile; }
    const std::string &getLogsDir() const { return logsDir; }
    const std::string &getEnvNo() const { return envNo; }
    const std::string &getOesFlagA() const { return oesFlagA; }
    const std::string &getOesFlagB() const { return oesFlagB; }
    const std::string &getBaseDir() const { return baseDir; }
    int getPort() const { return port; }
    // Where the port comes from, for the log and --check-config: "from [PORT] port",
    // "the default: [PORT] port \"abc\" is not a number", ...
    std::string describePort() const;
    // What is wrong with the [PORT] port value (empty, not a number, not only digits);
    // empty when it is a whole number or not set. The port is then still what the
    // profile functions read: the leading digits, or the default 10012 without any.
    std::string portProblem() const;
    const std::vector<std::string> &getAccessControl() const { return accessControl; }
    // Why ACCESS_CONTROL could not be read, naming the key and value ("[ACCESS_CONTROL]
    // ip2=abc.1.2.3 is not an address ('abc' is not a valid integer value)"); empty when it
    // could. The load then failed, and the agent refuses every client.
    const std::string &getAccessControlProblem() const { return accessControlProblem; }
    // The same as the agent says it in its log and in --check-config: "ACCESS_CONTROL cannot
    // be read: " + the problem + "; every client is refused"; empty when it could be read.
    std::string accessControlRefusal() const;
    // ACCESS_CONTROL values dropped by the last load as "IP地址有误".
    const std::vector<std::string> &getRejectedAddresses() const { return rejectedAddresses; }
    const std::string &getConfigFileA() const { return configFileA; }
    const std::string &getExeFileA() const { return exeFileA; }
    const std::string &getStatusFileA() const { return statusFileA; }
    const std::string &getCmdFileA() const { return cmdFileA; }
    const std::string &getCmdResFileA() const { return cmdResFileA; }
    const std::string &getLogDirA() const { return logDirA; }
    const std::string &getConfigFileB() const { return configFileB; }
    const std::string &getExeFileB() const { return exeFileB; }
    const std::string &getStatusFileB() const { return statusFileB; }
    const std::string &getCmdFileB() const { return cmdFileB; }
    const std::string &getCmdResFileB() const { return cmdResFileB; }
    const std::string &getLogDirB() const { return logDirB; }
    const std::vector<std::unique_ptr<OesCommunicator>> &getCommunicators() const
    {
        return communicators;
    }
    bool getDebug() const { return debug; }

private:
    std::string agentIniPath;
    std::string iniProblem;
    std::string logFile;
    std::string logsDir;
    std::string envNo;
    std::string oesFlagA = "N";
    std::string oesFlagB = "N";
    std::string baseDir;
    int port = 10012;
    std::optional<std::string> portText; // the [PORT] port value as written; none when unset
    std::vector<std::string> accessControl;
    std::vector<std::string> rejectedAddresses;
    std::string accessControlProblem;
    std::string configFileA, exeFileA, statusFileA, cmdFileA, cmdResFileA, logDirA;
    std::string configFileB, exeFileB, statusFileB, cmdFileB, cmdResFileB, logDirB;
    std::vector<std::unique_ptr<OesCommunicator>> communicators;
    bool debug = false;
    bool loaded = false;
    std::shared_ptr<const ProcessList> processList;
};

// What `--check-config` prints: the settings found and every problem, as GBK lines
// without line ends. `ok` is false when the configuration cannot be used (load failed);
// `admitsNobody` is true when it can, but its ACCESS_CONTROL names no address, so the
// agent would refuse every client.
struct ConfigReport
{
    bool ok = true;
    bool admitsNobody = false;
    std::vector<std::string> lines;
    std::vector<std::string> problems;
    // What the agent reads other than meant without failing: unknown sections and keys,
    // text that is not GBK, a missing tarvo.ini.
    std::vector<std::string> warnings;
};

// Loads a fresh configuration from `iniPath` in the current directory (not the
// process-wide one) and reports on it and on the installation's files. Reads only: a
// missing log directory is reported, not created.
// With `iniRequired` (named by --ini, or the installed settings) a missing ini file makes
// the configuration unusable; otherwise every setting takes its default.
ConfigReport checkAgentConfiguration(const std::string &iniPath = AgentConfig::iniPath(),
                                     bool iniRequired = false);
// Adds the warnings of the ini file at `iniPath` and of the loaded `config` to `report`.
void addConfigWarnings(ConfigReport &report, const std::string &iniPath, const AgentConfig &config);

} // namespace tarvo
