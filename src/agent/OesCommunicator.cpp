// One order-submission program: configured PBUs, process state and status file.
#include "agent/OesCommunicator.h"

#include "host/StatusNames.h"
#include "platform/IniFile.h"

namespace tarvo {

OesCommunicator::OesCommunicator(std::string oesExistFlag, std::string name,
                                 std::string baseDir, std::string configFile,
                                 std::string exeFile, std::string statusFile,
                                 std::string cmdFile, std::string cmdResFile, std::string logDir)
    : baseDir(std::move(baseDir)),
      configFile(std::move(configFile)),
      exeFile(std::move(exeFile)),
      statusFile(std::move(statusFile)),
      logDir(std::move(logDir)),
      cmdFile(std::move(cmdFile)),
      cmdResFile(std::move(cmdResFile))
{
    oesExist = std::move(oesExistFlag);
    oesName = std::move(name);
    readConfiguredPbus();
    oesStatusFile = std::make_unique<OesStatusFile>(this->statusFile);
}

void OesCommunicator::readConfiguredPbus()
{
    IniFile ini = IniFile::load(configFile);
    long count = ini.readInt("System", "OperatorCounts", 0);
    for (long i : numberedSections(ini, "oper", count)) {
        std::string code = ini.readString("oper" + std::to_string(i), "OperCode");
        if (code.size() != 11)
            continue;
        pbus.push_back(std::make_unique<Pbu>(oesName, code));
    }
}

std::string OesCommunicator::executableName() const
{
    return oesName == OES_NAME_A ? "Tarvo_ASHR.exe" : "Tarvo_BSHR.exe";
}

std::string OesCommunicator::readProcessState(const std::vector<ProcessInfo> &processes) const
{
    const std::string exe = executableName();
    for (const ProcessInfo &process : processes) {
        if (runsExecutable(process, exe))
            return statusNames[3];
    }
    return statusNames[1];
}

void OesCommunicator::refresh(const std::vector<ProcessInfo> &processes)
{
    workName = oesName;
    workType = oesType;
    workStatus = oesStatus;
    workStatus = readProcessState(processes);
    oesStatusFile->readStatusFile(workName, workType, workVersion, workWarningLevel, workStatus,
                                  pbus);
    oesName = workName;
    oesType = workType;
    oesVersion = workVersion;
    warningLevel = workWarningLevel;
    if (oesExist == "N")
        workStatus = "不存在";
    oesStatus = workStatus;
}

} // namespace tarvo
