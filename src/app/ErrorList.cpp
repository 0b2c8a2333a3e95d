// The on-screen error list and its colour rule.
#include "app/ErrorList.h"

namespace tarvo {

ErrorLineColour errorLineColour(std::string_view line)
{
    const size_t blank = line.size() > 11 ? line.find(' ', 11) : std::string_view::npos;
    if (blank == std::string_view::npos)
        return ErrorLineColour::Blue;
    return line.substr(blank + 1, 5) == "Error" ? ErrorLineColour::Red : ErrorLineColour::Blue;
}

void ErrorList::append(std::string line)
{
    if (echo)
        echo(line);
    entries.push_back(std::move(line));
    if (entries.size() > kLimit) {
        entries.erase(entries.begin(), entries.end() - 1);
        if (listener.reset)
            listener.reset();
        return;
    }
    if (listener.appended)
        listener.appended(entries.back());
}

void ErrorList::clear()
{
    entries.clear();
    if (listener.reset)
        listener.reset();
}

} // namespace tarvo
