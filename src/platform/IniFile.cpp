// Parsing and lookup of ini files as the Windows profile functions see them.
#include "platform/IniFile.h"

#include <fstream>
#include <sstream>

namespace tarvo {
namespace {

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

} // namespace

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

IniFile IniFile::load(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return IniFile();
    std::ostringstream text;
    text << in.rdbuf();
    IniFile ini = parse(text.str());
    ini.m_exists = true;
    return ini;
}

IniFile IniFile::parse(std::string_view text)
{
    IniFile ini;
    ini.m_exists = true;
    Section *current = nullptr;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';')
            continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            std::string_view name = trim(line.substr(1, close == std::string_view::npos
                                                            ? std::string_view::npos
                                                            : close - 1));
            // A repeated section adds its keys to the first one, as the profile API reads it.
            current = const_cast<Section *>(ini.findSection(name));
            if (!current) {
                ini.m_sections.push_back({std::string(name), {}});
                current = &ini.m_sections.back();
            }
            continue;
        }
        if (!current)
            continue;
        size_t eq = line.find('=');
        std::string_view key = trim(eq == std::string_view::npos ? line : line.substr(0, eq));
        std::string_view value = eq == std::string_view::npos ? std::string_view{}
                                                              : trim(line.substr(eq + 1));
        if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"')
                                  || (value.front() == '\'' && value.back() == '\'')))
            value = value.substr(1, value.size() - 2);
        current->entries.push_back({std::string(key), std::string(value)});
    }
    return ini;
}

const IniFile::Section *IniFile::findSection(std::string_view name) const
{
    for (const Section &s : m_sections)
        if (equalsIgnoreCase(s.name, name))
            return &s;
    return nullptr;
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const
{
    if (const Section *s = findSection(section))
        for (const Entry &e : s->entries)
            if (equalsIgnoreCase(e.key, key))
                return e.value;
    return std::string(defaultValue);
}

long IniFile::readInt(std::string_view section, std::string_view key, long defaultValue) const
{
    if (!hasKey(section, key))
        return defaultValue;
    std::string v = readString(section, key);
    size_t i = 0;
    bool negative = false;
    if (i < v.size() && (v[i] == '-' || v[i] == '+'))
        negative = v[i++] == '-';
    if (i >= v.size() || v[i] < '0' || v[i] > '9')
        return defaultValue;
    long n = 0;
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i)
        n = n * 10 + (v[i] - '0');
    return negative ? -n : n;
}

bool IniFile::hasSection(std::string_view section) const { return findSection(section) != nullptr; }

bool IniFile::hasKey(std::string_view section, std::string_view key) const
{
    if (const Section *s = findSection(section))
        for (const Entry &e : s->entries)
            if (equalsIgnoreCase(e.key, key))
                return true;
    return false;
}

std::vector<std::string> IniFile::sections() const
{
    std::vector<std::string> names;
    for (const Section &s : m_sections)
        names.push_back(s.name);
    return names;
}

std::vector<std::string> IniFile::keys(std::string_view section) const
{
    std::vector<std::string> names;
    const Section *s = findSection(section);
    if (!s)
        return names;
    for (const Entry &e : s->entries) {
        bool seen = false;
        for (const std::string &n : names)
            seen = seen || equalsIgnoreCase(n, e.key);
        if (!seen)
            names.push_back(e.key);
    }
    return names;
}

} // namespace tarvo
