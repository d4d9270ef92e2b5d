// The command line, turned into a value.
#pragma once

#include <string>
#include <vector>

#include "delimcheck/options.h"

namespace delimcheck::driver {

struct run_config {
    options check;
    bool quiet = false;                // -q
    std::vector<std::string> operands; // standard input when there is none
};

// Options are read before the first operand only; "--" ends them. A letter outside the table
// draws getopt's diagnostic on standard error and is otherwise ignored.
run_config parse_command_line(int argc, char **argv);

} // namespace delimcheck::driver
