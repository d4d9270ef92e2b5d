// What the server does for a project adopting the checker: each document's reports filtered by
// the project file that applies to its path and by the directives in its text as it stands,
// and the code action that writes a directive.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/project.h"
#include "delimcheck/diagnostic.h"
#include "delimcheck/options.h"
#include "lsp/text_position.h"

namespace delimcheck::lsp {

class adoption {
public:
    adoption();

    // The reports to publish: those that neither the project file of the document's path nor a
    // directive in text accepts, with the directives' own warnings. A project file that cannot
    // be read is said once in error, and the document's reports pass unfiltered.
    std::vector<diagnostic> reported(const std::string &uri, std::string_view text,
                                     const std::vector<diagnostic> &reports, std::string &error);

    // The options a document is checked with: the client's settings over the project file of
    // its path over the defaults, as the command line's options over a file's. A project file
    // that cannot be read is said once in error, and the client's settings apply alone.
    options options_for(const std::string &uri, const options &client, std::string &error);

    // The project files are read again at their next use: one may have changed on disk.
    void forget_project_files();

    // "Ignore CODE on this line" for each of the client's Diagnostics that has a code: the
    // directive after ";#" at the end of the line, or added to one that is there.
    nlohmann::json ignore_actions(const std::string &uri, std::string_view text, const nlohmann::json &diagnostics,
                                  encoding enc, std::optional<std::int64_t> version) const;

private:
    std::shared_ptr<const config::project_file> project_file(const std::string &path, std::string &error);

    std::string working_directory_;
    std::optional<config::project_finder> finder_;
    std::set<std::string> said_; // the project files' errors logged already
};

// The path of a file: URI, or empty for any other.
std::string path_of_uri(const std::string &uri);

} // namespace delimcheck::lsp
