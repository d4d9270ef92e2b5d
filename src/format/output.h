// Formatted bytes are assembled here and written in large blocks: a write per report line
// costs more than the scan itself on inputs dense with reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "delimcheck/small_copy.h"

namespace delimcheck::format {

// A write that failed, with its errno value. It is this layer's one thrown error: it unwinds
// the check and the run to main, which says it and ends the process.
class write_error : public std::runtime_error {
public:
    explicit write_error(int err);
    int error() const { return err_; }

private:
    int err_;
};

// Where the bytes finally go.
class destination {
public:
    virtual ~destination() = default;
    virtual void write(const char *p, std::size_t n) = 0; // all of it, or throw write_error
};

class fd_destination final : public destination {
public:
    explicit fd_destination(int fd) : fd_(fd) {}
    void write(const char *p, std::size_t n) override;

private:
    int fd_;
};

class string_destination final : public destination {
public:
    explicit string_destination(std::string &s) : s_(s) {}
    void write(const char *p, std::size_t n) override { s_.append(p, n); }

private:
    std::string &s_;
};

class output {
public:
    explicit output(destination &d);
    output(const output &) = delete;
    output &operator=(const output &) = delete;

    void bytes(const char *p, std::size_t n)
    {
        if (n > capacity - used_) {
            flush();
            if (n >= capacity) {
                dest_.write(p, n);
                return;
            }
        }
        std::memcpy(buf_.get() + used_, p, n);
        used_ += n;
    }
    // An empty view, such as the separator of a document that has none, may point nowhere,
    // and memcpy must not be given a null pointer even for no bytes.
    void text(std::string_view s)
    {
        if (!s.empty())
            bytes(s.data(), s.size());
    }
    void put(char c)
    {
        if (used_ == capacity)
            flush();
        buf_[used_++] = c;
    }
    void decimal(std::int64_t v);

    // Room for n bytes (at most a few hundred) at the end of the buffer, to be written through
    // the pointer returned and taken with commit(end). A line of fixed words and numbers is
    // thus assembled without a test of the room left for each of its pieces.
    char *reserve(std::size_t n)
    {
        if (n > capacity - used_)
            flush();
        return buf_.get() + used_;
    }
    void commit(char *end) { used_ = static_cast<std::size_t>(end - buf_.get()); }

    // Writes what is buffered; a failure throws write_error and drops the buffered bytes.
    void flush();
    // What is buffered, for a caller that writes it itself, and then forgets it.
    std::string_view buffered() const { return {buf_.get(), used_}; }
    void drop_buffered() { used_ = 0; }

private:
    static constexpr std::size_t capacity = 1 << 16;
    destination &dest_;
    std::unique_ptr<char[]> buf_;
    std::size_t used_ = 0;
};

// Writers for reserve(): each returns the end of what it wrote.
template <std::size_t N> inline char *put_text(char *p, const char (&literal)[N])
{
    std::memcpy(p, literal, N - 1);
    return p + N - 1;
}
// At most 20 bytes: the digits of v, with a '-' when it is negative.
char *put_decimal(char *p, std::int64_t v);

} // namespace delimcheck::format
