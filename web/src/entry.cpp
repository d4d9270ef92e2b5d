// The WebAssembly build's one entry: a command line run as the native program runs it, on one
// thread, with its output and its standard error kept in memory for the JavaScript caller. The
// inputs are files of the module's in-memory file system, put there by the caller; standard
// input is such a file too.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <string>
#include <unistd.h>

#include <emscripten/emscripten.h>

#include "driver/cli.h"
#include "driver/run.h"
#include "format/output.h"

namespace {

std::string out_text;
std::string err_text;

// What this build cannot do: write files back, walk directories the caller did not copy in,
// read a list of names, or serve an editor.
const char *unsupported(const delimcheck::driver::cli_result &cli)
{
    if (cli.action == delimcheck::driver::cli_action::lsp)
        return "--lsp";
    if (cli.config.fix)
        return "--fix";
    if (cli.config.recursive)
        return "--recursive";
    if (!cli.config.files_from.empty())
        return "--files-from";
    return nullptr;
}

int run(int argc, char **argv, const char *stdin_path, std::FILE *err)
{
    using namespace delimcheck;
    driver::cli_result cli = driver::parse_command_line(argc, argv, err);
    switch (cli.action) {
    case driver::cli_action::usage_error:
        std::fprintf(err, "%s\n", cli.error.c_str());
        return 2;
    case driver::cli_action::help:
        out_text = driver::help_text();
        return 0;
    case driver::cli_action::version:
        out_text = "delimcheck " DELIMCHECK_VERSION "\n";
        return 0;
    case driver::cli_action::run:
    case driver::cli_action::lsp:
        break;
    }
    if (const char *option = unsupported(cli)) {
        std::fprintf(err, "delimcheck: %s is not available in this build\n", option);
        return 2;
    }
    cli.config.jobs = 1; // no threads here: every input in turn on this one
    if (cli.config.format == format::format_kind::pretty)
        cli.config.colored = driver::use_color(cli.config.color, false, nullptr);
    int in = ::open(stdin_path, O_RDONLY);
    if (in < 0)
        in = ::open("/dev/null", O_RDONLY);
    format::string_destination out(out_text);
    int status = driver::run(cli.config, in, out, err);
    ::close(in);
    return status;
}

} // namespace

extern "C" {

// The driver asks how many processors there are only when --jobs is not given; here it always
// is, and the C library of this build has no such call.
int sched_getaffinity(pid_t, std::size_t, cpu_set_t *)
{
    errno = ENOSYS;
    return -1;
}
int __sched_cpucount(std::size_t, const cpu_set_t *) { return 1; }

// argv as the native program gets it (argv[0] included); stdin_path names the file that stands
// for standard input. Returns the exit status; the output and standard error are then at
// dc_out()/dc_out_size() and dc_err()/dc_err_size(), until the next call.
EMSCRIPTEN_KEEPALIVE int dc_run(int argc, char **argv, const char *stdin_path)
{
    out_text.clear();
    out_text.shrink_to_fit();
    err_text.clear();
    char *err_buffer = nullptr;
    std::size_t err_size = 0;
    std::FILE *err = open_memstream(&err_buffer, &err_size);
    int status = run(argc, argv, stdin_path, err != nullptr ? err : stderr);
    if (err != nullptr) {
        std::fclose(err);
        err_text.assign(err_buffer, err_size);
        std::free(err_buffer);
    }
    return status;
}

EMSCRIPTEN_KEEPALIVE const char *dc_out() { return out_text.data(); }
EMSCRIPTEN_KEEPALIVE std::size_t dc_out_size() { return out_text.size(); }
EMSCRIPTEN_KEEPALIVE const char *dc_err() { return err_text.data(); }
EMSCRIPTEN_KEEPALIVE std::size_t dc_err_size() { return err_text.size(); }
}
