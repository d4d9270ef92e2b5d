#include "lsp/message_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace delimcheck::lsp {

namespace {

constexpr std::size_t max_header_line = 8192;
constexpr std::string_view length_field = "Content-Length:";

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_letters(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lower(x) == lower(y);
           });
}

// Where "Content-Length:" begins in s, in any case; npos if it does not.
std::size_t find_length_field(std::string_view s)
{
    auto at = std::search(s.begin(), s.end(), length_field.begin(), length_field.end(),
                          [](char x, char y) { return lower(x) == lower(y); });
    return at == s.end() ? std::string_view::npos : static_cast<std::size_t>(at - s.begin());
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// Digits only, no sign; anything longer than 19 digits is as good as too large.
bool parse_length(std::string_view s, std::uint64_t &n)
{
    s = trim(s);
    if (s.empty())
        return false;
    n = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        if (n > (UINT64_MAX - 9) / 10)
            n = UINT64_MAX;
        else
            n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return true;
}

} // namespace

long fd_input::read(char *p, std::size_t n)
{
    for (;;) {
        ssize_t got = ::read(fd_, p, n);
        if (got >= 0 || errno != EINTR)
            return static_cast<long>(got);
    }
}

bool fd_input::ready()
{
    struct pollfd pfd = {fd_, POLLIN, 0};
    return ::poll(&pfd, 1, 0) > 0;
}

long memory_input::read(char *p, std::size_t n)
{
    std::size_t k = std::min({n, step_, bytes_.size() - at_});
    std::memcpy(p, bytes_.data() + at_, k);
    at_ += k;
    return static_cast<long>(k);
}

bool memory_input::wait(int other)
{
    struct pollfd pfd = {other, POLLIN, 0};
    return !(other >= 0 && ::poll(&pfd, 1, 0) == 1 && (pfd.revents & POLLIN) != 0);
}

bool fd_input::wait(int other)
{
    struct pollfd pfds[2] = {{fd_, POLLIN, 0}, {other, POLLIN, 0}};
    for (;;) {
        int n = ::poll(pfds, 2, -1);
        if (n < 0 && errno == EINTR)
            continue;
        // An error of poll itself: let the read find out what is wrong.
        if (n < 0 || pfds[0].revents != 0)
            return true;
        if (pfds[1].revents != 0)
            return false;
    }
}

message_reader::message_reader(byte_input &in, std::uint64_t limit)
    : in_(in), buf_(new char[capacity]), limit_(limit)
{
}

message_reader::fill_result message_reader::fill()
{
    if (pos_ == len_)
        pos_ = len_ = 0;
    else if (len_ == capacity) {
        std::memmove(buf_.get(), buf_.get() + pos_, len_ - pos_);
        len_ -= pos_;
        pos_ = 0;
    }
    long got = in_.read(buf_.get() + len_, capacity - len_);
    if (got < 0) {
        error_ = errno;
        return fill_result::error;
    }
    if (got == 0)
        return fill_result::end;
    len_ += static_cast<std::size_t>(got);
    return fill_result::ok;
}

bool message_reader::input_failed(fill_result f, read_result &r)
{
    r.kind = f == fill_result::error ? read_result::read_error : read_result::end;
    r.error = error_;
    return false;
}

// One header line, without its line ending, into `line`. A line too long for a header is
// cut short: it cannot be a header this server reads, and the caller says so.
bool message_reader::header_line(std::string &line, read_result &r)
{
    line.clear();
    for (;;) {
        const char *start = buf_.get() + pos_;
        const void *nl = std::memchr(start, '\n', len_ - pos_);
        std::size_t n = nl ? static_cast<std::size_t>(static_cast<const char *>(nl) - start) : len_ - pos_;
        if (line.size() <= max_header_line)
            line.append(start, std::min(n, max_header_line + 1 - line.size()));
        pos_ += n;
        if (nl) {
            ++pos_;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
        if (fill_result f = fill(); f != fill_result::ok)
            return input_failed(f, r);
    }
}

// Drops bytes up to the next "Content-Length:", keeping across reads the few bytes that may
// be its beginning.
bool message_reader::skip_to_header(read_result &r)
{
    for (;;) {
        std::string_view have(buf_.get() + pos_, len_ - pos_);
        std::size_t at = find_length_field(have);
        if (at != std::string_view::npos) {
            pos_ += at;
            resync_ = false;
            return true;
        }
        if (have.size() >= length_field.size())
            pos_ = len_ - (length_field.size() - 1);
        if (fill_result f = fill(); f != fill_result::ok)
            return input_failed(f, r);
    }
}

bool message_reader::skip_body(read_result &r)
{
    while (skip_ > 0) {
        if (pos_ == len_)
            if (fill_result f = fill(); f != fill_result::ok)
                return input_failed(f, r);
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(skip_, len_ - pos_));
        pos_ += n;
        skip_ -= n;
    }
    return true;
}

bool message_reader::read_body(std::size_t n, read_result &r)
{
    r.body.clear();
    while (r.body.size() < n) {
        if (pos_ == len_)
            if (fill_result f = fill(); f != fill_result::ok)
                return input_failed(f, r);
        std::size_t take = std::min(n - r.body.size(), len_ - pos_);
        r.body.append(buf_.get() + pos_, take);
        pos_ += take;
    }
    return true;
}

// A header block is at hand, ended by its blank line (or bytes of a body being skipped): so
// reading on will not wait on the client. Blank lines left after a message are not one.
bool message_reader::buffered() const
{
    std::string_view have(buf_.get() + pos_, len_ - pos_);
    if (skip_ > 0)
        return !have.empty();
    std::size_t start = have.find_first_not_of("\r\n");
    if (start == std::string_view::npos)
        return false;
    have.remove_prefix(start);
    return have.find("\n\n") != std::string_view::npos || have.find("\n\r\n") != std::string_view::npos;
}

read_result message_reader::next()
{
    read_result r;
    if (!skip_body(r) || (resync_ && !skip_to_header(r)))
        return r;
    std::string line;
    bool have_length = false, bad_length = false, long_line = false;
    std::uint64_t length = 0;
    bool started = false;
    for (;;) {
        if (!header_line(line, r))
            return r;
        if (line.empty()) {
            if (started)
                break;
            continue; // blank lines between messages are no header block
        }
        if (!started) {
            // The bytes a peer's too short Content-Length left of its body end up before the
            // next header; that message is still read.
            std::size_t at = find_length_field(line);
            if (at != std::string::npos && at > 0)
                line.erase(0, at);
        }
        started = true;
        if (line.size() > max_header_line) {
            long_line = true;
            continue;
        }
        std::size_t colon = line.find(':');
        if (colon != std::string::npos && same_letters(trim(std::string_view(line).substr(0, colon)), "Content-Length")) {
            have_length = parse_length(std::string_view(line).substr(colon + 1), length);
            bad_length = !have_length;
        }
    }
    if (long_line || !have_length) {
        r.kind = read_result::bad_header;
        r.what = long_line     ? "a header line longer than 8192 bytes"
                 : bad_length ? "a Content-Length that is not a number of bytes"
                              : "a header without Content-Length";
        resync_ = true;
        return r;
    }
    if (length > limit_) {
        r.kind = read_result::too_large;
        r.what = "a message of more than " + std::to_string(limit_ >> 20) + " MiB";
        skip_ = length;
        return r;
    }
    if (!read_body(static_cast<std::size_t>(length), r))
        return r;
    r.kind = read_result::message;
    return r;
}

} // namespace delimcheck::lsp
