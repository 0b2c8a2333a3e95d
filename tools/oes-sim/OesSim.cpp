// The simulated program's state, its status file text, its control file and demo layout.
#include "OesSim.h"

#include "platform/Files.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace tarvo::sim {
namespace {

namespace fs = std::filesystem;

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// `relative` is written with "/" and joined with the system's separator.
std::string joinPath(const std::string &dir, const std::string &relative)
{
    if (dir.empty())
        return nativePath(relative);
    if (dir.back() == '/' || dir.back() == PATH_SEPARATOR)
        return dir + nativePath(relative);
    return dir + PATH_SEPARATOR + nativePath(relative);
}

void line(std::string &out, std::string_view key, std::string_view value)
{
    out.append(key).append("=").append(value).append("\r\n");
}

std::string writeText(const std::string &path, std::string_view text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), std::streamsize(text.size()));
    out.close();
    if (!out)
        return "cannot write " + path;
    return {};
}

} // namespace

std::optional<Program> programOf(std::string_view argv0)
{
    size_t slash = argv0.find_last_of(std::string("/") + PATH_SEPARATOR);
    std::string_view base = slash == std::string_view::npos ? argv0 : argv0.substr(slash + 1);
    if (base.size() > 4 && equalsIgnoreCase(base.substr(base.size() - 4), ".exe"))
        base.remove_suffix(4);
    if (equalsIgnoreCase(base, "Tarvo_ASHR"))
        return Program::A;
    if (equalsIgnoreCase(base, "Tarvo_BSHR"))
        return Program::B;
    return std::nullopt;
}

std::string programTag(Program program) { return program == Program::A ? "ASHR" : "BSHR"; }

ProgramPaths pathsOf(Program program, const std::string &dir)
{
    const std::string cfg = program == Program::A ? "cfgA" : "cfgB";
    const std::string tag = programTag(program);
    return {joinPath(dir, cfg + "/SystemConfiguration.ini"),
            joinPath(dir, "monitor/" + tag + "_status.txt"),
            joinPath(dir, "monitor/" + tag + "_sim.txt")};
}

SimControl parseControl(std::string_view text)
{
    SimControl control;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view entry = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (entry.empty() || entry.front() == '#')
            continue;
        size_t eq = entry.find('=');
        if (eq != std::string_view::npos && equalsIgnoreCase(trim(entry.substr(0, eq)), "WarningLevel")) {
            std::string value(trim(entry.substr(eq + 1)));
            char *endp = nullptr;
            long level = std::strtol(value.c_str(), &endp, 10);
            if (!value.empty() && *endp == '\0')
                control.warningLevel = int(level);
            continue;
        }
        control.stopped.insert(std::string(entry));
    }
    return control;
}

