// Where the scanners' bytes come from: memory, a file descriptor or a stream.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string_view>

namespace delimcheck::scan {

class byte_source {
public:
    virtual ~byte_source() = default;
    // Reads up to n bytes into p. Returns 0 at the end of the input, and also when a read
    // fails; error() then holds its errno value.
    virtual std::size_t read(unsigned char *p, std::size_t n) = 0;
    int error() const { return error_; }
    // Whether the input can be read again from its start, and doing so; false when it cannot.
    virtual bool can_rewind() const { return false; }
    virtual bool rewind() { return false; }
    // How many bytes the whole input holds, when that is known before it is read; else -1.
    virtual long long size() const { return -1; }

protected:
    int error_ = 0;
};

class memory_source final : public byte_source {
public:
    explicit memory_source(std::string_view bytes) : all_(bytes), rest_(bytes) {}
    std::size_t read(unsigned char *p, std::size_t n) override;
    bool can_rewind() const override { return true; }
    bool rewind() override
    {
        rest_ = all_;
        return true;
    }
    long long size() const override { return static_cast<long long>(all_.size()); }

private:
    std::string_view all_, rest_;
};

class fd_source final : public byte_source {
public:
    explicit fd_source(int fd);
    std::size_t read(unsigned char *p, std::size_t n) override;
    bool can_rewind() const override;
    bool rewind() override;
    long long size() const override { return regular_ ? size_ : -1; }

private:
    int fd_;
    bool regular_ = false;    // a regular file, which can be read again
    long long size_ = 0;      // its size when its reading began
    long long read_ = 0;      // how much of it has been read since
    mutable long long start_ = -2; // where it was when its reading began; -2 until asked
};

class istream_source final : public byte_source {
public:
    explicit istream_source(std::istream &in);
    std::size_t read(unsigned char *p, std::size_t n) override;
    bool can_rewind() const override { return start_ >= 0; }
    bool rewind() override;

private:
    std::istream &in_;
    long long start_ = -1;
};

// One byte at a time over a source, with one byte of look-ahead: what the plain scanner reads.
class byte_reader {
public:
    explicit byte_reader(byte_source &src) : src_(src) {}
    int get() // the next byte, or -1 at the end of the input
    {
        if (pos_ == have_ && !fill())
            return -1;
        return buf_[pos_++];
    }
    int peek() // the next byte without taking it, or -1
    {
        if (pos_ == have_ && !fill())
            return -1;
        return buf_[pos_];
    }

private:
    bool fill();
    byte_source &src_;
    unsigned char buf_[4096];
    std::size_t pos_ = 0, have_ = 0;
};

} // namespace delimcheck::scan
