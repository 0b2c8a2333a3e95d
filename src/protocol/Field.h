// Typed protocol fields ("58=正常运行") and the process-wide dictionary of field types.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvo {

// Ends every field on the wire. Bodies, messages and packages each keep a copy.
inline constexpr char FIELD_SEPARATOR = '\x01';

// The first separator in [p, end), or end. Fields are short, so eight bytes are tested at a
// time in a register rather than through a library call.
[[gnu::always_inline]] inline const char *findSeparator(const char *p, const char *end)
{
    constexpr uint64_t ones = 0x0101010101010101ull;
    constexpr uint64_t highs = 0x8080808080808080ull;
    if constexpr (std::endian::native == std::endian::little) {
        while (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            // A byte of `x` is zero where the text holds the separator (0x01); the flag of
            // the lowest, i.e. first, such byte is always a true one.
            const uint64_t x = word ^ ones;
            const uint64_t zero = (x - ones) & ~x & highs;
            if (zero != 0)
                return p + __builtin_ctzll(zero) / 8;
            p += 8;
        }
    }
    while (p != end && *p != FIELD_SEPARATOR)
        ++p;
    return p;
}

// The separators of [begin, end) in order, found sixteen bytes at a time ahead of the reader,
// so that finding the end of one field does not wait for the end of the one before.
class SeparatorWalk
{
public:
    SeparatorWalk(const char *begin, const char *end) : m_chunk(begin), m_end(end)
    {
        m_mask = maskAt(m_chunk);
    }
    // The next separator, or `end` when none is left.
    const char *next()
    {
        while (m_mask == 0) {
            m_chunk += 16;
            if (m_chunk >= m_end)
                return m_end;
            m_mask = maskAt(m_chunk);
        }
        const char *found = m_chunk + __builtin_ctz(m_mask);
        m_mask &= m_mask - 1;
        return found;
    }

private:
    // Bit i set where chunk[i] is the separator, for the bytes of the chunk before `end`.
    uint32_t maskAt(const char *chunk) const
    {
        if (m_end - chunk >= 16) {
#if defined(__SSE2__)
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(chunk));
            return uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(FIELD_SEPARATOR))));
#endif
        }
        uint32_t mask = 0;
        const long n = std::min<long>(16, m_end - chunk);
        for (long i = 0; i < n; ++i)
            mask |= uint32_t(chunk[i] == FIELD_SEPARATOR) << i;
        return mask;
    }

    const char *m_chunk;
    const char *m_end;
    uint32_t m_mask;
};

// Memory for the small objects a message is read into (fields, bodies), recycled per thread;
// plain heap memory under sanitizers. Blocks go back with the size they were asked for.
void *allocateSmall(std::size_t size);
void releaseSmall(void *p, std::size_t size) noexcept;

// A standard allocator over allocateSmall: the field list of a body lives as briefly as the
// body and holds a handful of entries.
template <typename T>
struct SmallAllocator
{
    using value_type = T;
    SmallAllocator() = default;
    template <typename U>
    SmallAllocator(const SmallAllocator<U> &) noexcept
    {
    }
    T *allocate(std::size_t n) { return static_cast<T *>(allocateSmall(n * sizeof(T))); }
    void deallocate(T *p, std::size_t n) noexcept { releaseSmall(p, n * sizeof(T)); }
    friend bool operator==(const SmallAllocator &, const SmallAllocator &) { return true; }
};

// The heap buffers of long texts dropped by fields (the packages of a status answer),
// recycled per thread: keepText takes the buffer of `text` (leaving it empty), reuseText gives
// the empty short `to` the smallest kept buffer that holds `n` bytes (or the largest one).
// Neither does anything under sanitizers.
void keepText(std::string &text) noexcept;
void reuseText(std::string &to, std::size_t n) noexcept;
// The capacity of a text held without a heap buffer.
inline const std::size_t SHORT_TEXT_CAPACITY = std::string().capacity();
// Texts up to this length come and go through the allocator's own per-thread cache about as
// fast as through kept buffers: only longer ones are kept.
inline constexpr std::size_t KEPT_TEXT_MIN = 1024;

// std::string::assign, out of line.
void assignOtherLength(std::string &to, const char *p, size_t n);

// Stores [p, p + n) in `to`. A value mostly keeps its length from one status answer to the
// next, so that case copies the bytes in place; short texts are moved in two overlapping
// words rather than through a library call.
[[gnu::always_inline]] inline void assignText(std::string &to, const char *p, size_t n)
{
    if (n != to.size()) {
        assignOtherLength(to, p, n);
        return;
    }
    char *d = to.data();
    if (n >= 8 && n <= 16) {
        uint64_t head, tail;
        std::memcpy(&head, p, 8);
        std::memcpy(&tail, p + n - 8, 8);
        std::memcpy(d, &head, 8);
        std::memcpy(d + n - 8, &tail, 8);
    } else if (n >= 4 && n < 8) {
        uint32_t head, tail;
        std::memcpy(&head, p, 4);
        std::memcpy(&tail, p + n - 4, 4);
        std::memcpy(d, &head, 4);
        std::memcpy(d + n - 4, &tail, 4);
    } else if (n < 4) {
        for (size_t i = 0; i < n; ++i)
            d[i] = p[i];
    } else {
        std::memmove(d, p, n);
    }
}

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
