// JSON-RPC messages framed by a Content-Length header, read from a byte stream. A broken
// header costs that message only: the reader says so and finds the next one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace delimcheck::lsp {

// Where the bytes come from.
class byte_input {
public:
    virtual ~byte_input() = default;
    // Up to n bytes; 0 at the end of the input; -1 on an error (errno set).
    virtual long read(char *p, std::size_t n) = 0;
    // Whether a read would return at once.
    virtual bool ready() = 0;
    // Waits until a read would return at once (true) or, first, descriptor `other` is
    // readable (false). An input that cannot wait says true.
    virtual bool wait(int other) = 0;
};

class fd_input final : public byte_input {
public:
    explicit fd_input(int fd) : fd_(fd) {}
    long read(char *p, std::size_t n) override;
    bool ready() override;
    bool wait(int other) override;
    int fd() const { return fd_; }

private:
    int fd_;
};

// Bytes held in memory, given at most `step` at a time so that messages cross reads.
class memory_input final : public byte_input {
public:
    explicit memory_input(std::string_view bytes, std::size_t step = std::size_t(-1)) : bytes_(bytes), step_(step) {}
    long read(char *p, std::size_t n) override;
    bool ready() override { return at_ < bytes_.size(); }
    // Never waits: false when `other` is readable already, so that a server reading from
    // memory still takes what its other thread has finished.
    bool wait(int other) override;

private:
    std::string_view bytes_;
    std::size_t step_, at_ = 0;
};

// Bodies above this size are refused and skipped unread. A 50 MB script whose every other byte
// is a newline is twice that once escaped in JSON.
inline constexpr std::uint64_t max_body = std::uint64_t{256} << 20;

struct read_result {
    enum kind_t {
        message,    // body holds one message's bytes
        bad_header, // no usable Content-Length: the bytes up to the next "Content-Length:" are skipped
        too_large,  // Content-Length above the limit: that many bytes are skipped
        end,        // the end of the input, perhaps inside a message
        read_error, // the input failed (error holds errno)
    } kind = end;
    std::string body;
    std::string what; // bad_header, too_large: the words of the problem
    int error = 0;
};

class message_reader {
public:
    explicit message_reader(byte_input &in, std::uint64_t limit = max_body);
    read_result next();
    // Whether a message's header is waiting here, read but not yet taken.
    bool buffered() const;

private:
    enum class fill_result { ok, end, error };
    fill_result fill();
    bool header_line(std::string &line, read_result &r);
    bool skip_to_header(read_result &r);
    bool skip_body(read_result &r);
    bool read_body(std::size_t n, read_result &r);
    bool input_failed(fill_result f, read_result &r);

    static constexpr std::size_t capacity = 1 << 16;
    byte_input &in_;
    std::unique_ptr<char[]> buf_;
    std::size_t pos_ = 0, len_ = 0;
    bool resync_ = false;      // skip to the next "Content-Length:"
    std::uint64_t limit_;      // the largest body taken
    std::uint64_t skip_ = 0;   // bytes of a refused body still to skip
    int error_ = 0;
};

} // namespace delimcheck::lsp
