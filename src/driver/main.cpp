// The process: the command line in, the exit status out, and how a failed write ends it.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "driver/cli.h"
#include "driver/run.h"
#include "lsp/message_reader.h"
#include "lsp/server.h"

int main(int argc, char **argv)
{
    using namespace delimcheck;
    driver::cli_result cli = driver::parse_command_line(argc, argv, stderr);
    switch (cli.action) {
    case driver::cli_action::usage_error:
        std::fprintf(stderr, "%s\n", cli.error.c_str());
        return 2;
    case driver::cli_action::help:
        std::fputs(driver::help_text().c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 2;
    case driver::cli_action::version:
        std::puts("delimcheck " DELIMCHECK_VERSION);
        return std::fflush(stdout) == 0 ? 0 : 2;
    case driver::cli_action::run:
    case driver::cli_action::lsp:
        break;
    }
    if (cli.config.format == format::format_kind::pretty)
        cli.config.colored = driver::use_color(cli.config.color, isatty(STDOUT_FILENO) != 0, std::getenv("NO_COLOR"));
    format::fd_destination out(STDOUT_FILENO);
    auto write_failed = [](int error) {
        if (error == EPIPE) {
            // Die of the broken pipe quietly, like any filter whose reader went away.
            std::signal(SIGPIPE, SIG_DFL);
            std::raise(SIGPIPE);
        }
        std::fprintf(stderr, "delimcheck: error writing standard output: %s\n", std::strerror(error));
        return 2;
    };
    if (cli.action == driver::cli_action::run) {
        // The run ends early when its output cannot be written, and leaves the saying to here.
        int status = driver::run(cli.config, STDIN_FILENO, out, stderr);
        return out.error() != 0 ? write_failed(out.error()) : status;
    }
    // The server ends by its own exceptions, here at the process's edge.
    try {
        // A client that goes away ends the server through the failed write, not a signal.
        std::signal(SIGPIPE, SIG_IGN);
        lsp::fd_input in(STDIN_FILENO);
        return lsp::serve(in, out, true);
    } catch (const lsp::read_failure &e) {
        std::fprintf(stderr, "delimcheck: error reading standard input: %s\n", std::strerror(e.error));
        return 2;
    } catch (const lsp::write_failure &e) {
        return write_failed(e.error);
    }
}
