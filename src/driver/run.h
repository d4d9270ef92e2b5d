// A whole run: each operand in turn, or standard input, through one checker and one format.
#pragma once

#include <cstdio>

#include "driver/cli.h"
#include "format/output.h"

namespace delimcheck::driver {

// Returns the exit status: 0, or 2 when an input could not be read to its end or memory ran
// out (one line on err says which). A failed write of the output is thrown as
// format::write_error, for the caller to decide how the process ends.
int run(const run_config &config, int stdin_fd, format::destination &out, std::FILE *err);

} // namespace delimcheck::driver
