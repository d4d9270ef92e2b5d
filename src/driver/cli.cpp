#include "driver/cli.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <getopt.h>
#include <string_view>

#include "format/formats.h"

namespace delimcheck::driver {

struct option_parse {
    run_config &config;
    bool help = false, version = false, lsp = false;
    bool color = false; // --color was given
};

namespace {

// Flags only move away from their defaults, so a listing option combined with one it implies
// is the same as the higher one alone.
void raise_listing(options &o, listing_mode m)
{
    if (m > o.listing)
        o.listing = m;
}

bool parse_color(std::string_view text, color_mode &mode)
{
    if (text == "auto")
        mode = color_mode::auto_;
    else if (text == "always")
        mode = color_mode::always;
    else if (text == "never")
        mode = color_mode::never;
    else
        return false;
    return true;
}

bool parse_jobs(const char *text, unsigned &jobs)
{
    char *end = nullptr;
    errno = 0;
    long n = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || n < 1 || n > 1024)
        return false;
    jobs = static_cast<unsigned>(n);
    return true;
}

using parse = option_parse;
using answer = std::string;

// --select and --ignore: codes added to what earlier ones gave.
answer add_codes(std::optional<checking::code_set> &set, const char *option, const char *v)
{
    checking::code_set got = set.value_or(0);
    std::string bad;
    if (!checking::parse_codes(v, got, bad))
        return std::string("--") + option + ": unknown code '" + bad + "' (see delimcheck(1), Message codes)";
    set = got;
    return {};
}

// The short letters keep their meanings and no new one is taken: a new option is a long one.
const option_row rows[] = {
    {'c', nullptr, nullptr, nullptr, "no hash lines: '#' at the start of a line is an ordinary byte",
     [](parse &p, const char *) { p.config.check.hash_lines = false; return answer(); }},
    {'e', nullptr, nullptr, nullptr, "warn about a backslash followed by blanks at the end of a line",
     [](parse &p, const char *) { p.config.check.warn_backslash_blank = true; return answer(); }},
    {'g', nullptr, nullptr, nullptr, "no balancing: after a closer that does not fit, discard nothing",
     [](parse &p, const char *) { p.config.check.balancing = false; return answer(); }},
    {'i', nullptr, nullptr, nullptr, "no reports about delimiters inside strings",
     [](parse &p, const char *) { p.config.check.report_in_string = false; return answer(); }},
    {'j', nullptr, nullptr, nullptr, "list what stays open after later lines have closed it (implies -l)",
     [](parse &p, const char *) { raise_listing(p.config.check, listing_mode::join); return answer(); }},
    {'l', nullptr, nullptr, nullptr, "list lines, cancelling each against the line that closes it (implies -m)",
     [](parse &p, const char *) { raise_listing(p.config.check, listing_mode::pair); return answer(); }},
    {'m', nullptr, nullptr, nullptr, "list lines, dropping pairs that open and close on the same line (implies -s)",
     [](parse &p, const char *) { raise_listing(p.config.check, listing_mode::collapse); return answer(); }},
    {'q', nullptr, nullptr, nullptr, "print a file's header line only before its first report or listing line",
     [](parse &p, const char *) { p.config.quiet = true; return answer(); }},
    {'s', nullptr, nullptr, nullptr, "list every line that holds a tracked delimiter, with its indentation",
     [](parse &p, const char *) { raise_listing(p.config.check, listing_mode::show); return answer(); }},
    {'t', nullptr, nullptr, nullptr, "every double quote outside a string opens one",
     [](parse &p, const char *) { p.config.check.any_quote_opens = true; return answer(); }},
    {0, "format", "NAME", nullptr, "text (the default), gcc, json, github, sarif or pretty",
     [](parse &p, const char *v) {
         if (!format::parse_format(v, p.config.format))
             return "unknown format '" + std::string(v) + "' (text, gcc, json, github, sarif or pretty)";
         return answer();
     }},
    {0, "hints", nullptr, nullptr, "text format: after a report, where the indentation places the fault",
     [](parse &p, const char *) {
         p.config.check.hints = true;
         p.config.hint_lines = true;
         return answer();
     }},
    {0, "status", nullptr, nullptr, "exit 1 when anything was reported, 2 when an input could not be opened or read",
     [](parse &p, const char *) { p.config.status = true; return answer(); }},
    {0, "recursive", nullptr, nullptr, "walk directory operands for *.tcl, *.tk, *.tm and *.test files",
     [](parse &p, const char *) { p.config.recursive = true; return answer(); }},
    {0, "include", "GLOB", nullptr, "walk for files whose names match GLOB instead (repeatable)",
     [](parse &p, const char *v) { p.config.includes.emplace_back(v); return answer(); }},
    {0, "exclude", "GLOB", nullptr, "skip what GLOB matches, by name or by path below the operand (repeatable)",
     [](parse &p, const char *v) { p.config.excludes.emplace_back(v); return answer(); }},
    {0, "hidden", nullptr, nullptr, "walk names that begin with a dot too, as .git (skipped by default)",
     [](parse &p, const char *) { p.config.hidden = true; return answer(); }},
    {0, "files-from", "FILE", "[--files-from=FILE [--null]]", "read the operands from FILE, one a line ('-': standard input)",
     [](parse &p, const char *v) {
         if (*v == '\0')
             return answer("option '--files-from' needs a file name");
         p.config.files_from = v;
         return answer();
     }},
    {0, "null", nullptr, "", "the names in that FILE end with NUL bytes, not newlines",
     [](parse &p, const char *) { p.config.null_separated = true; return answer(); }},
    {0, "jobs", "N", nullptr, "check N inputs at a time (default: one per processor)",
     [](parse &p, const char *v) {
         if (!parse_jobs(v, p.config.jobs))
             return "--jobs takes a number from 1 to 1024, not '" + std::string(v) + "'";
         return answer();
     }},
    {0, "diff", nullptr, nullptr, "write the repair of each input as a unified diff, and nothing else",
     [](parse &p, const char *) { p.config.diff = true; return answer(); }},
    {0, "fix", nullptr, nullptr, "make the repair in each file, if it is safe and leaves the file clean",
     [](parse &p, const char *) { p.config.fix = true; return answer(); }},
    {0, "unsafe-fixes", nullptr, nullptr, "with --fix, make the repairs that may change what a script means too",
     [](parse &p, const char *) { p.config.unsafe_fixes = true; return answer(); }},
    {0, "color", "WHEN", nullptr, "pretty format: colour auto (on a terminal, unless NO_COLOR), always, never",
     [](parse &p, const char *v) {
         if (!parse_color(v, p.config.color))
             return "--color takes auto, always or never, not '" + std::string(v) + "'";
         p.color = true;
         return answer();
     }},
    {0, "config", "FILE", nullptr, "read the settings from this project file, for every input",
     [](parse &p, const char *v) {
         if (*v == '\0')
             return answer("option '--config' needs a file name");
         p.config.config_file = v;
         return answer();
     }},
    {0, "isolated", nullptr, nullptr, "read no project file (delimcheck.toml or .delimcheck.toml)",
     [](parse &p, const char *) { p.config.isolated = true; return answer(); }},
    {0, "select", "CODES", nullptr, "report only these codes, a comma list (repeatable)",
     [](parse &p, const char *v) { return add_codes(p.config.select, "select", v); }},
    {0, "ignore", "CODES", nullptr, "do not report these codes, a comma list (repeatable)",
     [](parse &p, const char *v) { return add_codes(p.config.ignore, "ignore", v); }},
    {0, "severity", "LEVEL", nullptr, "report only findings at LEVEL or above: error or warning",
     [](parse &p, const char *v) {
         if (std::string_view(v) == "error")
             p.config.threshold = severity::error;
         else if (std::string_view(v) == "warning")
             p.config.threshold = severity::warning;
         else
             return "--severity takes error or warning, not '" + std::string(v) + "'";
         return answer();
     }},
    {0, "report-unused-directives", nullptr, nullptr, "warn about delimcheck directives that suppress nothing",
     [](parse &p, const char *) { p.config.report_unused_directives = true; return answer(); }},
    {0, "show-suppressed", nullptr, nullptr, "json format: write suppressed findings too, marked",
     [](parse &p, const char *) { p.config.show_suppressed = true; return answer(); }},
    {0, "statistics", nullptr, nullptr, "print how many findings of each code the inputs have, and nothing else",
     [](parse &p, const char *) { p.config.statistics = true; return answer(); }},
    {0, "show-settings", nullptr, nullptr, "print the settings that apply to each file named, and check nothing",
     [](parse &p, const char *) { p.config.show_settings = true; return answer(); }},
    {0, "lsp", nullptr, "", "serve the Language Server Protocol on standard input and output",
     [](parse &p, const char *) { p.lsp = true; return answer(); }},
    {0, "stdio", nullptr, "", "the same as --lsp: language clients add it to the command line",
     [](parse &p, const char *) { p.lsp = true; return answer(); }},
    {0, "help", nullptr, "", "print this help and exit", [](parse &p, const char *) { p.help = true; return answer(); }},
    {0, "version", nullptr, "", "print the version and exit",
     [](parse &p, const char *) { p.version = true; return answer(); }},
};

// getopt tells a long option by a value above any byte: 256 plus its row.
constexpr int long_base = 256;

const option_row *row_of(int got)
{
    if (got >= long_base)
        return static_cast<std::size_t>(got - long_base) < std::size(rows) ? &rows[got - long_base] : nullptr;
    for (const option_row &r : rows)
        if (r.name == nullptr && r.letter == got)
            return &r;
    return nullptr;
}

const char *long_name(int value)
{
    const option_row *r = row_of(value);
    return r != nullptr && r->name != nullptr ? r->name : "?";
}

std::vector<struct option> getopt_table()
{
    std::vector<struct option> table;
    for (std::size_t i = 0; i < std::size(rows); ++i)
        if (rows[i].name != nullptr)
            table.push_back({rows[i].name, rows[i].value != nullptr ? required_argument : no_argument, nullptr,
                             long_base + static_cast<int>(i)});
    table.push_back({nullptr, 0, nullptr, 0});
    return table;
}

std::string letters()
{
    std::string s;
    for (const option_row &r : rows)
        if (r.name == nullptr)
            s += r.letter;
    return s;
}

#ifdef __GLIBC__
// A leading '+' makes glibc stop at the first operand, as POSIX does, whatever the environment
// says; ':' lets a missing argument be told from an unknown option. optind 0 makes it start
// afresh when one process parses twice.
const char letters_prefix[] = "+:";
const int getopt_restart = 0;
#else
const char letters_prefix[] = ":";
const int getopt_restart = 1;
#endif

// --diff writes only diffs; --fix rewrites files, which standard input is not. "-" names a file
// of that name here, but whoever writes it may mean standard input, and is asked to say.
std::string repair_error(const run_config &c)
{
    if (c.diff && (c.format != format::format_kind::text || c.check.listing != listing_mode::none))
        return "--diff writes diffs only: it takes no --format and no listing (-s, -m, -l, -j)";
    if (c.unsafe_fixes && !c.fix)
        return "option '--unsafe-fixes' needs --fix";
    if (!c.fix)
        return {};
    if (c.operands.empty() && c.files_from.empty())
        return "--fix rewrites files and cannot rewrite standard input: name the files";
    for (const std::string &o : c.operands)
        if (o == "-")
            return "--fix cannot rewrite standard input; for a file named -, write ./-";
    return {};
}

// The options that replace the findings' output, or shape one format's, with what they cannot
// go with.
std::string adoption_error(const run_config &c)
{
    if (c.isolated && !c.config_file.empty())
        return "--isolated reads no project file, and --config names one: give one of the two";
    if (c.show_suppressed && c.format != format::format_kind::json)
        return "--show-suppressed is for --format=json (sarif marks suppressed findings anyway)";
    if (c.statistics && (c.format != format::format_kind::text || c.check.listing != listing_mode::none || c.diff ||
                         c.fix || c.show_settings))
        return "--statistics prints counts only: it takes no --format, listing, --diff, --fix or --show-settings";
    if (c.show_settings && c.operands.empty())
        return "--show-settings needs the files whose settings to show";
    return {};
}

// The long options that `word` (an argument such as --h or --h=1) abbreviates.
std::vector<std::string> abbreviated(std::string_view word)
{
    word.remove_prefix(2);
    word = word.substr(0, word.find('='));
    std::vector<std::string> names;
    if (word.empty())
        return names; // "--=x" starts no name
    for (const option_row &r : rows)
        if (r.name != nullptr && std::string_view(r.name).starts_with(word))
            names.push_back(std::string("--") + r.name);
    std::sort(names.begin(), names.end()); // in the message, whatever the table's order
    return names;
}

cli_result usage_error(const std::string &line)
{
    cli_result r;
    r.action = cli_action::usage_error;
    r.error = "delimcheck: " + line + "; see delimcheck --help";
    return r;
}

// A long option that getopt did not take: unknown, or the start of more than one.
cli_result unrecognized(const std::string &word)
{
    std::vector<std::string> names = word.starts_with("--") ? abbreviated(word) : std::vector<std::string>{};
    if (names.size() < 2)
        return usage_error("unrecognized option '" + word + "'");
    std::string line = "option '" + word + "' is ambiguous; possibilities:";
    for (const std::string &n : names)
        line += " " + n;
    return usage_error(line);
}

// The walk's own options mean nothing without a walk, and would be silently ignored.
const char *walk_option_without_walk(const run_config &c)
{
    if (c.recursive)
        return nullptr;
    if (!c.includes.empty())
        return "--include";
    if (!c.excludes.empty())
        return "--exclude";
    if (c.hidden)
        return "--hidden";
    return nullptr;
}

// The left column of --help: the option as it is written.
std::string spelled(const option_row &r)
{
    if (r.name == nullptr)
        return std::string("-") + r.letter;
    std::string s = std::string("--") + r.name;
    if (r.value != nullptr)
        s += std::string("=") + r.value;
    return s;
}

} // namespace

