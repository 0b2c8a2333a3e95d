// Temporary installation directories, GBK ini files and a fake process list for agent tests.
#pragma once

#include "SystemSupport.h"

#include "platform/Files.h"
#include "platform/ProcessList.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace tarvo::test {

// A fresh directory that is removed with everything in it at the end of the test, and
// made the current directory while the object lives (the installation directory is the
// current directory of the agent).
class Installation
{
public:
    Installation()
    {
        m_dir = makeTemporaryDirectory("tarvo-agent");
        EXPECT_FALSE(m_dir.empty());
        m_previous = currentDirectory();
        std::string error;
        EXPECT_TRUE(changeDirectory(m_dir, error)) << error;
    }
    ~Installation()
    {
        std::string error;
        changeDirectory(m_previous, error);
        removeTree(m_dir);
    }
    Installation(const Installation &) = delete;
    Installation &operator=(const Installation &) = delete;

    // The directory with a trailing separator, as AgentConfig's baseDir.
    std::string base() const { return m_dir + PATH_SEPARATOR; }
    // `relative` is written with "/".
    std::string path(const std::string &relative) const { return base() + nativePath(relative); }
    std::string iniPath() const { return path("TarvoMonitorAgent.ini"); }

    // Writes `lines` joined by CR LF (the literals hold GBK bytes) at `relative`.
    void writeLines(const std::string &relative, std::initializer_list<std::string> lines) const
    {
        std::string text;
        for (const auto &line : lines)
            text += line + "\r\n";
        write(relative, text);
    }
    void write(const std::string &relative, const std::string &text) const
    {
        std::filesystem::path p(path(relative));
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << text;
    }
    void remove(const std::string &relative) const { std::filesystem::remove(path(relative)); }

    // Both executables present and both programs watched, with two PBUs each.
    void layOutBothPrograms() const
    {
        writeLines("TarvoMonitorAgent.ini",
                   {"[Tarvo]", "logs_dir=./logs/", "A股报盘程序=Y", "B股报盘程序=Y", "[PORT]",
                    "port=10012", "[ACCESS_CONTROL]", "ip1=127.0.0.1"});
        write("Tarvo_ASHR.exe", "");
        write("Tarvo_BSHR.exe", "");
        writeLines("tarvo.ini", {"[TARVO]", "envNo=12"});
        writeLines("cfgA/SystemConfiguration.ini",
                   {"[System]", "OperatorCounts=2", "[oper1]", "OperCode=A0000000001", "[oper2]",
                    "OperCode=A0000000002"});
        writeLines("cfgB/SystemConfiguration.ini",
                   {"[System]", "OperatorCounts=1", "[oper1]", "OperCode=B0000000001"});
    }

private:
    std::string m_dir;
    std::string m_previous;
};

class FakeProcessList : public ProcessList
{
public:
    std::vector<ProcessInfo> processes;
    std::vector<ProcessInfo> snapshot() const override { return processes; }
};

inline ProcessInfo process(const std::string &comm, const std::string &exeName = {})
{
    return ProcessInfo{100, comm, exeName};
}

} // namespace tarvo::test
