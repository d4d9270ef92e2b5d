// The checker's reports as LSP Diagnostics, and the quick fixes they carry.
#pragma once

#include <string>
#include <utility>
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
    bool safe = false;    // the repair keeps the script's meaning: an editor may apply it unasked
};

struct published {
    nlohmann::json diagnostics = nlohmann::json::array();
    std::vector<quick_fix> fixes;
};

// Every fault becomes a Diagnostic on its delimiter; the reports of one closer that discards
// several entries are one fault, each entry discarded a related location. A report with a
// likely fault gives that place a Diagnostic of its own, of severity Information, once for all
// the reports that share it. Positions in messages and titles are the client's: its lines, and
// its columns from 1 in its units.
published describe(const std::vector<diagnostic> &reports, std::string_view text, const std::string &uri,
                   encoding enc);

// Whether a Diagnostic's lines meet lines [first, last] (none when first is negative). A range
// that ends at the start of a line does not take that line.
bool touches(const nlohmann::json &diagnostic, std::int64_t first, std::int64_t last);

// Which of the Diagnostics a fix answers the client sends back, if any: the same line, code
// and message.
const nlohmann::json *answers(const quick_fix &fix, const nlohmann::json &client_diagnostic);

// The kind of the source action that applies the safe repair.
inline constexpr const char *fix_all_kind = "source.fixAll.delimcheck";

// Whether a code action of `kind` is asked for by a request's `only`. LSP's kinds are a
// hierarchy: "source.fixAll" asks for "source.fixAll.delimcheck", and "quickfix.delimcheck"
// does not ask for "quickfix". Without `only`, the quick fixes are, and no source action.
bool asked_for(const nlohmann::json &only, std::string_view kind);

// The lines [first, last] of a code-action request's range; {-1, -1} without one. Throws
// bad_range when the range is not one.
struct bad_range {};
std::pair<std::int64_t, std::int64_t> range_lines(const nlohmann::json &params);

// Where the edits of a code action go.
struct action_target {
    std::string uri;
    std::int64_t version = 0;
    bool document_changes = false; // the client takes versioned documentChanges
};

// The code actions that answer a request's parameters (CodeActionParams, already checked for
// their types) from what was published: a quick fix for each repair whose Diagnostic is in
// the context or meets the range, preferred only when safe; the safe repair as the source
// action when one is asked for.
nlohmann::json code_actions(const published &p, const nlohmann::json &params, const action_target &target);

} // namespace delimcheck::lsp
