// The console log file and its time stamps.
#include "app/ConsoleLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <sys/stat.h>

namespace tarvo {

LocalTime systemLocalTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                     parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

std::string formatTimeStamp(const LocalTime &t)
{
    char text[64];
    std::snprintf(text, sizeof text, "%2.2d-%2.2d-%2.2d %2.2d:%2.2d:%2.2d ", t.year, t.month,
                  t.day, t.hour, t.minute, t.second);
    return text;
}

ConsoleLog::ConsoleLog(std::string baseDirectory, LocalClock clock)
    : base(baseDirectory.empty() ? std::string(".") : std::move(baseDirectory)),
      clock(std::move(clock))
{
}

std::string ConsoleLog::directory() const { return base + "/logs/"; }

std::string ConsoleLog::filePathFor(const std::string &stamp) const
{
    return directory() + "MonitorLog_" + stamp.substr(0, 10) + ".log";
}

void ConsoleLog::ensureDirectory() const { ensureLogDirectory(base + "/logs"); }

void ensureLogDirectory(const std::string &dir)
{
    struct stat info{};
    if (::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return;
    // A concurrent mkdir may win the race; anything but a directory afterwards is a failure.
    ::mkdir(dir.c_str(), 0777);
    if (::stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        throw std::runtime_error("Cannot create LogFile Directory.");
}

void ConsoleLog::setStrictDirectory(bool strict)
{
    std::lock_guard lock(mutex);
    strictDirectory = strict;
}

ConsoleLog::Written ConsoleLog::append(const std::string &stampedLine)
{
    std::lock_guard lock(mutex);
    Written written;
    written.path = filePathFor(stampedLine);
    try {
        ensureDirectory();
        std::FILE *file = std::fopen(written.path.c_str(), "ab");
        if (!file) {
            written.failure = std::strerror(errno);
        } else {
            const bool whole = std::fwrite(stampedLine.data(), 1, stampedLine.size(), file) ==
                                   stampedLine.size() &&
                               std::fwrite("\r\n", 1, 2, file) == 2;
            int error = whole ? 0 : errno;
            // A full disk shows at the latest when the buffered bytes go out.
            if (std::fclose(file) != 0 && error == 0)
                error = errno;
            if (!whole || error != 0)
                written.failure = std::strerror(error ? error : EIO);
        }
    } catch (const std::runtime_error &e) {
        if (strictDirectory)
            throw;
        written.failure = e.what();
    }
    written.change = health.note(written.failure.empty());
    written.lost = health.lost();
    return written;
}

} // namespace tarvo
