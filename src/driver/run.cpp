#include "driver/run.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "delimcheck/checker.h"
#include "format/text_format.h"

namespace delimcheck::driver {

namespace {

// open succeeds on a directory and reading it then fails; a directory must not pass as a clean
// file, so it counts as one that cannot be opened.
int open_input(const std::string &path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        errno = EISDIR;
        return -1;
    }
    return fd;
}

struct sequential_run {
    const run_config &config;
    format::output &out;
    std::FILE *err;
    format::text_format text{config.quiet};
    checker check{config.check, text};
    bool read_failed = false;

    // A read error ends the input as its end would, but a half-read file must not pass as a
    // clean one: say so on standard error, and fail the run once it is over.
    void read_error(const std::string *name, int error)
    {
        out.flush(); // keep standard output and the message in order on a shared terminal
        std::fprintf(err, "delimcheck: error reading %s: %s\n", name != nullptr ? name->c_str() : "standard input",
                     std::strerror(error));
        read_failed = true;
    }

    void standard_input(int fd)
    {
        text.begin_input(out, nullptr);
        if (int e = check.check_fd(fd).read_error)
            read_error(nullptr, e);
    }

    void operand(const std::string &path)
    {
        text.begin_input(out, &path);
        int fd = open_input(path);
        if (fd < 0) {
            diagnostic d;
            d.kind = diagnostic_kind::cannot_access;
            d.system_error = errno;
            text.report(d);
            return;
        }
        int e = check.check_fd(fd).read_error;
        ::close(fd);
        if (e != 0)
            read_error(&path, e);
    }
};

} // namespace

int run(const run_config &config, int stdin_fd, format::destination &dest, std::FILE *err)
{
    format::output out(dest);
    try {
        sequential_run r{config, out, err};
        if (config.operands.empty())
            r.standard_input(stdin_fd);
        for (const std::string &path : config.operands)
            r.operand(path);
        out.flush();
        return r.read_failed ? 2 : 0;
    } catch (const std::bad_alloc &) {
        out.flush();
        std::fputs("delimcheck: out of memory\n", err);
        return 2;
    }
}

} // namespace delimcheck::driver
