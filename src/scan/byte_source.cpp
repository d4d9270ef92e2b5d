#include "scan/byte_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <istream>
#include <sys/stat.h>
#include <unistd.h>

namespace delimcheck::scan {

std::size_t memory_source::read(unsigned char *p, std::size_t n)
{
    n = std::min(n, rest_.size());
    std::memcpy(p, rest_.data(), n);
    rest_.remove_prefix(n);
    return n;
}

fd_source::fd_source(int fd) : fd_(fd)
{
    struct stat st;
    regular_ = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    size_ = regular_ ? st.st_size : 0;
}

bool fd_source::can_rewind() const
{
    if (start_ == -2)
        start_ = regular_ ? lseek(fd_, 0, SEEK_CUR) : -1;
    return start_ >= 0;
}

bool fd_source::rewind()
{
    if (!can_rewind() || lseek(fd_, start_, SEEK_SET) != start_)
        return false;
    error_ = 0;
    read_ = 0;
    return true;
}

// Files checked by the thousand are mostly one read each: once a regular file has given as
// much as its size said, its end is taken as read, and the read that would say so is spared.
// What is appended after that is not this check's.
std::size_t fd_source::read(unsigned char *p, std::size_t n)
{
    if (error_ != 0 || (regular_ && size_ > 0 && read_ >= size_))
        return 0;
    for (;;) {
        ssize_t got = ::read(fd_, p, n);
        if (got >= 0) {
            read_ += got;
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            error_ = errno;
            return 0;
        }
    }
}

istream_source::istream_source(std::istream &in) : in_(in)
{
    std::streampos at = in.tellg();
    start_ = at == std::streampos(-1) ? -1 : static_cast<long long>(at);
}

bool istream_source::rewind()
{
    if (start_ < 0)
        return false;
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(start_));
    error_ = 0;
    return !in_.fail();
}

std::size_t istream_source::read(unsigned char *p, std::size_t n)
{
    if (error_ != 0 || !in_.good())
        return 0;
    in_.read(reinterpret_cast<char *>(p), static_cast<std::streamsize>(n));
    if (in_.bad())
        error_ = EIO; // a stream says only that it failed, not why
    return static_cast<std::size_t>(in_.gcount());
}

bool byte_reader::fill()
{
    have_ = src_.read(buf_, sizeof buf_);
    pos_ = 0;
    return have_ > 0;
}

} // namespace delimcheck::scan
