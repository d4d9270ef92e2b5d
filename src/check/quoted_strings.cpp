#include "check/quoted_strings.h"

#include "check/delim_stack.h"
#include "check/scanner.h"
#include "common/bytes.h"
#include "common/checker_options.h"
#include "common/output.h"

// What may stand right after a closing quote without a warning.
static bool accepted_follower(signed char c)
{
    return is_c_space(c) || c == ')' || c == ';' || c == '\\' || c == ']' || c == '}';
}

// A quote opens a string only at the start of a word (or anywhere, with -t).
static bool opens_string(signed char prev)
{
    return options.any_quote_opens || is_c_space(prev) || prev == '(' || prev == '{' || prev == '[';
}

void handle_quote(signed char prev, signed char follower)
{
    if (scan.in_string) {
        if (!scan.in_hash_line && !accepted_follower(follower)) {
            // A warning, not a report: it never brings out the input's header.
            out_text("Extra characters after string : ");
            print_line_char(scan.line_number, scan.column);
            out_char('\n');
        }
        close_delim('"');
    } else if (opens_string(prev)) {
        push_delim('"');
        scan.in_string = 1;
    }
    scan.at_line_start = 0;
}
