// The parsers of Linux's counter files and the arithmetic on the counters of every system.
#include "platform/HostResources.h"

#include <charconv>

namespace tarvo {

namespace {

// Reads the next unsigned number after blanks; false at the end of the line.
bool nextNumber(std::string_view &text, uint64_t &value)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    auto [ptr, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value);
    if (ec != std::errc())
        return false;
    text.remove_prefix(static_cast<size_t>(ptr - text.data()));
    return true;
}

std::string_view lineAt(std::string_view text, size_t start)
{
    size_t end = text.find('\n', start);
    return text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

} // namespace

std::optional<CpuTimes> parseProcStat(std::string_view text)
{
    size_t pos = 0;
    while (pos < text.size()) {
        std::string_view line = lineAt(text, pos);
        pos += line.size() + 1;
        if (!line.starts_with("cpu "))
            continue;
        line.remove_prefix(4);
        // user nice system idle iowait irq softirq steal; guest times are inside user.
        uint64_t values[8] = {};
        int count = 0;
        while (count < 8 && nextNumber(line, values[count]))
            ++count;
        if (count < 4)
            return std::nullopt;
        CpuTimes times;
        times.idle = values[3] + values[4];
        for (int i = 0; i < count; ++i)
            times.total += values[i];
        return times;
    }
    return std::nullopt;
}

std::optional<MemInfo> parseMemInfo(std::string_view text)
{
    std::optional<uint64_t> total, available, freeMem;
    size_t pos = 0;
    while (pos < text.size()) {
        std::string_view line = lineAt(text, pos);
        pos += line.size() + 1;
        size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        std::string_view key = line.substr(0, colon);
        std::string_view rest = line.substr(colon + 1);
        uint64_t value = 0;
        if (!nextNumber(rest, value))
            continue;
        if (key == "MemTotal")
            total = value;
        else if (key == "MemAvailable")
            available = value;
        else if (key == "MemFree")
            freeMem = value;
    }
    if (!total || !(available || freeMem))
        return std::nullopt;
    return MemInfo{*total, available ? *available : *freeMem};
}

int cpuUsagePercent(const CpuTimes &previous, const CpuTimes &current)
{
    if (current.total < previous.total || current.idle < previous.idle)
        return 0;
    uint64_t total = current.total - previous.total;
    uint64_t idle = current.idle - previous.idle;
    if (total == 0 || idle > total)
        return 0;
    return static_cast<int>((total - idle) * 100 / total);
}

int memoryUsagePercent(const MemInfo &memory)
{
    if (memory.total == 0 || memory.available > memory.total)
        return 0;
    return static_cast<int>((memory.total - memory.available) * 100 / memory.total);
}

int diskUsagePercent(const DiskSpace &disk)
{
    if (disk.blocks == 0 || disk.freeBlocks > disk.blocks)
        return 0;
    return static_cast<int>((disk.blocks - disk.freeBlocks) * 100 / disk.blocks);
}

} // namespace tarvo
