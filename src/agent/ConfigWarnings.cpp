// The warnings of --check-config: what the agent would read other than meant without failing.
#include "agent/AgentConfig.h"

#include "platform/Files.h"
#include "platform/Gbk.h"
#include "platform/IniFile.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace tarvo {

namespace {

struct KnownSection
{
    std::string_view name;
    std::vector<std::string_view> keys;  // empty: any key (ACCESS_CONTROL)
};

// "LOG" and "Log" name one section: names match without regard to case.
const std::array<KnownSection, 4> kKnown = {{
    {"Tarvo", {"logs_dir", "A股报盘程序", "B股报盘程序"}},
    {"PORT", {"port"}},
    {"LOG", {"name", "Debug"}},
    {"ACCESS_CONTROL", {}},
}};

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

void addConfigWarnings(ConfigReport &report, const std::string &iniPath, const AgentConfig &config)
{
    std::string text;
    if (readRegularFile(iniPath, IniFile::DEFAULT_MAX_BYTES, text).ok()) {
        if (gbk::looksNotGbk(text))
            report.warnings.push_back(
                "the ini file is not GBK text (saved as UTF-8 by an editor?): its Chinese keys "
                "and values are not read as written, so \"A股报盘程序=Y\" counts as not set; "
                "convert it with iconv -f UTF-8 -t GB18030");
        const IniFile ini = IniFile::parse(text);
        for (const std::string &section : ini.sections()) {
            const auto known = std::find_if(kKnown.begin(), kKnown.end(), [&](const auto &k) {
                return sameName(k.name, section);
            });
            if (known == kKnown.end()) {
                report.warnings.push_back("unknown section [" + section + "]: not read");
                continue;
            }
            if (known->keys.empty())
                continue;
            for (const std::string &key : ini.keys(section)) {
                if (std::none_of(known->keys.begin(), known->keys.end(),
                                 [&](std::string_view k) { return sameName(k, key); }))
                    report.warnings.push_back("unknown key \"" + key + "\" in [" + section +
                                              "]: not read");
            }
        }
    }
    if (!config.getBaseDir().empty() && !fileExists(config.getBaseDir() + "tarvo.ini"))
        report.warnings.push_back("tarvo.ini missing in " + config.getBaseDir() +
                                  ": envNo reads as \"00\", a production environment (生产环境)");
}

} // namespace tarvo
