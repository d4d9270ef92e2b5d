// Errors in the driver travel as values: a step that can fail returns std::optional<failure>,
// empty when it went well, or hands its failure to its caller beside its result. Exceptions
// are kept for the process's edge (main) and for a sink's failed write of the output.
#pragma once

#include <string>

namespace delimcheck::driver {

struct failure {
    int err = 0;      // the errno value behind it, 0 when it is no system error
    std::string what; // said to the user as it is
};

} // namespace delimcheck::driver
