// The command line, turned into a value.
#pragma once

#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "check/suppression.h"
#include "delimcheck/options.h"
#include "format/writer.h"

namespace delimcheck::driver {

enum class color_mode { auto_, always, never };

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
    bool hint_lines = false;                             // --hints: the text format writes the hint lines
    bool diff = false;                                   // --diff: the repairs as a unified diff, and nothing else
    bool fix = false;                                    // --fix: the safe repairs made in the files
    bool unsafe_fixes = false;                           // --unsafe-fixes: with --fix, the others too
    color_mode color = color_mode::auto_;                // --color, for the pretty format
    bool colored = false;                                // that choice made: auto_ is settled by the caller
    std::vector<std::string> operands;                   // standard input when there is none and no list
    // Adoption on a code base: the project file, and which findings are reported.
    std::string config_file;                             // --config: this project file for every input
    bool isolated = false;                               // --isolated: no project file at all
    std::optional<checking::code_set> select, ignore;    // --select, --ignore (repeatable, added up)
    std::optional<severity> threshold;                   // --severity
    bool report_unused_directives = false;               // --report-unused-directives
    bool statistics = false;                             // --statistics: counts per code, and nothing else
    bool show_settings = false;                          // --show-settings: each operand's settings, not checked
    bool show_suppressed = false;                        // --show-suppressed: json writes them, marked
};

enum class cli_action { run, help, version, usage_error, lsp };

struct cli_result {
    cli_action action = cli_action::run;
    run_config config;
    std::string error; // usage_error: the one line to print
};

struct option_parse; // the parse under way, which an option's handler changes

// One command-line option: the parser, --help, the usage line and the docs test are all made
// from the table of these, so an option is added with one row and its handler.
struct option_row {
    char letter;       // the short letter, or 0 for a long option
    const char *name;  // the long name without "--", or nullptr for a letter
    const char *value; // the value's name in --help ("NAME"), or nullptr: the option takes none
    const char *usage; // in the usage line: nullptr for "[--name]" or "[--name=VALUE]", "" for absent
    const char *help;  // --help's text, one line
    // Sets what the option means; a non-empty answer is the usage error to report.
    std::string (*handle)(option_parse &parse, const char *value);
};

// Every option, in --help's order: the letters, then the long options.
std::span<const option_row> option_table();

// The usage lines that --help starts with, as the README shows them.
std::string usage_text();

// Letters are read before the first operand only, long options anywhere; "--" ends them all.
// --lsp stands alone: the
// client, not the command line, chooses the options and the files. A letter outside the table
// draws a diagnostic on err and is otherwise ignored; a bad long option or value is a usage
// error, for the caller to report before anything is checked.
cli_result parse_command_line(int argc, char **argv, std::FILE *err);

// Whether to colour: --color=always or never as said; auto when standard output is a terminal
// and NO_COLOR is unset or empty.
bool use_color(color_mode mode, bool terminal, const char *no_color);

// What --help prints: the usage line and every option, one line each.
std::string help_text();

} // namespace delimcheck::driver
