#include "format/output.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "delimcheck/for_overwrite.h"

namespace delimcheck::format {

int fd_destination::put(const char *p, std::size_t n)
{
    while (n > 0) {
        ssize_t w = ::write(fd_, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return 0;
}

output::output(destination &d) : dest_(d), buf_(make_for_overwrite<char[]>(capacity)) {}

bool output::flush()
{
    std::size_t n = used_;
    used_ = 0;
    return n == 0 ? !failed() : dest_.write(buf_.get(), n);
}

// Two digits per step: every report carries two numbers, and on inputs dense with reports
// their conversion is a large part of the run.
static constexpr char digit_pairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                      "8081828384858687888990919293949596979899";

// The digits of u, written backwards so that they end at `end`; returns where they begin.
static char *digits_before(char *end, std::uint64_t u)
{
    char *p = end;
    while (u >= 100) {
        std::size_t pair = static_cast<std::size_t>(u % 100) * 2;
        u /= 100;
        *--p = digit_pairs[pair + 1];
        *--p = digit_pairs[pair];
    }
    if (u >= 10) {
        *--p = digit_pairs[u * 2 + 1];
        *--p = digit_pairs[u * 2];
    } else {
        *--p = static_cast<char>('0' + u);
    }
    return p;
}

char *put_decimal(char *p, std::int64_t v)
{
    char digits[24];
    char *end = digits + sizeof digits;
    // Negative values never occur; the unsigned walk keeps INT64_MIN well defined anyway.
    std::uint64_t u = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    char *first = digits_before(end, u);
    if (v < 0)
        *p++ = '-';
    std::size_t n = static_cast<std::size_t>(end - first);
    std::memcpy(p, first, n);
    return p + n;
}

void output::decimal(std::int64_t v)
{
    char digits[24];
    bytes(digits, static_cast<std::size_t>(put_decimal(digits, v) - digits));
}

} // namespace delimcheck::format
