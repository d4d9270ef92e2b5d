// Formatted bytes are assembled here and written in large blocks: a write per report line
// costs more than the scan itself on inputs dense with reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "delimcheck/small_copy.h"

namespace delimcheck::format {

// Where the bytes finally go. The first failure sticks: nothing is written after it, and
// error() keeps its errno value for whoever ends the run, while the sinks writing here answer
// stop. A failed write is thus a value all the way, not an unwinding through the check.
class destination {
public:
    virtual ~destination() = default;
    // All n bytes, or false when they could not go (now or before).
    bool write(const char *p, std::size_t n)
    {
        if (error_ != 0)
            return false;
        error_ = put(p, n);
        return error_ == 0;
    }
    int error() const { return error_; } // 0 while every write went
    // For a run that ends by another failure first, the one to be said: this one is dropped.
    void forget_error() { error_ = 0; }

protected:
    virtual int put(const char *p, std::size_t n) = 0; // 0, or the errno value of the failure

private:
    int error_ = 0;
};

class fd_destination final : public destination {
public:
    explicit fd_destination(int fd) : fd_(fd) {}

protected:
    int put(const char *p, std::size_t n) override;

private:
    int fd_;
};

class string_destination final : public destination {
public:
    explicit string_destination(std::string &s) : s_(s) {}

protected:
    int put(const char *p, std::size_t n) override
    {
        s_.append(p, n);
        return 0;
    }

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

    // Writes what is buffered; false when it could not go (the bytes are dropped then).
    bool flush();
    // A write to the destination has failed: whatever follows is dropped.
    bool failed() const { return dest_.error() != 0; }
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
