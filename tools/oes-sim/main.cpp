// oes-sim: plays the A-share or B-share order-submission program by its own file name and
// writes that program's status file every interval; also lays out demo installations.
#include "OesSim.h"

#include "platform/Clock.h"
#include "platform/Files.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

namespace {

using namespace tarvo;
using namespace tarvo::sim;

volatile std::sig_atomic_t stopRequested = 0;

void onStopSignal(int) { stopRequested = 1; }

void printHelp()
{
    std::cout <<
        "Usage: Tarvo_ASHR.exe [OPTIONS]   (or Tarvo_BSHR.exe, or oes-sim --program A|B)\n"
        "Simulates an order-submission program: reads cfgA/ (cfgB/) SystemConfiguration.ini\n"
        "and writes monitor/ASHR_status.txt (BSHR_status.txt) every interval, with one\n"
        "operator section per configured operator, status 3 and growing counters.\n"
        "\n"
        "While it runs, monitor/ASHR_sim.txt (BSHR_sim.txt) controls it: one operator code per\n"
        "line holds that operator stopped (status 1), \"*\" stops every operator,\n"
        "\"WarningLevel=N\" sets the program's warning level, \"#\" starts a comment.\n"
        "\n"
        "Options:\n"
        "  --dir DIR            installation directory (default: the current directory)\n"
        "  --once               write one status file and exit\n"
        "  --interval-ms N      time between two status files (default 1000)\n"
        "  --program A|B        play this program whatever the executable's name\n"
        "  --oes-version TEXT   the version to report (default V1.0.0-sim)\n"
        "  --type TEXT          the program type to report (default ASHR or BSHR)\n"
        "  --install DIR        lay out a demo installation in DIR and exit; with\n"
        "      --operators N    operators per program (default 3)\n"
        "      --env NN         environment number for tarvo.ini (default 00)\n"
        "      --port N         agent port for TarvoMonitorAgent.ini (default 10012)\n"
        "      --access A,B     ACCESS_CONTROL addresses (default: 127.0.0.1; the agent\n"
        "                       refuses every client whose address is not listed)\n"
        "  --help               this text\n";
}

std::string readWholeFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> splitList(const std::string &text)
{
    std::vector<std::string> items;
    std::stringstream in(text);
    for (std::string item; std::getline(in, item, ',');)
        if (!item.empty())
            items.push_back(item);
    return items;
}

bool toNumber(const char *text, long &value)
{
    char *end = nullptr;
    value = std::strtol(text, &end, 10);
    return *text != '\0' && *end == '\0';
}

int fail(const std::string &text)
{
    std::cerr << "oes-sim: " << text << "\n";
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    std::optional<Program> program = programOf(argv[0]);
    std::string dir;
    std::string installDir;
    std::string version = "V1.0.0-sim";
    std::optional<std::string> type;
    bool once = false;
    long intervalMs = 1000;
    InstallOptions install;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char * {
            if (i + 1 >= argc) {
                std::cerr << "oes-sim: " << arg << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        long number = 0;
        if (arg == "--help" || arg == "-h") {
            printHelp();
            return 0;
        } else if (arg == "--dir") {
            dir = value();
        } else if (arg == "--once") {
            once = true;
        } else if (arg == "--interval-ms") {
            if (!toNumber(value(), intervalMs) || intervalMs <= 0)
                return fail("--interval-ms needs a positive number");
        } else if (arg == "--program") {
            std::string p = value();
            if (p != "A" && p != "B")
                return fail("--program takes A or B");
            program = p == "A" ? Program::A : Program::B;
        } else if (arg == "--oes-version") {
            version = value();
        } else if (arg == "--type") {
            type = value();
        } else if (arg == "--install") {
            installDir = value();
        } else if (arg == "--operators") {
            if (!toNumber(value(), number) || number < 0 || number > 9999)
                return fail("--operators needs a number from 0 to 9999");
            install.operatorsPerProgram = int(number);
        } else if (arg == "--env") {
            install.envNo = value();
        } else if (arg == "--port") {
            if (!toNumber(value(), number) || number <= 0 || number > 65535)
                return fail("--port needs a number from 1 to 65535");
            install.port = int(number);
        } else if (arg == "--access") {
            install.accessControl = splitList(value());
        } else {
            return fail("unknown option " + arg + " (see --help)");
        }
    }

    if (!installDir.empty()) {
        std::string error = installDemo(installDir, executablePath(), install);
        if (!error.empty())
            return fail(error);
        std::cout << "demo installation laid out in " << installDir << "\n";
        return 0;
    }
    if (!program)
        return fail("cannot tell the program from the name " + std::string(argv[0]) +
                    ": run as Tarvo_ASHR.exe or Tarvo_BSHR.exe, or give --program A|B");

    const ProgramPaths paths = pathsOf(*program, dir);
    IniFile config = IniFile::load(paths.configFile);
    if (!config.exists())
        std::cerr << "oes-sim: " << paths.configFile << " not found; running without operators\n";
    OesSimulator simulator(*program, OesSimulator::readOperators(config), version,
                           type.value_or(programTag(*program)));

    std::signal(SIGTERM, onStopSignal);
    std::signal(SIGINT, onStopSignal);
    std::string lastError;
    const auto interval = std::chrono::milliseconds(intervalMs);
    auto next = std::chrono::steady_clock::now();
    while (!stopRequested) {
        simulator.applyControl(parseControl(readWholeFile(paths.controlFile)));
        simulator.tick();
        const LocalTime now = currentLocalTime();
        std::tm local{};
        local.tm_year = now.year - 1900;
        local.tm_mon = now.month - 1;
        local.tm_mday = now.day;
        local.tm_hour = now.hour;
        local.tm_min = now.minute;
        local.tm_sec = now.second;
        std::string error = writeFileAtomically(paths.statusFile, simulator.statusText(local));
        if (error != lastError && !error.empty())
            std::cerr << "oes-sim: " << error << "\n";
        lastError = error;
        if (once)
            return error.empty() ? 0 : 1;
        next += interval;
        while (!stopRequested && std::chrono::steady_clock::now() < next)
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                next - std::chrono::steady_clock::now(), std::chrono::milliseconds(50)));
    }
    return 0;
}
