// The project file, delimcheck.toml or .delimcheck.toml: for each input the nearest one in its
// directory or an ancestor. It sets what the command line's options set, under readable names,
// and which findings are reported; the command line wins over it, and it over the defaults.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "check/suppression.h"
#include "delimcheck/options.h"

namespace delimcheck::config {

// What one project file says; a key it leaves out is empty.
struct project_file {
    std::string path; // absolute, as it was found
    std::string directory; // its directory, ending in '/'
    std::optional<bool> hash_lines, backslash_blank, balancing, string_reports, any_quote_opens;
    std::optional<checking::code_set> select, ignore;
    std::optional<severity> threshold;
    std::optional<bool> report_unused_directives;
    std::vector<std::pair<std::string, checking::code_set>> per_file_ignores; // glob below the directory
    std::optional<std::vector<std::string>> include, exclude;
    std::vector<std::string> extend_include;
    std::optional<bool> hidden;
};

// A project file that cannot be read or says something it must not: the one line to print,
// "FILE:LINE:COLUMN: what is wrong" (or "FILE: what is wrong" when there is no place in it).
class project_error : public std::runtime_error {
public:
    explicit project_error(const std::string &line) : std::runtime_error(line) {}
};

// Reads and checks one project file. Throws project_error.
project_file read_project_file(const std::string &path);

// What the command line said, apart from the defaults: a flag that moved from its default, a
// list that was given.
struct command_line_settings {
    options check;
    std::optional<checking::code_set> select, ignore;
    std::optional<severity> threshold;
    bool report_unused_directives = false;
};

// The settings for one input: the command line over its project file over the defaults.
struct input_settings {
    options check;
    checking::selection selection;
    checking::code_set ignored_here = 0; // by per-file-ignores
};

input_settings settle(const command_line_settings &cl, const project_file *file, const std::string &absolute_name);

// An absolute, lexically normal form of name (against the working directory when relative).
std::string absolute_path(const std::string &name, const std::string &working_directory);

// Finds the project file for inputs, once per directory: the answer for a directory is kept,
// and every directory passed on the way up learns it too. Threads may share one finder.
class project_finder {
public:
    explicit project_finder(std::string working_directory) : cwd_(std::move(working_directory)) {}

    // The project file that applies to the input (nullptr: none); standard input is taken to
    // be in the working directory. Throws project_error.
    std::shared_ptr<const project_file> for_input(const std::string &name, bool standard_input = false);
    // The same for a directory.
    std::shared_ptr<const project_file> for_directory(const std::string &absolute_directory);

    std::uint64_t lookups() const; // directories examined, for the measurements

private:
    std::string cwd_;
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<const project_file>> known_; // by directory
    std::map<std::string, std::shared_ptr<const project_file>> files_; // by path
    std::uint64_t lookups_ = 0;
};

// The settings in the project file's own words, one "key = value" a line, for --show-settings.
std::string describe(const input_settings &s, const project_file *file, const std::vector<std::string> &include,
                     const std::vector<std::string> &exclude, bool hidden);

} // namespace delimcheck::config
