// The checker's reports as LSP Diagnostics, and the quick fixes they carry.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "delimcheck/diagnostic.h"
#include "lsp/text_position.h"

namespace delimcheck::lsp {

// A repair that a published diagnostic carries, kept until the next check: the Diagnostics
// it answers (the report and, when there is one, the likely fault's own) and its edits.
struct quick_fix {
    std::string title;
    std::vector<nlohmann::json> answers;
    nlohmann::json edits; // TextEdit[] in the client's positions
};

struct published {
    nlohmann::json diagnostics = nlohmann::json::array();
    std::vector<quick_fix> fixes;
};

// Every report becomes a Diagnostic on its delimiter; a report with a likely fault gives that
// place a Diagnostic of its own, of severity Information, once for all the reports that share
// it.
published describe(const std::vector<diagnostic> &reports, std::string_view text, const std::string &uri,
                   encoding enc);

// Which of the Diagnostics a fix answers the client sends back, if any: the same line, code
// and message.
const nlohmann::json *answers(const quick_fix &fix, const nlohmann::json &client_diagnostic);

} // namespace delimcheck::lsp
