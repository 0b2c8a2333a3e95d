// The console log file: one file per day under logs/, entries appended with CR LF.
#pragma once

#include <functional>
#include <mutex>
#include <string>

namespace tarvo {

struct LocalTime
{
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The wall clock the log reads; tests inject their own.
using LocalClock = std::function<LocalTime()>;
LocalTime systemLocalTime();

// "YYYY-MM-DD hh:mm:ss " (20 characters, the last a blank).
std::string formatTimeStamp(const LocalTime &time);

// Makes sure `dir` is a directory, creating it when missing; throws std::runtime_error
// "Cannot create LogFile Directory." when it cannot be had.
void ensureLogDirectory(const std::string &dir);

// Thread-safe: the GUI thread and the heartbeat thread both append.
class ConsoleLog
{
public:
    // `baseDirectory` is the working directory the logs/ folder lives in.
    explicit ConsoleLog(std::string baseDirectory = ".", LocalClock clock = systemLocalTime);

    std::string timeStamp() const { return formatTimeStamp(clock()); }
    LocalTime now() const { return clock(); }
    void setClock(LocalClock newClock);

    // baseDirectory + "/logs/".
    std::string directory() const;
    // The file that entries stamped with `stamp` go to: "MonitorLog_" + its date + ".log".
    std::string filePathFor(const std::string &stamp) const;

    // Appends `stampedLine` + CR LF to the file of the stamp's day. Creates logs/ when
    // missing and throws std::runtime_error "Cannot create LogFile Directory." when that
    // fails; a file that cannot be opened loses the entry silently.
    void append(const std::string &stampedLine);

    // Appends raw bytes to a file of the log directory (no line end added).
    bool appendRaw(const std::string &fileName, const std::string &bytes);

    void ensureDirectory() const;

private:
    std::string base;
    LocalClock clock;
    mutable std::mutex mutex;
};

} // namespace tarvo
