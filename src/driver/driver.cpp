#include "driver/driver.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

#include "check/check.h"
#include "common/checker_options.h"
#include "common/output.h"
#include "common/report_state.h"
#include "listing/listing.h"

#ifdef __GLIBC__
// A leading '+' makes glibc stop at the first operand, as POSIX does, whatever the
// environment says; optind 0 makes it start afresh when one process parses twice.
static const char option_letters[] = "+cegijlmqst";
static const int getopt_restart = 0;
#else
static const char option_letters[] = "cegijlmqst";
static const int getopt_restart = 1;
#endif

void parse_options(int argc, char **argv)
{
    reset_options();
    optind = getopt_restart;
    int c;
    while ((c = getopt(argc, argv, option_letters)) != -1) {
        switch (c) {
        case 'c':
            options.hash_lines = 0;
            break;
        case 'e':
            options.warn_backslash_blank = 1;
            break;
        case 'g':
            options.balancing = 0;
            break;
        case 'i':
            options.report_in_string = 0;
            break;
        case 'j':
            options.join_lines = 1;
            [[fallthrough]];
        case 'l':
            options.pair_lines = 1;
            [[fallthrough]];
        case 'm':
            options.collapse_pairs = 1;
            [[fallthrough]];
        case 's':
            options.show_lines = 1;
            break;
        case 'q':
            options.quiet = 1;
            break;
        case 't':
            options.any_quote_opens = 1;
            break;
        default:
            break; // getopt has named the stray letter on standard error; the run goes on
        }
    }
}

// Set when an input could not be read to its end; the run then ends with status 2.
static bool read_failed = false;

void check_stream(std::FILE *in)
{
    scan_input(in);
    // A read error ends the input as its end would, but a half-read file must not pass
    // as a clean one: say so on standard error, and fail the run once it is over.
    if (std::ferror(in)) {
        int err = errno;
        out_flush(); // keep standard output and the message in order on a shared terminal
        std::fprintf(stderr, "delimcheck: error reading %s: %s\n",
                     report.current_path != nullptr ? report.current_path : "standard input", std::strerror(err));
        read_failed = true;
    }
    finish_input();
}

// fopen succeeds on a directory and reading it then fails like an empty file would;
// a directory must not pass as a clean file, so it counts as one that cannot be opened.
static std::FILE *open_input(const char *path)
{
    std::FILE *f = std::fopen(path, "r");
    if (f == nullptr)
        return nullptr;
    struct stat st;
    if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(f);
        return nullptr;
    }
    return f;
}

void begin_operand(const char *path)
{
    report.current_path = path;
    report.header_printed = 0;
    if (!options.quiet)
        print_header_once(); // every operand gets its header before it is opened
}

static void check_operand(const char *path)
{
    begin_operand(path);
    std::FILE *f = open_input(path);
    if (f == nullptr) {
        print_header_once();
        out_text("Cannot be accessed!!\n");
        return;
    }
    check_stream(f);
    std::fclose(f);
}

static void run_inputs(char **argv, std::FILE *standard_input)
{
    if (argv[optind] == nullptr) {
        report.current_path = nullptr;
        check_stream(standard_input);
        return;
    }
    for (; argv[optind] != nullptr; ++optind)
        check_operand(argv[optind]);
}

int delimcheck_main(int argc, char **argv, std::FILE *standard_input)
{
    parse_options(argc, argv);
    report = report_state{};
    read_failed = false;
    try {
        run_inputs(argv, standard_input);
    } catch (const std::bad_alloc &) {
        out_flush();
        std::fputs("delimcheck: out of memory\n", stderr);
        delim_stack.clear();
        record_stack.clear();
        record_bytes.clear();
        listing = listing_state{};
        return 2;
    }
    out_flush();
    return read_failed ? 2 : 0;
}
