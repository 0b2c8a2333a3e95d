// Counting repeated lines, an agent's record budget and the health of log file writes.
#include "app/LogLimits.h"

#include <algorithm>
#include <cstdio>

namespace tarvo {

// ---------------------------------------------------------------- repeated lines

std::string RepeatedLines::withCount(const std::string &text, long lines, double spanMs)
{
    char count[64];
    std::snprintf(count, sizeof count, " (%ld %s in %.1f s)", lines, lines == 1 ? "time" : "times",
                  std::max(0.0, spanMs) / 1000);
    return text + count;
}

std::optional<std::string> RepeatedLines::admit(const std::string &kind, const std::string &text,
                                                double nowMs)
{
    auto found = counts.find(kind);
    if (found == counts.end()) {
        if (counts.size() >= kMostKinds)
            return text;  // too many kinds at once to follow: written as they come
        counts.emplace(kind, Count{nowMs, 0, {}});
        return text;
    }
    Count &count = found->second;
    // A clock set back ends the second at once.
    if (nowMs >= count.since && nowMs - count.since < kWindowMs) {
        ++count.counted;
        if (kind != text)
            count.last = text;
        return std::nullopt;
    }
    std::string line = count.counted > 0 ? withCount(text, count.counted + 1, nowMs - count.since)
                                         : text;
    count = Count{nowMs, 0, {}};
    return line;
}

std::vector<std::string> RepeatedLines::due(double nowMs)
{
    std::vector<std::string> lines;
    for (auto it = counts.begin(); it != counts.end();) {
        const Count &count = it->second;
        if (nowMs >= count.since && nowMs - count.since < kWindowMs) {
            ++it;
            continue;
        }
        if (count.counted > 0)
            lines.push_back(withCount(count.last.empty() ? it->first : count.last,
                                      count.counted, kWindowMs));
        it = counts.erase(it);
    }
    return lines;
}

// ---------------------------------------------------------------- record budget

void RecordBudget::refill(double nowMs)
{
    if (filledAt >= 0 && nowMs > filledAt)
        tokens = std::min(kBurst, tokens + (nowMs - filledAt) / 1000 * kPerSecond);
    filledAt = nowMs;
}

bool RecordBudget::over(double nowMs, const std::string &day)
{
    refill(nowMs);
    if (day != today) {
        today = day;
        bytesToday = 0;
    }
    switch (current) {
    case Limit::None:
        return false;
    case Limit::Rate:
        // Ends only once the agent has sent less than the rate for a while.
        return tokens < kBurst / 2;
    case Limit::Day:
        return today == limitedOn;
    }
    return false;
}

RecordBudget::Verdict RecordBudget::admit(size_t bytes, double nowMs, const std::string &day)
{
    Verdict verdict;
    const bool limited = over(nowMs, day);
    // Every record spends from the budget, a dropped one too: a flood keeps it empty.
    const bool affordable = tokens >= 1;
    tokens = std::max(0.0, tokens - 1);
    if (limited) {
        ++dropped;
        return verdict;
    }
    if (current != Limit::None) {
        verdict.endedAfter = dropped;
        current = Limit::None;
        dropped = 0;
    }
    if (!affordable || bytesToday + bytes > kBytesPerDay) {
        current = affordable ? Limit::Day : Limit::Rate;
        limitedOn = today;
        verdict.reached = current;
        dropped = 1;
        return verdict;
    }
    bytesToday += bytes;
    verdict.write = true;
    return verdict;
}

std::optional<long> RecordBudget::ended(double nowMs, const std::string &day)
{
    if (current == Limit::None || over(nowMs, day))
        return std::nullopt;
    const long count = dropped;
    current = Limit::None;
    dropped = 0;
    return count;
}

// ---------------------------------------------------------------- write health

WriteHealth::Change WriteHealth::note(bool written, long entries)
{
    if (written) {
        if (!failed)
            return Change::None;
        failed = false;
        return Change::Recovered;
    }
    if (failed) {
        lostEntries += entries;
        return Change::None;
    }
    failed = true;
    lostEntries = entries;
    return Change::Failed;
}

} // namespace tarvo
