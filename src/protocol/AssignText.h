// Storing a text into a string that mostly holds one of the same length already.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace tarvo {

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

} // namespace tarvo
