// Reading the console's settings file.
#include "app/Settings.h"

#include "platform/IniFile.h"

#include <cctype>
#include <charconv>

namespace tarvo {

namespace {

// A whole decimal number with an optional sign and nothing else; false otherwise.
bool parseWholeNumber(const std::string &text, long &value)
{
    const char *first = text.data();
    const char *last = first + text.size();
    if (first != last && *first == '+')
        ++first;
    if (first == last)
        return false;
    auto [end, error] = std::from_chars(first, last, value);
    return error == std::errc() && end == last;
}

std::string upper(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

MonitorSettings readSettings(const IniFile &ini)
{
    MonitorSettings settings;
    long seconds = 0;
    if (parseWholeNumber(ini.readString("Interval", "Time", "5"), seconds) && seconds >= 1 &&
        seconds <= 60)
        settings.intervalSeconds = static_cast<int>(seconds);
    settings.debugText = ini.readString("Log", "Debug", "OFF");
    settings.debugLogging = upper(settings.debugText) == "ON";
    return settings;
}

int updatePeriodMs(int seconds, unsigned randomNumber)
{
    return static_cast<int>(randomNumber % 200) + seconds * 1000 - 100;
}

std::string settingsPathFor(const std::string &executablePath)
{
    const size_t slash = executablePath.find_last_of('/');
    const size_t dot = executablePath.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    if (!hasExtension)
        return executablePath + ".ini";
    return executablePath.substr(0, dot) + ".ini";
}

} // namespace tarvo
