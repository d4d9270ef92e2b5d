// The process: the command line in, the exit status out, and how a failed write ends it.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "driver/cli.h"
#include "driver/run.h"

int main(int argc, char **argv)
{
    using namespace delimcheck;
    driver::run_config config = driver::parse_command_line(argc, argv);
    format::fd_destination out(STDOUT_FILENO);
    try {
        return driver::run(config, STDIN_FILENO, out, stderr);
    } catch (const format::write_error &e) {
        if (e.error() == EPIPE) {
            // Die of the broken pipe quietly, like any filter whose reader went away.
            std::signal(SIGPIPE, SIG_DFL);
            std::raise(SIGPIPE);
        }
        std::fprintf(stderr, "delimcheck: error writing standard output: %s\n", std::strerror(e.error()));
        return 2;
    }
}
