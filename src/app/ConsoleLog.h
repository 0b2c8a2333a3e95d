// The console log file: one file per day under logs/, entries appended with CR LF.
#pragma once

#include "app/LogLimits.h"

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

    // baseDirectory + "/logs/".
    std::string directory() const;
    // The file that entries stamped with `stamp` go to: "MonitorLog_" + its date + ".log".
    std::string filePathFor(const std::string &stamp) const;

    // How an append went, told once per change (see WriteHealth).
    struct Written
    {
        WriteHealth::Change change = WriteHealth::Change::None;
        std::string path;     // the file
        std::string failure;  // why it failed (the first failure)
        long lost = 0;        // entries lost before a recovery
    };

    // Appends `stampedLine` + CR LF to the file of the stamp's day, creating logs/ when
    // missing. While `strictDirectory` (start-up), a directory that cannot be had throws
    // std::runtime_error "Cannot create LogFile Directory."; afterwards that, a file that
    // cannot be opened and a write that fails (a full disk) lose the entry and are told
    // in the result.
    Written append(const std::string &stampedLine);
    void setStrictDirectory(bool strict);

    void ensureDirectory() const;

private:
    std::string base;
    LocalClock clock;
    bool strictDirectory = true;
    WriteHealth health;
    mutable std::mutex mutex;
};

} // namespace tarvo
