#include "driver/cli.h"

#include <cerrno>
#include <cstdlib>
#include <getopt.h>
#include <string_view>

#include "format/formats.h"

namespace delimcheck::driver {

namespace {

// Long options only: the short letters keep their meanings and no new one is taken. Values
// above any byte tell them apart from the letters.
enum long_option : int {
    opt_help = 256,
    opt_version,
    opt_format,
    opt_status,
    opt_recursive,
    opt_include,
    opt_exclude,
    opt_hidden,
    opt_files_from,
    opt_null,
    opt_jobs,
    opt_hints,
    opt_diff,
    opt_fix,
    opt_color,
    opt_lsp,
};

const struct option long_options[] = {
    {"help", no_argument, nullptr, opt_help},
    {"version", no_argument, nullptr, opt_version},
    {"format", required_argument, nullptr, opt_format},
    {"status", no_argument, nullptr, opt_status},
    {"recursive", no_argument, nullptr, opt_recursive},
    {"include", required_argument, nullptr, opt_include},
    {"exclude", required_argument, nullptr, opt_exclude},
    {"hidden", no_argument, nullptr, opt_hidden},
    {"files-from", required_argument, nullptr, opt_files_from},
    {"null", no_argument, nullptr, opt_null},
    {"jobs", required_argument, nullptr, opt_jobs},
    {"hints", no_argument, nullptr, opt_hints},
    {"diff", no_argument, nullptr, opt_diff},
    {"fix", no_argument, nullptr, opt_fix},
    {"color", required_argument, nullptr, opt_color},
    {"lsp", no_argument, nullptr, opt_lsp},
    {"stdio", no_argument, nullptr, opt_lsp}, // what language clients add; --lsp serves on stdio
    {nullptr, 0, nullptr, 0},
};

#ifdef __GLIBC__
// A leading '+' makes glibc stop at the first operand, as POSIX does, whatever the environment
// says; ':' lets a missing argument be told from an unknown option. optind 0 makes it start
// afresh when one process parses twice.
const char option_letters[] = "+:cegijlmqst";
const int getopt_restart = 0;
#else
const char option_letters[] = ":cegijlmqst";
const int getopt_restart = 1;
#endif

const char *long_name(int value)
{
    for (const struct option *o = long_options; o->name != nullptr; ++o)
        if (o->val == value)
            return o->name;
    return "?";
}

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

// --diff writes only diffs; --fix rewrites files, which standard input is not. "-" names a file
// of that name here, but whoever writes it may mean standard input, and is asked to say.
std::string repair_error(const run_config &c)
{
    if (c.diff && (c.format != format::format_kind::text || c.check.listing != listing_mode::none))
        return "--diff writes diffs only: it takes no --format and no listing (-s, -m, -l, -j)";
    if (!c.fix)
        return {};
    if (c.operands.empty() && c.files_from.empty())
        return "--fix rewrites files and cannot rewrite standard input: name the files";
    for (const std::string &o : c.operands)
        if (o == "-")
            return "--fix cannot rewrite standard input; for a file named -, write ./-";
    return {};
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

// The long options that `word` (an argument such as --h or --h=1) abbreviates.
std::vector<std::string> abbreviated(std::string_view word)
{
    word.remove_prefix(2);
    word = word.substr(0, word.find('='));
    std::vector<std::string> names;
    if (word.empty())
        return names; // "--=x" starts no name
    for (const struct option *o = long_options; o->name != nullptr; ++o)
        if (std::string_view(o->name).starts_with(word))
            names.push_back(std::string("--") + o->name);
    return names;
}

cli_result usage_error(const std::string &line)
{
    cli_result r;
    r.action = cli_action::usage_error;
    r.error = "delimcheck: " + line + "; see delimcheck --help";
    return r;
}

// What the short letters set.
void short_option(run_config &c, int letter)
{
    switch (letter) {
    case 'c':
        c.check.hash_lines = false;
        break;
    case 'e':
        c.check.warn_backslash_blank = true;
        break;
    case 'g':
        c.check.balancing = false;
        break;
    case 'i':
        c.check.report_in_string = false;
        break;
    case 'j':
        raise_listing(c.check, listing_mode::join);
        break;
    case 'l':
        raise_listing(c.check, listing_mode::pair);
        break;
    case 'm':
        raise_listing(c.check, listing_mode::collapse);
        break;
    case 's':
        raise_listing(c.check, listing_mode::show);
        break;
    case 'q':
        c.quiet = true;
        break;
    case 't':
        c.check.any_quote_opens = true;
        break;
    default:
        break;
    }
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

} // namespace

cli_result parse_command_line(int argc, char **argv, std::FILE *err)
{
    cli_result r;
    run_config &c = r.config;
    std::string format_name;
    bool help = false, version = false, lsp = false, other = false;
    optind = getopt_restart;
    opterr = 0; // the messages are written here, so that long options can be told apart
    for (int got; (got = getopt_long(argc, argv, option_letters, long_options, nullptr)) != -1;) {
        other = other || got != opt_lsp;
        switch (got) {
        case opt_lsp:
            lsp = true;
            break;
        case '?':
            if (optopt > 0 && optopt < 256) {
                // A letter outside the table: a diagnostic, and the run goes on without it.
                std::fprintf(err, "delimcheck: invalid option -- '%c'\n", optopt);
                break;
            }
            if (optopt >= 256)
                return usage_error(std::string("option '--") + long_name(optopt) + "' takes no value");
            return unrecognized(argv[optind - 1]);
        case ':':
            if (optopt < 256) // no short letter takes a value, so this cannot happen; be plain anyway
                return usage_error(std::string("option -") + static_cast<char>(optopt) + " needs a value");
            return usage_error(std::string("option '--") + long_name(optopt) + "' needs a value");
        case opt_help:
            help = true;
            break;
        case opt_version:
            version = true;
            break;
        case opt_format:
            format_name = optarg;
            if (!format::parse_format(format_name, c.format))
                return usage_error("unknown format '" + format_name + "' (text, gcc, json, github, sarif or pretty)");
            break;
        case opt_status:
            c.status = true;
            break;
        case opt_recursive:
            c.recursive = true;
            break;
        case opt_include:
            c.includes.emplace_back(optarg);
            break;
        case opt_exclude:
            c.excludes.emplace_back(optarg);
            break;
        case opt_hidden:
            c.hidden = true;
            break;
        case opt_files_from:
            if (*optarg == '\0')
                return usage_error("option '--files-from' needs a file name");
            c.files_from = optarg;
            break;
        case opt_null:
            c.null_separated = true;
            break;
        case opt_hints:
            c.check.hints = true;
            c.hint_lines = true;
            break;
        case opt_diff:
            c.diff = true;
            break;
        case opt_fix:
            c.fix = true;
            break;
        case opt_color:
            if (!parse_color(optarg, c.color))
                return usage_error(std::string("--color takes auto, always or never, not '") + optarg + "'");
            break;
        case opt_jobs:
            if (!parse_jobs(optarg, c.jobs))
                return usage_error(std::string("--jobs takes a number from 1 to 1024, not '") + optarg + "'");
            break;
        default:
            short_option(c, got);
            break;
        }
    }
    if (lsp) {
        if (other || optind < argc)
            return usage_error("--lsp takes no other option and no file");
        r.action = cli_action::lsp;
        return r;
    }
    if (help)
        r.action = cli_action::help;
    else if (version)
        r.action = cli_action::version;
    if (c.format != format::format_kind::text && c.check.listing != listing_mode::none)
        return usage_error("-s, -m, -l and -j list lines in the text format only");
    if (const char *name = walk_option_without_walk(c))
        return usage_error(std::string("option '") + name + "' needs --recursive");
    if (c.format != format::format_kind::text)
        c.check.hints = true; // an editor or a CI report should point at the likely fault
    for (int i = optind; i < argc; ++i)
        c.operands.emplace_back(argv[i]);
    if (std::string e = repair_error(c); !e.empty() && r.action == cli_action::run)
        return usage_error(e);
    if (c.diff || c.fix)
        c.check.hints = true; // the repair is found with the hints
    return r;
}

bool use_color(color_mode mode, bool terminal, const char *no_color)
{
    if (mode != color_mode::auto_)
        return mode == color_mode::always;
    return terminal && (no_color == nullptr || *no_color == '\0');
}

std::string help_text()
{
    return "usage: delimcheck [-cegijlmqst] [--format=NAME] [--hints] [--status] [--recursive]\n"
           "                  [--include=GLOB] [--exclude=GLOB] [--hidden] [--files-from=FILE [--null]]\n"
           "                  [--jobs=N] [--diff] [--fix] [--color=WHEN] [file ...]\n"
           "       delimcheck --lsp\n"
           "Checks the nesting of delimiters in command-language scripts; with no file, standard input.\n"
           "  -c                no hash lines: '#' at the start of a line is an ordinary byte\n"
           "  -e                warn about a backslash followed by blanks at the end of a line\n"
           "  -g                no balancing: after a closer that does not fit, discard nothing\n"
           "  -i                no reports about delimiters inside strings\n"
           "  -j                list what stays open after later lines have closed it (implies -l)\n"
           "  -l                list lines, cancelling each against the line that closes it (implies -m)\n"
           "  -m                list lines, dropping pairs that open and close on the same line (implies -s)\n"
           "  -q                print a file's header line only before its first report or listing line\n"
           "  -s                list every line that holds a tracked delimiter, with its indentation\n"
           "  -t                every double quote outside a string opens one\n"
           "  --format=NAME     text (the default), gcc, json, github, sarif or pretty\n"
           "  --hints           text format: after a report, where the indentation places the fault\n"
           "  --status          exit 1 when anything was reported, 2 when an input could not be opened or read\n"
           "  --recursive       walk directory operands for *.tcl, *.tk, *.tm and *.test files\n"
           "  --include=GLOB    walk for files whose names match GLOB instead (repeatable)\n"
           "  --exclude=GLOB    skip what GLOB matches, by name or by path below the operand (repeatable)\n"
           "  --hidden          walk names that begin with a dot too, as .git (skipped by default)\n"
           "  --files-from=FILE read the operands from FILE, one a line ('-': standard input)\n"
           "  --null            the names in that FILE end with NUL bytes, not newlines\n"
           "  --jobs=N          check N inputs at a time (default: one per processor)\n"
           "  --diff            write the repair of each input as a unified diff, and nothing else\n"
           "  --fix             make the repair in each file, if it leaves the file clean\n"
           "  --color=WHEN      pretty format: colour auto (on a terminal, unless NO_COLOR), always, never\n"
           "  --lsp             serve the Language Server Protocol on standard input and output\n"
           "  --help            print this help and exit\n"
           "  --version         print the version and exit\n";
}

} // namespace delimcheck::driver
