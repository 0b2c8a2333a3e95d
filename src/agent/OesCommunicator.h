// What the agent knows of one order-submission program: its record, its PBUs, its files.
#pragma once

#include "agent/OesStatusFile.h"
#include "host/Oes.h"
#include "host/Pbu.h"
#include "platform/ProcessList.h"

#include <memory>
#include <string>
#include <vector>

namespace tarvo {

class OesCommunicator : public Oes
{
public:
    // Keeps the paths, reads the configured PBUs from `configFile` (section "System" key
    // "OperatorCounts", sections "oper<i>" key "OperCode" of exactly 11 bytes).
    OesCommunicator(std::string oesExistFlag, std::string name, std::string baseDir,
                    std::string configFile, std::string exeFile, std::string statusFile,
                    std::string cmdFile, std::string cmdResFile, std::string logDir);

    // Brings the record and its PBUs up to date from the process list snapshot
    // `processes` and the status file.
    void refresh(const std::vector<ProcessInfo> &processes);

    // "Tarvo_ASHR.exe" for the A-share program, else "Tarvo_BSHR.exe".
    std::string executableName() const;
    // "运行" when a process in `processes` runs the program's executable, else "停止".
    std::string readProcessState(const std::vector<ProcessInfo> &processes) const;

    const std::vector<std::unique_ptr<Pbu>> &getPbus() const { return pbus; }
    const std::string &getBaseDir() const { return baseDir; }
    const std::string &getConfigFile() const { return configFile; }
    const std::string &getExeFile() const { return exeFile; }
    const std::string &getStatusFile() const { return statusFile; }

private:
    void readConfiguredPbus();

    std::string baseDir;
    std::string configFile;
    std::string exeFile;
    std::string statusFile;
    std::string logDir;
    std::string cmdFile;
    std::string cmdResFile;
    std::string workName;
    std::string workType;
    std::string workStatus;
    std::string workVersion;
    std::string workWarningLevel;
    std::vector<std::unique_ptr<Pbu>> pbus;
    std::unique_ptr<OesStatusFile> oesStatusFile;
};

} // namespace tarvo
