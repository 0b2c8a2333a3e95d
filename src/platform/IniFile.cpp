// Parsing and lookup of ini files as the Windows profile functions see them.
#include "platform/IniFile.h"

#include "platform/Files.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <random>

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

namespace {

// FNV-1a over the lower-cased bytes, from a start that differs from process to process, so
// that names written to collide in one process do not collide in the next.
size_t hashIgnoreCase(std::string_view name)
{
    static const uint64_t start = 14695981039346656037ull ^ (uint64_t(std::random_device{}()) << 32 |
                                                             std::random_device{}());
    uint64_t hash = start;
    for (char c : name) {
        hash ^= static_cast<unsigned char>(lower(c));
        hash *= 1099511628211ull;
    }
    return static_cast<size_t>(hash);
}

// Orders names by their lower-cased bytes.
int compareIgnoreCase(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(lower(a[i]));
        const auto y = static_cast<unsigned char>(lower(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

} // namespace

IniFile IniFile::load(const std::string &path)
{
    return load(path, DEFAULT_MAX_BYTES, nullptr);
}

IniFile IniFile::load(const std::string &path, size_t maxBytes, std::string *error,
                      const ReadSettling &settling)
{
    auto text = std::make_shared<std::string>();
    FileRead read = readRegularFile(path, maxBytes, *text, settling);
    if (error)
        *error = read.status == FileRead::Status::Refused ? read.error : std::string();
    if (!read.ok())
        return IniFile();
    return parseText(std::move(text));
}

IniFile IniFile::parse(std::string_view text)
{
    return parseText(std::make_shared<const std::string>(text));
}

IniFile IniFile::parseText(std::shared_ptr<const std::string> owned)
{
    IniFile ini;
    ini.m_exists = true;
    ini.m_text = std::move(owned);
    const std::string_view text = *ini.m_text;
    // Keys go to the last section while this holds; not before the first section, nor
    // inside a section that appeared before (its first occurrence wins, so they are dropped).
    bool collecting = false;
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
            if (collecting)
                ini.closeSection();
            collecting = ini.findSectionIndex(name) < 0;
            if (collecting) {
                ini.m_sections.push_back({name, uint32_t(ini.m_entries.size()), 0});
                ini.indexSection(uint32_t(ini.m_sections.size() - 1));
            }
            continue;
        }
        if (!collecting)
            continue;
        size_t eq = line.find('=');
        std::string_view key = trim(eq == std::string_view::npos ? line : line.substr(0, eq));
        std::string_view value = eq == std::string_view::npos ? std::string_view{}
                                                              : trim(line.substr(eq + 1));
        if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"')
                                  || (value.front() == '\'' && value.back() == '\'')))
            value = value.substr(1, value.size() - 2);
        ini.m_entries.push_back({key, value});
        ++ini.m_sections.back().count;
    }
    if (collecting)
        ini.closeSection();
    return ini;
}

void IniFile::closeSection()
{
    Section &section = m_sections.back();
    const uint32_t first = section.first;
    auto byKey = [this](uint32_t a, uint32_t b) {
        const int order = compareIgnoreCase(m_entries[a].key, m_entries[b].key);
        return order != 0 ? order < 0 : a < b;
    };
    auto sortKeys = [&] {
        m_keyOrder.resize(first);
        for (uint32_t i = first; i < first + section.count; ++i)
            m_keyOrder.push_back(i);
        std::sort(m_keyOrder.begin() + first, m_keyOrder.end(), byKey);
    };
    sortKeys();
    // Equal keys are neighbours now, the first occurrence ahead of the others.
    std::vector<bool> repeated;
    for (uint32_t i = first + 1; i < first + section.count; ++i) {
        if (compareIgnoreCase(m_entries[m_keyOrder[i - 1]].key, m_entries[m_keyOrder[i]].key) != 0)
            continue;
        if (repeated.empty())
            repeated.assign(section.count, false);
        repeated[m_keyOrder[i] - first] = true;
    }
    if (repeated.empty())
        return;
    uint32_t kept = first;
    for (uint32_t i = first; i < first + section.count; ++i)
        if (!repeated[i - first])
            m_entries[kept++] = m_entries[i];
    m_entries.resize(kept);
    section.count = kept - first;
    sortKeys();
}

long IniFile::findSectionIndex(std::string_view name) const
{
    if (m_slots.empty())
        return -1;
    const size_t mask = m_slots.size() - 1;
    for (size_t slot = hashIgnoreCase(name) & mask; m_slots[slot] != 0; slot = (slot + 1) & mask) {
        const uint32_t position = m_slots[slot] - 1;
        if (equalsIgnoreCase(m_sections[position].name, name))
            return long(position);
    }
    return -1;
}

void IniFile::indexSection(uint32_t position)
{
    auto place = [this](uint32_t p) {
        const size_t mask = m_slots.size() - 1;
        size_t slot = hashIgnoreCase(m_sections[p].name) & mask;
        while (m_slots[slot] != 0)
            slot = (slot + 1) & mask;
        m_slots[slot] = p + 1;
    };
    // At most half the slots in use, so that probe runs stay short.
    if ((size_t(position) + 1) * 2 > m_slots.size()) {
        m_slots.assign(std::max<size_t>(16, m_slots.size() * 2), 0);
        for (uint32_t p = 0; p < position; ++p)
            place(p);
    }
    place(position);
}

const IniFile::Section *IniFile::findSection(std::string_view name) const
{
    const long position = findSectionIndex(name);
    return position < 0 ? nullptr : &m_sections[size_t(position)];
}

const IniFile::Entry *IniFile::findEntry(std::string_view section, std::string_view key) const
{
    const Section *s = findSection(section);
    if (!s)
        return nullptr;
    auto begin = m_keyOrder.begin() + s->first;
    auto end = begin + s->count;
    auto it = std::lower_bound(begin, end, key, [this](uint32_t entry, std::string_view k) {
        return compareIgnoreCase(m_entries[entry].key, k) < 0;
    });
    if (it == end || compareIgnoreCase(m_entries[*it].key, key) != 0)
        return nullptr;
    return &m_entries[*it];
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                std::string_view defaultValue) const
{
    if (const Entry *e = findEntry(section, key))
        return std::string(e->value);
    return std::string(defaultValue);
}

long IniFile::readInt(std::string_view section, std::string_view key, long defaultValue) const
{
    const Entry *e = findEntry(section, key);
    if (!e)
        return defaultValue;
    const std::string_view v = e->value;
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
    names.reserve(m_sections.size());
    for (const Section &s : m_sections)
        names.emplace_back(s.name);
    return names;
}

std::vector<std::string> IniFile::keys(std::string_view section) const
{
    std::vector<std::string> names;
    const Section *s = findSection(section);
    if (!s)
        return names;
    names.reserve(s->count);
    for (uint32_t i = s->first; i < s->first + s->count; ++i)
        names.emplace_back(m_entries[i].key);
    return names;
}

} // namespace tarvo
