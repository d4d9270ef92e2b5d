#include "driver/file_lines.h"

#include <string_view>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver/inputs.h"

namespace delimcheck::driver {

file_lines::~file_lines()
{
    if (fd_ >= 0)
        ::close(fd_);
}

// Only a regular file gives its lines again: a FIFO or a device would wait for a writer, or
// give other bytes than those checked. Opened without blocking, so that a FIFO is seen as one.
bool file_lines::opened()
{
    if (fd_ < 0 && !failed_) {
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        struct stat st;
        if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
            ::close(fd_);
            fd_ = -1;
        }
        failed_ = fd_ < 0;
        // Line 1 starts after a byte-order mark, as the checker read it.
        char start[3];
        if (fd_ >= 0 && ::pread(fd_, start, sizeof start, 0) == 3 &&
            std::string_view(start, 3) == byte_order_mark)
            marks_[0] = static_cast<std::int64_t>(byte_order_mark.size());
    }
    return fd_ >= 0;
}

// The bytes from offset on, a block at a time; empty at the end or on an error.
bool file_lines::read_at(std::int64_t offset, std::string &block)
{
    block.resize(1 << 16);
    for (;;) {
        ssize_t n = ::pread(fd_, block.data(), block.size(), offset);
        if (n < 0 && errno == EINTR)
            continue;
        block.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return n > 0;
    }
}

bool file_lines::line(std::int64_t n, std::string &text)
{
    if (n < 1 || !opened())
        return false;
    std::size_t k = static_cast<std::size_t>((n - 1) / mark_every);
    if (k >= marks_.size())
        k = marks_.size() - 1;
    std::int64_t line = static_cast<std::int64_t>(k) * mark_every + 1, offset = marks_[k];
    text.clear();
    std::string block;
    while (read_at(offset, block)) {
        for (std::size_t i = 0; i < block.size(); ++i) {
            if (line == n)
                text += block[i];
            if (block[i] != '\n')
                continue;
            if (line == n)
                return true;
            ++line;
            if ((line - 1) % mark_every == 0 && static_cast<std::size_t>((line - 1) / mark_every) == marks_.size())
                marks_.push_back(offset + static_cast<std::int64_t>(i) + 1);
        }
        offset += static_cast<std::int64_t>(block.size());
    }
    return line == n && !text.empty(); // a last line without a newline
}

} // namespace delimcheck::driver