std::span<const option_row> option_table() { return rows; }

cli_result parse_command_line(int argc, char **argv, std::FILE *err)
{
    cli_result r;
    run_config &c = r.config;
    option_parse parse{c};
    bool other = false;
    const std::vector<struct option> long_options = getopt_table();
    const std::string option_letters = letters_prefix + letters();
    optind = getopt_restart;
    opterr = 0; // the messages are written here, so that long options can be told apart
    // getopt stops at the first operand. After it, the letters are operands as before, but a
    // long option is taken as the option it names: "delimcheck *.tcl --status" is a gate that
    // means what it says. "--" still ends the options.
    std::vector<std::string> operands;
    for (;;) {
        const int at = optind == 0 ? 1 : optind; // 0 restarts glibc's getopt at the first argument
        int got = getopt_long(argc, argv, option_letters.c_str(), long_options.data(), nullptr);
        if (got == -1) {
            if (optind > at || optind >= argc)
                break; // getopt passed "--", or the arguments are done
            // Operands, up to a long option or "--".
            while (optind < argc && !std::string_view(argv[optind]).starts_with("--"))
                operands.emplace_back(argv[optind++]);
            if (optind < argc && std::string_view(argv[optind]) == "--") {
                ++optind;
                break;
            }
            continue;
        }
        if (got == '?') {
            if (optopt > 0 && optopt < long_base) {
                // A letter outside the table: a diagnostic, and the run goes on without it.
                std::fprintf(err, "delimcheck: invalid option -- '%c'\n", optopt);
                other = true;
                continue;
            }
            if (optopt >= long_base)
                return usage_error(std::string("option '--") + long_name(optopt) + "' takes no value");
            return unrecognized(argv[optind - 1]);
        }
        if (got == ':') {
            if (optopt < long_base) // no short letter takes a value, so this cannot happen; be plain anyway
                return usage_error(std::string("option -") + static_cast<char>(optopt) + " needs a value");
            return usage_error(std::string("option '--") + long_name(optopt) + "' needs a value");
        }
        const option_row *row = row_of(got);
        if (row == nullptr)
            continue;
        other = other || row->name == nullptr || (std::string_view(row->name) != "lsp" && std::string_view(row->name) != "stdio");
        if (std::string e = row->handle(parse, optarg != nullptr ? optarg : ""); !e.empty())
            return usage_error(e);
    }
    for (int i = optind; i < argc; ++i)
        operands.emplace_back(argv[i]);
    if (parse.lsp) {
        if (other || !operands.empty())
            return usage_error("--lsp takes no other option and no file");
        r.action = cli_action::lsp;
        return r;
    }
    if (parse.help)
        r.action = cli_action::help;
    else if (parse.version)
        r.action = cli_action::version;
    if (c.format != format::format_kind::text && c.check.listing != listing_mode::none)
        return usage_error("-s, -m, -l and -j list lines in the text format only");
    if (const char *name = walk_option_without_walk(c))
        return usage_error(std::string("option '") + name + "' needs --recursive");
    if (c.format != format::format_kind::text)
        c.check.hints = true; // an editor or a CI report should point at the likely fault
    if (c.null_separated && c.files_from.empty())
        return usage_error("option '--null' needs --files-from");
    if (parse.color && c.format != format::format_kind::pretty)
        return usage_error("option '--color' needs --format=pretty");
    c.operands = std::move(operands);
    if (std::string e = repair_error(c); !e.empty() && r.action == cli_action::run)
        return usage_error(e);
    if (std::string e = adoption_error(c); !e.empty() && r.action == cli_action::run)
        return usage_error(e);
    if (c.diff || c.fix)
        c.check.hints = true; // the repair is found with the hints
    // Real files often hold old findings beside a new fault: that fault is still mended.
    c.check.repair_apart = c.check.hints;
    return r;
}

