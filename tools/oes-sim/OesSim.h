// The order-submission program simulator: which program it plays, its operators, the
// status file it writes every second and the control file that stops operators.
#pragma once

#include "platform/IniFile.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo::sim {

enum class Program { A, B };

// The program named by the executable's base name ("Tarvo_ASHR.exe" / "Tarvo_BSHR.exe",
// letter case ignored, ".exe" optional), or nothing for any other name.
std::optional<Program> programOf(std::string_view argv0);

// "ASHR" or "BSHR": the stem of the program's file names.
std::string programTag(Program program);

// The files of one program inside an installation directory (`dir` may be empty for the
// current directory).
struct ProgramPaths
{
    std::string configFile;  // cfgA/SystemConfiguration.ini
    std::string statusFile;  // monitor/ASHR_status.txt
    std::string controlFile; // monitor/ASHR_sim.txt
};
ProgramPaths pathsOf(Program program, const std::string &dir);

struct SimOperator
{
    std::string code;
    std::string csIP;
    std::string localIP;
    bool stopped = false;
    uint64_t submitted = 0;
    uint64_t confirmed = 0;
    uint64_t trades = 0;
};

// What the control file asks for: operator codes to hold stopped ("*" stops every one)
// and an optional program warning level.
struct SimControl
{
    std::set<std::string> stopped;
    std::optional<int> warningLevel;
};

// Control file text: one entry per line; "#" starts a comment; "WarningLevel=N" sets the
// program's warning level; any other non-blank line is an operator code to stop.
SimControl parseControl(std::string_view text);

// "YYYYMMDD-HH:MM:SS", the 17-character time stamp of the status file.
std::string formatStatusTime(const std::tm &local);

class OesSimulator
{
public:
    OesSimulator(Program program, std::vector<SimOperator> operators, std::string version,
                 std::string type);

    // The operators of a program configuration ([System] OperatorCounts, [operN] OperCode,
    // Gwip1, LocalIP1), in configuration order; sections without a code are skipped.
    static std::vector<SimOperator> readOperators(const IniFile &config);

    void applyControl(const SimControl &control);
    // One second of trading: every running operator's counters grow.
    void tick();
    // The whole status file (CR LF lines, GBK).
    std::string statusText(const std::tm &local) const;

    const std::vector<SimOperator> &operators() const { return m_operators; }

private:
    Program m_program;
    std::vector<SimOperator> m_operators;
    std::string m_version;
    std::string m_type;
    int m_warningLevel = 0;
};

// Writes `text` to a temporary file beside `path` and renames it over `path`, so a reader
// sees either the old or the new file, never half of one. Creates the parent directory.
// Returns an error text, empty on success.
std::string writeFileAtomically(const std::string &path, std::string_view text);

// Options of a demo installation.
struct InstallOptions
{
    int operatorsPerProgram = 3;
    std::string envNo = "00";
    int port = 10012;
    // The consoles the agent admits; the console of a demo runs on this machine and
    // reaches every 127.0.0.K from 127.0.0.1. (An empty list admits nobody.)
    std::vector<std::string> accessControl = {"127.0.0.1"};
    std::string gateway = "127.0.0.1";      // Gwip1 and LocalIP1 of every operator
};

// Lays out an installation directory: the simulator copied in as Tarvo_ASHR.exe and
// Tarvo_BSHR.exe, cfgA/ and cfgB/SystemConfiguration.ini, monitor/, tarvo.ini and a
// TarvoMonitorAgent.ini watching both programs (GBK, CR LF). Returns an error text, empty
// on success.
std::string installDemo(const std::string &dir, const std::string &selfExe,
                        const InstallOptions &options);

// The text of a program configuration with `count` operators whose codes are the letter
// of the program followed by ten digits.
std::string demoSystemConfiguration(Program program, int count, const std::string &gateway);

} // namespace tarvo::sim