std::string formatStatusTime(const std::tm &local)
{
    char text[80];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d:%02d:%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

OesSimulator::OesSimulator(Program program, std::vector<SimOperator> operators,
                           std::string version, std::string type)
    : m_program(program), m_operators(std::move(operators)), m_version(std::move(version)),
      m_type(std::move(type))
{
}

std::vector<SimOperator> OesSimulator::readOperators(const IniFile &config)
{
    std::vector<SimOperator> operators;
    long count = config.readInt("System", "OperatorCounts", 0);
    for (long i = 1; i <= count; ++i) {
        const std::string section = "oper" + std::to_string(i);
        SimOperator op;
        op.code = config.readString(section, "OperCode");
        if (op.code.empty())
            continue;
        op.csIP = config.readString(section, "Gwip1");
        op.localIP = config.readString(section, "LocalIP1");
        operators.push_back(std::move(op));
    }
    return operators;
}

void OesSimulator::applyControl(const SimControl &control)
{
    const bool all = control.stopped.count("*") != 0;
    for (SimOperator &op : m_operators)
        op.stopped = all || control.stopped.count(op.code) != 0;
    m_warningLevel = control.warningLevel.value_or(0);
}

void OesSimulator::tick()
{
    for (size_t i = 0; i < m_operators.size(); ++i) {
        SimOperator &op = m_operators[i];
        if (op.stopped)
            continue;
        // Different paces per operator so the console's columns do not move in lockstep;
        // confirmations trail submissions by up to two orders.
        op.submitted += 3 + i % 5;
        op.confirmed = op.submitted - std::min<uint64_t>(op.submitted, i % 3);
        op.trades = op.confirmed / 2;
    }
}

std::string OesSimulator::statusText(const std::tm &local) const
{
    std::string out;
    out += "[TIME]\r\n";
    line(out, "Time", formatStatusTime(local));
    out += "[OESStatus]\r\n";
    line(out, "OESVersion", m_version);
    line(out, "OESType", m_type);
    line(out, "WarningLevel", std::to_string(m_warningLevel));
    line(out, "OperatorTotal", std::to_string(m_operators.size()));
    for (size_t i = 0; i < m_operators.size(); ++i) {
        const SimOperator &op = m_operators[i];
        out += "[OperatorStatus." + std::to_string(i + 1) + "]\r\n";
        line(out, "Operator", op.code);
        line(out, "Status", op.stopped ? "1" : "3");
        line(out, "WarningLevel", "0");
        line(out, "OrdNumSubmitted", std::to_string(op.submitted));
        line(out, "OrdNumConfirmed", std::to_string(op.confirmed));
        line(out, "TradeNumber", std::to_string(op.trades));
        line(out, "MaxOrderNumber", std::to_string(op.submitted));
        line(out, "CSIP", op.csIP);
        line(out, "LocalIP", op.localIP);
        line(out, "Capability", "1000");
        line(out, "Work", "1");
    }
    return out;
}

std::string writeFileAtomically(const std::string &path, std::string_view text)
{
    std::error_code ec;
    fs::path target(path);
    if (target.has_parent_path())
        fs::create_directories(target.parent_path(), ec);
    const std::string temporary = path + ".tmp" + std::to_string(::getpid());
    if (std::string error = writeText(temporary, text); !error.empty())
        return error;
    fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return "cannot rename " + temporary + " to " + path;
    }
    return {};
}

std::string demoSystemConfiguration(Program program, int count, const std::string &gateway)
{
    std::string out = "[System]\r\n";
    line(out, "OperatorCounts", std::to_string(count));
    const char letter = program == Program::A ? 'A' : 'B';
    for (int i = 1; i <= count; ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "%c%010d", letter, i);
        out += "[oper" + std::to_string(i) + "]\r\n";
        line(out, "OperCode", code);
        line(out, "GwipCounts", "1");
        line(out, "Gwip1", gateway);
        line(out, "LocalIP1", gateway);
    }
    return out;
}

std::string installDemo(const std::string &dir, const std::string &selfExe,
                        const InstallOptions &options)
{
    std::error_code ec;
    fs::create_directories(fs::path(dir) / "monitor", ec);
    if (ec)
        return "cannot create " + joinPath(dir, "monitor") + ": " + ec.message();
    for (const char *name : {"Tarvo_ASHR.exe", "Tarvo_BSHR.exe"}) {
        fs::copy_file(selfExe, fs::path(dir) / name, fs::copy_options::overwrite_existing, ec);
        if (ec)
            return "cannot copy the simulator to " + joinPath(dir, name) + ": " + ec.message();
    }
    for (Program program : {Program::A, Program::B}) {
        std::string error = writeFileAtomically(
            pathsOf(program, dir).configFile,
            demoSystemConfiguration(program, options.operatorsPerProgram, options.gateway));
        if (!error.empty())
            return error;
    }
    std::string tarvo = "[TARVO]\r\n";
    line(tarvo, "envNo", options.envNo);
    std::string agent = "; Agent of the demo installation: watches both programs.\r\n[Tarvo]\r\n";
    line(agent, "logs_dir", nativePath("./logs/"));
    line(agent, "A股报盘程序", "Y");
    line(agent, "B股报盘程序", "Y");
    agent += "[PORT]\r\n";
    line(agent, "port", std::to_string(options.port));
    agent += "[LOG]\r\n";
    line(agent, "name", "TarvoMonitorAgent.log");
    line(agent, "Debug", "OFF");
    agent += "[ACCESS_CONTROL]\r\n";
    for (size_t i = 0; i < options.accessControl.size(); ++i)
        line(agent, "ip" + std::to_string(i + 1), options.accessControl[i]);
    for (auto [name, text] : {std::pair{"tarvo.ini", &tarvo}, {"TarvoMonitorAgent.ini", &agent}}) {
        std::string error = writeFileAtomically(joinPath(dir, name), *text);
        if (!error.empty())
            return error;
    }
    return {};
}

} // namespace tarvo::sim
