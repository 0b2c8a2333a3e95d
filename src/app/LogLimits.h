// Bounds on what one agent can make the console write: lines repeated faster than a person
// reads, an agent's log records per second and per day, and writes to log files that fail.
// Pure bookkeeping over a millisecond clock the caller passes in; the texts are the caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarvo {

// The first line of a kind is written; lines of the same kind within the next second are
// only counted. The first one after that second is written with the count of the lines it
// stands for, and so is the last line counted when due() finds its second over. "Beat
// message received from 10.0.0.5" a thousand times a second becomes one line a second:
// "... (1000 times in 1.0 s)". The kind is the text itself unless the caller groups texts.
class RepeatedLines
{
public:
    static constexpr double kWindowMs = 1000;
    // Kinds followed at once; beyond it lines are written as they come.
    static constexpr size_t kMostKinds = 4096;

    // The line to write now, or nullopt when it is only counted.
    std::optional<std::string> admit(const std::string &text, double nowMs)
    {
        return admit(text, text, nowMs);
    }
    std::optional<std::string> admit(const std::string &kind, const std::string &text,
                                     double nowMs);
    // The lines of counts whose second is over; their kinds are forgotten.
    std::vector<std::string> due(double nowMs);

private:
    struct Count
    {
        double since = 0;   // when the last line of this kind was written
        long counted = 0;   // lines since then that were not written
        std::string last;   // the last of them
    };
    static std::string withCount(const std::string &text, long lines, double spanMs);

    std::map<std::string, Count> counts;
};

// What one agent may write into its SysLog file and the error list: a burst of records, then
// a steady rate, and a number of bytes a day. Once a bound is reached the records are
// dropped and counted until the agent has kept below the rate for a while (the burst has
// half refilled), or until the next day for the daily bound.
class RecordBudget
{
public:
    static constexpr double kBurst = 100;             // records at once
    static constexpr double kPerSecond = 20;          // records a second after the burst
    static constexpr uint64_t kBytesPerDay = 16 << 20; // bytes of file a day

    enum class Limit { None, Rate, Day };
    struct Verdict
    {
        bool write = false;
        // Set once, for the record that found the bound.
        Limit reached = Limit::None;
        // Set once, for the first record written after the bound: the records dropped.
        std::optional<long> endedAfter;
    };

    // One record of `bytes` bytes at `nowMs` on the day `day` (any text that changes daily).
    Verdict admit(size_t bytes, double nowMs, const std::string &day);
    // A bound that has ended with no record since: the records dropped, once.
    std::optional<long> ended(double nowMs, const std::string &day);
    Limit limit() const { return current; }

private:
    void refill(double nowMs);
    bool over(double nowMs, const std::string &day);

    double tokens = kBurst;
    double filledAt = -1;
    std::string today;
    std::string limitedOn;  // the day the bound was reached
    uint64_t bytesToday = 0;
    Limit current = Limit::None;
    long dropped = 0;
};

// Whether the writes to one log file work, told once per change: the first failure, and the
// first success after failures with the number of entries lost between.
class WriteHealth
{
public:
    enum class Change { None, Failed, Recovered };

    // After a write of `entries` entries.
    Change note(bool written, long entries = 1);
    bool failing() const { return failed; }
    long lost() const { return lostEntries; }

private:
    bool failed = false;
    long lostEntries = 0;
};

} // namespace tarvo
