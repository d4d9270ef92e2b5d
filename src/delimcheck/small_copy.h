// A copy of a few bytes, as the listing and the formats make by the million.
#pragma once

#include <cstddef>
#include <cstring>

namespace delimcheck {

// Copies n bytes, few as a rule, without a call: a line's indentation or its listing text is
// seldom longer than a cache line, and a call to memcpy costs more than the copy. Returns the
// end of what it wrote.
inline char *put_bytes(char *p, const char *s, std::size_t n)
{
    if (n >= 16) {
        if (n > 32)
            std::memcpy(p, s, n);
        else {
            std::memcpy(p, s, 16);
            std::memcpy(p + n - 16, s + n - 16, 16);
        }
    } else if (n >= 8) {
        std::memcpy(p, s, 8);
        std::memcpy(p + n - 8, s + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(p, s, 4);
        std::memcpy(p + n - 4, s + n - 4, 4);
    } else {
        for (std::size_t i = 0; i < n; ++i)
            p[i] = s[i];
    }
    return p + n;
}

} // namespace delimcheck
