#include "driver/cli.h"

#include <unistd.h>

namespace delimcheck::driver {

#ifdef __GLIBC__
// A leading '+' makes glibc stop at the first operand, as POSIX does, whatever the
// environment says; optind 0 makes it start afresh when one process parses twice.
static const char option_letters[] = "+cegijlmqst";
static const int getopt_restart = 0;
#else
static const char option_letters[] = "cegijlmqst";
static const int getopt_restart = 1;
#endif

// Flags only move away from their defaults, so a listing option combined with one it implies
// is the same as the higher one alone.
static void raise_listing(options &o, listing_mode m)
{
    if (m > o.listing)
        o.listing = m;
}

run_config parse_command_line(int argc, char **argv)
{
    run_config c;
    optind = getopt_restart;
    for (int letter; (letter = getopt(argc, argv, option_letters)) != -1;) {
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
            break; // getopt has named the stray letter on standard error; the run goes on
        }
    }
    for (int i = optind; i < argc; ++i)
        c.operands.emplace_back(argv[i]);
    return c;
}

} // namespace delimcheck::driver