bool use_color(color_mode mode, bool terminal, const char *no_color)
{
    if (mode != color_mode::auto_)
        return mode == color_mode::always;
    return terminal && (no_color == nullptr || *no_color == '\0');
}

std::string usage_text()
{
    const std::string first = "usage: delimcheck ";
    const std::size_t width = 96; // a word that would pass this column starts the next line
    std::vector<std::string> words{"[-" + letters() + "]"};
    for (const option_row &r : rows)
        if (r.name != nullptr && (r.usage == nullptr || *r.usage != '\0'))
            words.push_back(r.usage != nullptr ? std::string(r.usage) : "[" + spelled(r) + "]");
    words.emplace_back("[file ...]");
    std::string text = first, line = first;
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0 && line.size() + 1 + words[i].size() > width) {
            text += "\n" + std::string(first.size(), ' ');
            line = std::string(first.size(), ' ');
        } else if (i > 0) {
            text += ' ';
            line += ' ';
        }
        text += words[i];
        line += words[i];
    }
    return text + "\n       delimcheck --lsp\n";
}

std::string help_text()
{
    std::string text = usage_text() +
                       "Checks the nesting of delimiters in command-language scripts; with no file, standard input.\n";
    const std::size_t column = 18;
    for (const option_row &r : rows) {
        std::string left = spelled(r);
        left.resize(std::max(column, left.size() + 1), ' ');
        text += "  " + left + r.help + "\n";
    }
    return text;
}

} // namespace delimcheck::driver
