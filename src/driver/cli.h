// The command line, turned into a value.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "delimcheck/options.h"
#include "format/writer.h"

namespace delimcheck::driver {

struct run_config {
    options check;                                       // the letters and --hints (every format but text sets hints)
    bool quiet = false;                                  // -q
    format::format_kind format = format::format_kind::text;
    bool status = false;                                 // --status: 1 when anything was reported
    bool recursive = false;                              // --recursive: directory operands are walked
    std::vector<std::string> includes;                   // --include: names the walk takes (empty: the script endings)
    std::vector<std::string> excludes;                   // --exclude: names or paths below an operand the walk skips
    bool hidden = false;                                 // --hidden: the walk takes names that begin with a dot
    std::string files_from;                              // --files-from: operands from this file ("-": standard input)
    bool null_separated = false;                         // --null: that list is NUL-separated
    unsigned jobs = 0;                                   // --jobs; 0: one per processor
    std::vector<std::string> operands;                   // standard input when there is none and no list
};

enum class cli_action { run, help, version, usage_error, lsp };

struct cli_result {
    cli_action action = cli_action::run;
    run_config config;
    std::string error; // usage_error: the one line to print
};

// Options are read before the first operand only; "--" ends them. --lsp stands alone: the
// client, not the command line, chooses the options and the files. A letter outside the table
// draws a diagnostic on err and is otherwise ignored; a bad long option or value is a usage
// error, for the caller to report before anything is checked.
cli_result parse_command_line(int argc, char **argv, std::FILE *err);

// What --help prints: the usage line and every option, one line each.
std::string help_text();

} // namespace delimcheck::driver
