// Finding the separators of a message's text quickly: the scanning under every reader of
// fields, bodies and packages.
#pragma once

#include "protocol/Field.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvo {

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

} // namespace tarvo
