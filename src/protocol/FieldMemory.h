// The per-thread recycling of the memory that reading messages churns through: small objects
// (fields, bodies) and the buffers of long texts.
#pragma once

#include <cstddef>
#include <string>

namespace tarvo {

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

} // namespace tarvo
