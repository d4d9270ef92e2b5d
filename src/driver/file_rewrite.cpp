#include "driver/file_rewrite.h"

#include <cerrno>
#include <algorithm>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

#include "driver/inputs.h"

namespace delimcheck::driver {

namespace {

failure failed(const std::string &what)
{
    int err = errno;
    return {err, what + ": " + std::strerror(err)};
}

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

// The temporary file of the rewrite under way, for a signal's handler to remove: a fixed
// buffer, since the handler may only read it. One rewrite at a time is under way (--fix works
// on one thread); the signals are blocked while the name changes.
char pending_name[PATH_MAX + 1];
volatile sig_atomic_t pending = 0;
const int ending_signals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void remove_pending_and_die(int signal)
{
    if (pending != 0)
        ::unlink(pending_name);
    std::signal(signal, SIG_DFL);
    std::raise(signal); // blocked in the handler; delivered when it returns
}

// Blocks the ending signals for its lifetime.
struct signals_blocked {
    sigset_t old;
    signals_blocked()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int s : ending_signals)
            sigaddset(&set, s);
        pthread_sigmask(SIG_BLOCK, &set, &old);
    }
    ~signals_blocked() { pthread_sigmask(SIG_SETMASK, &old, nullptr); }
};

// Installs the handler for the signals whose default is to end the process; one that is
// ignored (nohup) stays ignored.
void handle_ending_signals()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    for (int s : ending_signals) {
        struct sigaction now {};
        if (::sigaction(s, nullptr, &now) != 0 || now.sa_handler != SIG_DFL)
            continue;
        struct sigaction act {};
        act.sa_handler = remove_pending_and_die;
        sigemptyset(&act.sa_mask);
        for (int other : ending_signals)
            sigaddset(&act.sa_mask, other);
        ::sigaction(s, &act, nullptr);
    }
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
        forget();
    }
    // Made with the signals blocked, so that no signal falls between its making and its name
    // being known to the handler.
    bool make(std::string name)
    {
        if (name.size() > PATH_MAX) {
            errno = ENAMETOOLONG;
            return false;
        }
        signals_blocked blocked;
        fd = ::mkstemp(name.data());
        if (fd < 0)
            return false;
        path = name;
        std::memcpy(pending_name, name.c_str(), name.size() + 1);
        pending = 1;
        return true;
    }
    void forget()
    {
        signals_blocked blocked;
        pending = 0;
    }
};

// Who the process is not allowed to write for: the permission bits and ACLs as the kernel
// judges them, and for a process that the kernel lets write anything, a file that no one may
// write is still read-only.
std::optional<failure> may_not_write(const std::string &target, const struct stat &st)
{
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return errno == EACCES ? failure{EACCES, "you may not write it"} : failed("cannot tell whether you may write it");
    if ((st.st_mode & 0222) == 0)
        return failure{0, "it is read-only"};
    return {};
}

// The extended attributes of path (ACLs among them, as system.posix_acl_*), by name.
bool attribute_names(const std::function<ssize_t(char *, std::size_t)> &list, std::vector<std::string> &names)
{
    std::vector<char> buffer;
    for (;;) {
        ssize_t size = list(nullptr, 0);
        if (size < 0)
            return errno == ENOTSUP; // a file system without them has none to keep
        buffer.resize(static_cast<std::size_t>(size));
        ssize_t got = size == 0 ? 0 : list(buffer.data(), buffer.size());
        if (got >= 0) {
            buffer.resize(static_cast<std::size_t>(got));
            break;
        }
        if (errno != ERANGE)
            return false;
    }
    names.clear();
    for (std::size_t at = 0; at < buffer.size();) {
        std::string name(buffer.data() + at);
        at += name.size() + 1;
        if (!name.empty())
            names.push_back(name);
    }
    return true;
}

