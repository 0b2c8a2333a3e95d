// Read-only ini files with the semantics of the Windows profile functions.
#pragma once

#include "platform/Files.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

// An ini file read once into memory. Section and key names match without regard to
// ASCII letter case; the first occurrence of a section or key wins: a section that
// appears again is skipped with all its keys, a key that appears again in its section is
// ignored. Names and values are trimmed of blanks and tabs; lines end in CR LF or LF;
// ";" starts a comment line. Bytes are kept as they are (GBK). A missing or unreadable
// file reads as empty, so every lookup gives its default, as GetPrivateProfileString does.
// Parsing costs time in proportion to the text (n log n for the keys of one section) and
// allocates per file, not per line; a lookup costs the length of the names.
class IniFile
{
public:
    IniFile() = default;

    // Reads `path`; a missing file gives an empty ini (see exists()). Only a regular file
    // of at most DEFAULT_MAX_BYTES is read, without blocking (a FIFO or a device in its
    // place reads as missing).
    static IniFile load(const std::string &path);
    // The same with a size limit of its own and, for a file that another program rewrites,
    // how to get one whole version of it (`settling`, see readRegularFile); when the file
    // cannot be read, `error` (when given) says why in the words of readRegularFile
    // (platform/Files.h), and is left empty for a file that is simply missing.
    static IniFile load(const std::string &path, size_t maxBytes, std::string *error,
                        const ReadSettling &settling = {});
    static constexpr size_t DEFAULT_MAX_BYTES = 16u << 20;
    // Parses ini text held in memory.
    static IniFile parse(std::string_view text);

    bool exists() const { return m_exists; }

    // The value of `key` in `section`, or `defaultValue` when either is missing.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue = {}) const;
    // The value read as a decimal integer (leading digits, optional sign), or
    // `defaultValue` when the key is missing or holds no number (GetPrivateProfileInt).
    // A number beyond the range of long gives LONG_MAX (LONG_MIN when negative).
    long readInt(std::string_view section, std::string_view key, long defaultValue) const;

    bool hasSection(std::string_view section) const;
    bool hasKey(std::string_view section, std::string_view key) const;
    // Section names in file order (first occurrences only).
    std::vector<std::string> sections() const;
    // Key names of a section in file order (first occurrences only); empty when missing.
    std::vector<std::string> keys(std::string_view section) const;

private:
    // Names and values are views into the text, which copies of the object share.
    struct Entry
    {
        std::string_view key;
        std::string_view value;
    };
    struct Section
    {
        std::string_view name;
        uint32_t first = 0; // its keys: entries [first, first + count), in file order
        uint32_t count = 0;
    };

    static IniFile parseText(std::shared_ptr<const std::string> text);
    // Drops the repeated keys of the last section and sorts its keys for lookup.
    void closeSection();
    // The position of the section in m_sections, or -1.
    long findSectionIndex(std::string_view name) const;
    void indexSection(uint32_t position);
    const Section *findSection(std::string_view name) const;
    const Entry *findEntry(std::string_view section, std::string_view key) const;

    std::shared_ptr<const std::string> m_text;
    std::vector<Section> m_sections;   // first occurrences, in file order
    std::vector<Entry> m_entries;      // the sections' keys, first occurrences
    std::vector<uint32_t> m_keyOrder;  // per section, its entries sorted by key
    std::vector<uint32_t> m_slots;     // open addressing of m_sections: position + 1, 0 free
    bool m_exists = false;
};

// Compares two names without regard to ASCII letter case.
bool equalsIgnoreCase(std::string_view a, std::string_view b);

} // namespace tarvo
