// Emscripten's file system keeps no extended attributes, and its libc has no calls for them. The
// module never rewrites a file (the npm command refuses --fix), but the driver that it shares
// with the native program links them: here they say that the file system does not support them.
#include <cerrno>
#include <cstddef>
#include <sys/types.h>

namespace {
ssize_t unsupported()
{
    errno = ENOTSUP;
    return -1;
}
} // namespace

extern "C" {
ssize_t listxattr(const char *, char *, std::size_t) { return unsupported(); }
ssize_t flistxattr(int, char *, std::size_t) { return unsupported(); }
ssize_t getxattr(const char *, const char *, void *, std::size_t) { return unsupported(); }
ssize_t fgetxattr(int, const char *, void *, std::size_t) { return unsupported(); }
int fsetxattr(int, const char *, const void *, std::size_t, int) { return static_cast<int>(unsupported()); }
int fremovexattr(int, const char *) { return static_cast<int>(unsupported()); }
}