bool attribute_value(const std::function<ssize_t(void *, std::size_t)> &get, std::string &value)
{
    for (;;) {
        ssize_t size = get(nullptr, 0);
        if (size < 0)
            return false;
        value.resize(static_cast<std::size_t>(size));
        ssize_t got = size == 0 ? 0 : get(value.data(), value.size());
        if (got >= 0) {
            value.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
}

// The new file gets the old one's extended attributes, and loses any it was born with (an ACL
// that the directory hands down) that the old one did not have.
std::optional<failure> copy_attributes(const std::string &target, int fd)
{
    std::vector<std::string> old_names, new_names;
    if (!attribute_names([&](char *b, std::size_t n) { return ::listxattr(target.c_str(), b, n); }, old_names))
        return failed("cannot list its extended attributes");
    if (!attribute_names([&](char *b, std::size_t n) { return ::flistxattr(fd, b, n); }, new_names))
        return failed("cannot list the new file's extended attributes");
    for (const std::string &name : new_names)
        if (!name.starts_with("security.") && // the system's own labels, which it gives every new file
            std::find(old_names.begin(), old_names.end(), name) == old_names.end() &&
            ::fremovexattr(fd, name.c_str()) != 0)
            return failed("cannot keep the new file without the extended attribute " + name);
    for (const std::string &name : old_names) {
        std::string value, now;
        if (!attribute_value([&](void *b, std::size_t n) { return ::getxattr(target.c_str(), name.c_str(), b, n); },
                             value))
            return failed("cannot read its extended attribute " + name);
        if (attribute_value([&](void *b, std::size_t n) { return ::fgetxattr(fd, name.c_str(), b, n); }, now) &&
            now == value)
            continue;
        if (::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0)
            return failed("cannot keep its extended attribute " + name);
    }
    return {};
}

// The target's new bytes, mode and owner, in a temporary file beside it, synced.
std::optional<failure> write_copy(temporary &t, const std::string &target, const struct stat &read, std::string_view after)
{
    std::string::size_type slash = target.rfind('/');
    std::string dir = target.substr(0, slash + 1), base = target.substr(slash + 1);
    // Named after the file, so that one left by a crash says whose it was, unless the name
    // would then be too long for the directory.
    std::string name = dir + (base.size() <= 200 ? "." + base : std::string()) + ".delimcheck-XXXXXX";
    if (!t.make(name))
        return failed("cannot create a file in " + dir);
    // The owner first: changing it may clear the set-id bits that the mode then restores. It
    // is changed only when it differs, as a file system without owners refuses any change.
    struct stat made;
    if (::fstat(t.fd, &made) != 0)
        return failed("cannot examine the new file");
    if ((made.st_uid != read.st_uid || made.st_gid != read.st_gid) &&
        ::fchown(t.fd, read.st_uid, read.st_gid) != 0)
        return failed("cannot keep its owner and group");
    if (::fchmod(t.fd, read.st_mode & 07777) != 0)
        return failed("cannot give the new file the old mode");
    // After the mode, which an access ACL then refines, as it did on the old file.
    if (std::optional<failure> error = copy_attributes(target, t.fd))
        return error;
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

std::optional<failure> rewrite_file(const std::string &path, const struct stat &read, std::string_view before,
                                    std::string_view after)
{
    rewritten where;
    return rewrite_file(path, read, before, after, where);
}

std::optional<failure> rewrite_file(const std::string &path, const struct stat &read, std::string_view before,
                                    std::string_view after, rewritten &where,
                                    const std::function<bool(const std::string &target)> &announce)
{
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    if (!real)
        return failed("cannot resolve its name");
    const std::string target = real.get();
    struct stat now;
    if (::lstat(target.c_str(), &now) != 0)
        return failed("cannot examine it");
    if (!S_ISREG(now.st_mode))
        return failure{0, "it is not a regular file"};
    if (now.st_nlink > 1)
        return failure{0, "it has " + std::to_string(now.st_nlink) + " hard links, which a new file would part"};
    if (std::optional<failure> error = may_not_write(target, now))
        return error;
    handle_ending_signals();
    temporary t;
    if (std::optional<failure> error = write_copy(t, target, read, after))
        return error;
    if (!unchanged(target, read, before))
        return failure{0, "it changed after it was read; left as it is"};
    struct stat made;
    if (::stat(t.path.c_str(), &made) != 0)
        return failed("cannot examine the new file");
    if (announce && !announce(target))
        return failure{0, "it could not be said that the file is fixed; left as it is"};
    if (::rename(t.path.c_str(), target.c_str()) != 0)
        return failed("cannot put the new file in its place");
    t.kept = true;
    t.forget();
    where = {target, made.st_dev, made.st_ino};
    sync_directory(target);
    return {};
}

} // namespace delimcheck::driver
