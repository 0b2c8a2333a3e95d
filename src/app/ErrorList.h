// The on-screen error list: stamped lines, emptied down to the newest beyond 1000 lines.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

enum class ErrorLineColour { Red, Blue };

// Colour of a stamped line: red when the five bytes after the first blank at byte position
// 12 or later (1-based), that is the start of the message behind the time stamp, read "Error".
ErrorLineColour errorLineColour(std::string_view line);

class ErrorList
{
public:
    static constexpr size_t kLimit = 1000;

    // Told after every change: appended (the new line) or reset (trimmed or cleared).
    struct Listener
    {
        std::function<void(const std::string &)> appended;
        std::function<void()> reset;
    };

    // Appends a line; a list that then holds more than kLimit lines keeps only this newest.
    void append(std::string line);
    void clear();

    const std::vector<std::string> &lines() const { return entries; }
    size_t size() const { return entries.size(); }
    void setListener(Listener newListener) { listener = std::move(newListener); }
    // Also told of every appended line (the terminal of a console without a window).
    void setEcho(std::function<void(const std::string &)> newEcho) { echo = std::move(newEcho); }

private:
    std::vector<std::string> entries;
    Listener listener;
    std::function<void(const std::string &)> echo;
};

} // namespace tarvo
