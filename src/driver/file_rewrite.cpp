#include "driver/file_rewrite.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

#include "driver/inputs.h"

namespace delimcheck::driver {

namespace {

std::string failed(const char *what) { return std::string(what) + ": " + std::strerror(errno); }

bool write_all(int fd, std::string_view s)
{
    while (!s.empty()) {
        ssize_t n = ::write(fd, s.data(), s.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        s.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The file is the one that was read, unchanged: the same inode, size and modification time, and
// the same bytes, for a change within the clock's grain.
bool unchanged(const std::string &path, const struct stat &read, std::string_view before)
{
    struct stat now;
    if (::lstat(path.c_str(), &now) != 0 || now.st_dev != read.st_dev || now.st_ino != read.st_ino ||
        now.st_size != read.st_size || now.st_mtim.tv_sec != read.st_mtim.tv_sec ||
        now.st_mtim.tv_nsec != read.st_mtim.tv_nsec)
        return false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::string bytes;
    int error = read_all(fd, bytes);
    ::close(fd);
    return error == 0 && bytes == before;
}

// A file of ours, removed unless it was taken.
struct temporary {
    std::string path;
    int fd = -1;
    bool kept = false;
    ~temporary()
    {
        if (fd >= 0)
            ::close(fd);
        if (!path.empty() && !kept)
            ::unlink(path.c_str());
    }
};

// The target's new bytes, mode and owner, in a temporary file beside it, synced.
std::string write_copy(temporary &t, const std::string &target, const struct stat &read, std::string_view after)
{
    std::string::size_type slash = target.rfind('/');
    std::string dir = target.substr(0, slash + 1), base = target.substr(slash + 1);
    // Named after the file, so that one left by a crash says whose it was, unless the name
    // would then be too long for the directory.
    std::string name = dir + (base.size() <= 200 ? "." + base : std::string()) + ".delimcheck-XXXXXX";
    t.fd = ::mkstemp(name.data());
    if (t.fd < 0)
        return failed(("cannot create a file in " + dir).c_str());
    t.path = name;
    // The owner first: changing it may clear the set-id bits that the mode then restores. It
    // is changed only when it differs, as a file system without owners refuses any change.
    struct stat made;
    if (::fstat(t.fd, &made) != 0)
        return failed("cannot examine the new file");
    if ((made.st_uid != read.st_uid || made.st_gid != read.st_gid) &&
        ::fchown(t.fd, read.st_uid, read.st_gid) != 0 && errno != EPERM)
        return failed("cannot give the new file the old owner");
    if (::fchmod(t.fd, read.st_mode & 07777) != 0)
        return failed("cannot give the new file the old mode");
    if (!write_all(t.fd, after))
        return failed("cannot write the new file");
    if (::fsync(t.fd) != 0)
        return failed("cannot write the new file");
    int fd = t.fd;
    t.fd = -1;
    if (::close(fd) != 0)
        return failed("cannot write the new file");
    return {};
}

// The rename is durable once the directory is synced; the file is replaced either way.
void sync_directory(const std::string &target)
{
    std::string dir = target.substr(0, target.rfind('/') + 1);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

std::string rewrite_file(const std::string &path, const struct stat &read, std::string_view before,
                         std::string_view after)
{
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (!real)
        return failed("cannot resolve its name");
    const std::string target = real.get();
    struct stat now;
    if (::lstat(target.c_str(), &now) != 0)
        return failed("cannot examine it");
    if (!S_ISREG(now.st_mode))
        return "it is not a regular file";
    if (now.st_nlink > 1)
        return "it has " + std::to_string(now.st_nlink) + " hard links, which a new file would part";
    temporary t;
    if (std::string error = write_copy(t, target, read, after); !error.empty())
        return error;
    if (!unchanged(target, read, before))
        return "it changed after it was read; left as it is";
    if (::rename(t.path.c_str(), target.c_str()) != 0)
        return failed("cannot put the new file in its place");
    t.kept = true;
    sync_directory(target);
    return {};
}

} // namespace delimcheck::driver
