// A whole run: the inputs in order, checked on one thread or several, each input's output
// written in input order as soon as the output of every input before it is written.
#pragma once

#include <cstdio>

#include "driver/cli.h"
#include "format/output.h"

namespace delimcheck::driver {

// Returns the exit status. Without --status: 0, or 2 when an input could not be read to its
// end, the list of --files-from could not be read, or memory ran out (one line on err says
// which). With --status: 0 when nothing was reported, 1 when anything was, 2 when an input could
// not be opened or read, or the list not read. A failed write of the output ends the run with
// 2 and nothing more said; out.error() then holds its errno, for the caller to decide how the
// process ends.
int run(const run_config &config, int stdin_fd, format::destination &out, std::FILE *err);

} // namespace delimcheck::driver
