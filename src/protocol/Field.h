// Typed protocol fields ("58=正常运行") and the process-wide dictionary of field types.
#pragma once

#include "protocol/FieldMemory.h"

#include <array>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace tarvo {

// Ends every field on the wire. Bodies, messages and packages each keep a copy.
inline constexpr char FIELD_SEPARATOR = '\x01';

// The dictionary of the 39 field types plus the empty pair, built once on first use.
class FieldMapping
{
public:
    static const FieldMapping &instance();

    // Throws std::runtime_error "Wrong type ID:<id>" for an unknown ID.
    const std::string &typeNameOf(std::string_view typeId) const;
    // Throws std::runtime_error "Wrong type name:<name>" for an unknown name.
    const std::string &typeIdOf(std::string_view typeName) const;

    // Type name -> type ID, ordered by name.
    const std::map<std::string, std::string, std::less<>> &byName() const { return m_nameToId; }

    // One dictionary row; both texts live as long as the process.
    struct Entry
    {
        const std::string *id = nullptr;
        const std::string *name = nullptr;
    };
    // The row of the two-digit ID "ab", or null texts when there is none.
    Entry entryOfTwoDigits(char a, char b) const
    {
        const unsigned hi = unsigned(a) - '0', lo = unsigned(b) - '0';
        return hi <= 9 && lo <= 9 ? m_ofTwoDigits[hi * 10 + lo] : Entry{};
    }
    // The row of an ID; throws "Wrong type ID:" for an unknown ID.
    Entry entryOfId(std::string_view typeId) const
    {
        if (typeId.size() == 2) {
            const unsigned hi = unsigned(typeId[0]) - '0', lo = unsigned(typeId[1]) - '0';
            if (hi <= 9 && lo <= 9 && m_ofTwoDigits[hi * 10 + lo].name)
                return m_ofTwoDigits[hi * 10 + lo];
        }
        return entryOfOtherId(typeId);
    }
    // The row of a name; throws "Wrong type name:" for an unknown name.
    Entry entryOfName(std::string_view typeName) const;
    // The row of the empty pair.
    Entry emptyEntry() const { return m_empty; }

private:
    FieldMapping();
    Entry entryOfOtherId(std::string_view typeId) const;

    std::map<std::string, std::string, std::less<>> m_idToName;
    std::map<std::string, std::string, std::less<>> m_nameToId;
    // Every ID in use has two digits: the row of ID "dd" at index dd (null texts: unknown),
    // so the reader finds a name without a map search.
    std::array<Entry, 100> m_ofTwoDigits{};
    Entry m_empty;
};

// One datum: a type name from the dictionary, its two-digit type ID and a text value.
// Wire form: typeId "=" value; whoever joins fields appends the separator.
class Field
{
public:
    // The empty field: empty type name, type ID and value.
    Field();
    // Throws "Wrong type name:" for a name not in the dictionary.
    Field(std::string_view typeName, std::string value);
    // The field of a dictionary row (whose texts must not be null).
    Field(const FieldMapping::Entry &entry, std::string_view value)
        : m_typeName(entry.name), m_typeId(entry.id)
    {
        assignValue(value.data(), value.size());
    }
    // A long value's buffer is kept by the thread for the next field.
    virtual ~Field()
    {
        if (m_value.capacity() > KEPT_TEXT_MIN)
            keepText(m_value);
    }
    Field(const Field &) = default;
    Field &operator=(const Field &) = default;
    Field(Field &&) = default;
    Field &operator=(Field &&) = default;

    virtual std::string toString() const;

    // Fields are made and dropped by the dozen for every message read: each thread keeps the
    // memory of the fields it dropped for the next ones (plain heap memory under sanitizers).
    static void *operator new(std::size_t size);
    static void operator delete(void *p, std::size_t size) noexcept;

    // Sets the ID and looks up its name; throws "Wrong type ID:" for an unknown ID.
    void setTypeId(std::string_view id);
    bool isEmpty() const { return m_typeName->empty(); }

    // Reads one field's text (without its separator) into this field. Throws
    // std::logic_error "Field not complete(1|2), typeName=<previous name>" for an empty or
    // all-digit text, std::runtime_error "Field Parse Error str=<text>" for a malformed
    // one, and "Wrong type ID:" for an unknown ID (type ID and name are then already set).
    void parse(std::string_view text);
    // Reads the field starting at the 1-based `position` of `text` up to the next
    // separator (or the end), and moves `position` past that separator.
    void parseNext(std::string_view text, size_t &position);
    // parseNext, then throws std::runtime_error "<expected> field not exists <read>
    // instead" when the field read has another type name.
    void parseExpected(std::string_view expectedName, std::string_view text, size_t &position);

    const std::string &getTypeName() const { return *m_typeName; }
    const std::string &getTypeId() const { return *m_typeId; }
    const std::string &getValue() const { return m_value; }
    void setValue(std::string value) { m_value = std::move(value); }

protected:
    // Stores [p, p + n) as the value, in a kept buffer when it is long.
    void assignValue(const char *p, std::size_t n)
    {
        if (n > KEPT_TEXT_MIN && m_value.capacity() < n)
            reuseText(m_value, n);
        m_value.assign(p, n);
    }
    // Reads "<id>=<value>" already split at the first non-digit `i` of `text`; sets the ID,
    // its name and the value, or throws as parse does.
    void parseAt(std::string_view text, size_t i);

    // Name and ID point into the dictionary, so that reading a field copies only its value.
    const std::string *m_typeName;
    const std::string *m_typeId;
    std::string m_value;
};

} // namespace tarvo
