// The checker's options as a client sets them, by name, in initializationOptions or
// workspace/didChangeConfiguration: at the top level or under "delimcheck".
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "delimcheck/options.h"

namespace delimcheck::lsp {

// Takes the settings that `value` names into `opts`, and the default for each one it does not
// name or names as null; returns a sentence for each one it could not take (a value of the
// wrong type), which keeps its value in `opts`.
std::vector<std::string> apply_settings(const nlohmann::json &value, options &opts);

} // namespace delimcheck::lsp
