// The console's settings file: polling period and debug logging.
#pragma once

#include <string>
#include <vector>

namespace tarvo {

class IniFile;

struct MonitorSettings
{
    int intervalSeconds = 5;     // [Interval] Time, 1 to 60
    std::string debugText = "OFF"; // [Log] Debug as read
    bool debugLogging = false;   // debugText in upper case equals "ON"
};

// Reads [Interval] Time (a whole decimal number from 1 to 60, else 5) and [Log] Debug.
MonitorSettings readSettings(const IniFile &ini);

// The settings file read, with the lines to report (error list and log) for what is wrong
// with it: a file that exists but cannot be read (or a directory in its place), a UTF-8
// byte-order mark, a Time that is no whole number from 1 to 60, a Debug that is neither ON
// nor OFF. The values are those readSettings gives all the same. A missing file is not
// reported here.
struct SettingsLoad
{
    MonitorSettings settings;
    std::vector<std::string> problems;
    bool missing = false;
};
SettingsLoad loadSettings(const std::string &path);

// The update timer's period in ms for an interval of `seconds` and a random number:
// (random mod 200) + seconds * 1000 - 100, so seconds * 1000 - 100 to seconds * 1000 + 99.
int updatePeriodMs(int seconds, unsigned randomNumber);

// The settings file of an executable: its path with the extension replaced by ".ini",
// or extended by it when the file name has none.
std::string settingsPathFor(const std::string &executablePath);

} // namespace tarvo
