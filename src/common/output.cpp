#include "common/output.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr std::size_t buffer_size = 1 << 16;
char buffer[buffer_size];
std::size_t used = 0;
int sink_fd = STDOUT_FILENO;
std::string *sink_string = nullptr;

[[noreturn]] void write_failed(int err)
{
    if (err == EPIPE) {
        // Die of the broken pipe quietly, like any filter whose reader went away.
        std::signal(SIGPIPE, SIG_DFL);
        std::raise(SIGPIPE);
    }
    std::fprintf(stderr, "delimcheck: error writing standard output: %s\n", std::strerror(err));
    std::_Exit(2);
}

void write_out(const char *p, std::size_t n)
{
    if (sink_string != nullptr) {
        sink_string->append(p, n);
        return;
    }
    while (n > 0) {
        ssize_t w = ::write(sink_fd, p, n);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            write_failed(errno);
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
}

} // namespace

void out_to_fd(int fd)
{
    out_flush();
    sink_fd = fd;
    sink_string = nullptr;
}

void out_to_string(std::string *capture)
{
    out_flush();
    sink_string = capture;
}

void out_flush()
{
    std::size_t n = used;
    used = 0;
    if (n > 0)
        write_out(buffer, n);
}

void out_bytes(const char *p, std::size_t n)
{
    if (n > buffer_size - used) {
        out_flush();
        if (n >= buffer_size) {
            write_out(p, n);
            return;
        }
    }
    std::memcpy(buffer + used, p, n);
    used += n;
}

void out_text(std::string_view s) { out_bytes(s.data(), s.size()); }

void out_char(char c)
{
    if (used == buffer_size)
        out_flush();
    buffer[used++] = c;
}

// Two digits per step: every report carries two numbers, and on inputs dense with reports
// their conversion is a large part of the run.
constexpr char digit_pairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                               "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                               "8081828384858687888990919293949596979899";

void out_padded_decimal(std::int64_t v, int width)
{
    char digits[24];
    char *end = digits + sizeof digits;
    char *p = end;
    // Negative values never occur; the unsigned walk keeps INT64_MIN well defined anyway.
    std::uint64_t u = v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
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
    if (v < 0)
        *--p = '-';
    for (int n = static_cast<int>(end - p); n < width; ++n)
        out_char(' ');
    out_bytes(p, static_cast<std::size_t>(end - p));
}

void out_decimal(std::int64_t v) { out_padded_decimal(v, 0); }
