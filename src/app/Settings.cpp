// Reading the console's settings file.
#include "app/Settings.h"

#include "platform/Files.h"
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

SettingsLoad loadSettings(const std::string &path)
{
    SettingsLoad load;
    std::string text;
    const FileRead read = readRegularFile(path, IniFile::DEFAULT_MAX_BYTES, text);
    const std::string file = "Error[设置文件" + path;
    if (read.status == FileRead::Status::Missing) {
        load.missing = true;
        return load;
    }
    if (!read.ok()) {
        load.problems.push_back(file + "无法读取(" + read.error + "), 使用默认设置]");
        return load;
    }
    const IniFile ini = IniFile::parse(text);
    load.settings = readSettings(ini);
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        load.problems.push_back(file + "以UTF-8字节顺序标记(BOM)开头, 它的第一行不被识别; "
                                       "请存为不带BOM的GBK文本]");
    if (ini.hasKey("Interval", "Time")) {
        const std::string time = ini.readString("Interval", "Time");
        long seconds = 0;
        if (!parseWholeNumber(time, seconds) || seconds < 1 || seconds > 60)
            load.problems.push_back(file + "中[Interval] Time=" + time +
                                    "无效(应为1到60的整数), 使用5秒]");
    }
    if (ini.hasKey("Log", "Debug")) {
        const std::string debug = upper(load.settings.debugText);
        if (debug != "ON" && debug != "OFF")
            load.problems.push_back(file + "中[Log] Debug=" + load.settings.debugText +
                                    "无效(应为ON或OFF), 不记录所有收发消息]");
    }
    return load;
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
