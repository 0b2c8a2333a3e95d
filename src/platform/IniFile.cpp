// Parsing and lookup of ini files as the Windows profile functions see them.
#include "platform/IniFile.h"

#include "platform/Files.h"

#include <cstdint>
#include <limits>

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

size_t IniFile::NameHash::operator()(std::string_view name) const
{
    // FNV-1a over the lower-cased bytes.
    uint64_t hash = 14695981039346656037ull;
    for (char c : name) {
        hash ^= static_cast<unsigned char>(lower(c));
        hash *= 1099511628211ull;
    }
    return static_cast<size_t>(hash);
}

bool IniFile::NameEqual::operator()(std::string_view a, std::string_view b) const
{
    return equalsIgnoreCase(a, b);
}

IniFile IniFile::load(const std::string &path)
{
    return load(path, DEFAULT_MAX_BYTES, nullptr);
}

IniFile IniFile::load(const std::string &path, size_t maxBytes, std::string *error)
{
    std::string text;
    FileRead read = readRegularFile(path, maxBytes, text);
    if (error)
        *error = read.status == FileRead::Status::Refused ? read.error : std::string();
    if (!read.ok())
        return IniFile();
    IniFile ini = parse(text);
    ini.m_exists = true;
    return ini;
}

IniFile IniFile::parse(std::string_view text)
{
    IniFile ini;
    ini.m_exists = true;
    // The section that keys go to; null before the first section and inside a section
    // that appeared before (its first occurrence wins, so its keys are dropped).
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
            current = nullptr;
            auto [it, added] = ini.m_index.try_emplace(std::string(name), ini.m_sections.size());
            if (added) {
                ini.m_sections.push_back({std::string(name), {}, {}});
                current = &ini.m_sections.back();
            }
            (void)it;
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
        if (current->index.try_emplace(std::string(key), current->entries.size()).second)
            current->entries.push_back({std::string(key), std::string(value)});
    }
    return ini;
}

const IniFile::Section *IniFile::findSection(std::string_view name) const
{
    auto it = m_index.find(name);
    return it == m_index.end() ? nullptr : &m_sections[it->second];
}

const IniFile::Entry *IniFile::findEntry(std::string_view section, std::string_view key) const
{
    const Section *s = findSection(section);
    if (!s)
        return nullptr;
    auto it = s->index.find(key);
    return it == s->index.end() ? nullptr : &s->entries[it->second];
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const
{
    if (const Entry *e = findEntry(section, key))
        return e->value;
    return std::string(defaultValue);
}

long IniFile::readInt(std::string_view section, std::string_view key, long defaultValue) const
{
    const Entry *e = findEntry(section, key);
    if (!e)
        return defaultValue;
    const std::string &v = e->value;
    size_t i = 0;
    bool negative = false;
    if (i < v.size() && (v[i] == '-' || v[i] == '+'))
        negative = v[i++] == '-';
    if (i >= v.size() || v[i] < '0' || v[i] > '9')
        return defaultValue;
    // Accumulated as a negative number, whose range holds LONG_MIN.
    long n = 0;
    bool overflow = false;
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
        const int digit = v[i] - '0';
        if (n < (std::numeric_limits<long>::min() + digit) / 10) {
            overflow = true;
            break;
        }
        n = n * 10 - digit;
    }
    if (negative)
        return overflow ? std::numeric_limits<long>::min() : n;
    if (overflow || n == std::numeric_limits<long>::min())
        return std::numeric_limits<long>::max();
    return -n;
}

bool IniFile::hasSection(std::string_view section) const { return findSection(section) != nullptr; }

bool IniFile::hasKey(std::string_view section, std::string_view key) const
{
    return findEntry(section, key) != nullptr;
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
    names.reserve(s->entries.size());
    for (const Entry &e : s->entries)
        names.push_back(e.key);
    return names;
}

} // namespace tarvo
