#include "check/scanner.h"

#include "check/block_scanner.h"
#include "check/delim_stack.h"
#include "check/quoted_strings.h"
#include "common/checker_options.h"
#include "common/output.h"
#include "listing/line_recorder.h"

scan_state scan;
scanner_kind scanner_choice = scanner_kind::fast;

void begin_input()
{
    scan = scan_state{};
    delim_stack.clear();
}

// A last line without a newline is listed as a newline would list it, so that nothing it
// recorded leaks into the next input's listing. A huge line does not keep its buffers.
void end_input()
{
    flush_line();
    listing.line_text.shrink_to_fit();
    listing.line_delims.shrink_to_fit();
}

void end_of_line(int continued)
{
    if (options.show_lines)
        flush_line();
    if (!continued && !scan.in_string) {
        scan.in_hash_line = 0;
        scan.at_line_start = 1;
    }
    ++scan.line_number;
    scan.column = 0;
}

// Parentheses count only inside something open that is not a bracket, and never in a hash line.
static bool paren_tracked()
{
    return !delim_stack.empty() && delim_stack.back().closer != ']' && !scan.in_hash_line;
}

// Braces and brackets count everywhere but in a hash line with nothing open.
static bool brace_tracked() { return !scan.in_hash_line || !delim_stack.empty(); }

void open_paren()
{
    if (paren_tracked())
        push_delim(')');
    scan.at_line_start = 0;
}

void close_paren()
{
    if (paren_tracked())
        close_delim(')');
    scan.at_line_start = 0;
}

static void warn_backslash_blank()
{
    out_text("\\ followed by blank space at the end of line ");
    out_decimal(scan.line_number);
    out_text(".\n");
}

void newline_step()
{
    if (options.warn_backslash_blank && scan.backslash_blank)
        warn_backslash_blank();
    end_of_line(0);
    scan.backslash_blank = 0;
    scan.prev_char = '\n';
}

static void open_brace()
{
    if (brace_tracked())
        push_delim('}');
}

static void open_bracket()
{
    if (brace_tracked())
        push_delim(']');
    scan.in_string = 0; // a bracket opens a command context, even inside a string
}

static void close_brace(char c)
{
    if (brace_tracked())
        close_delim(c);
}

void delimiter_step(unsigned char c)
{
    switch (c) {
    case '(':
        open_paren();
        break;
    case ')':
        close_paren();
        break;
    case '{':
        open_brace();
        break;
    case '[':
        open_bracket();
        break;
    default:
        close_brace(static_cast<char>(c));
        break;
    }
}

void scan_byte(unsigned char c)
{
    switch (c) {
    case ' ':
    case '\t':
        if (scan.at_line_start)
            record_char(static_cast<char>(c));
        scan.prev_char = static_cast<signed char>(c);
        return; // a blank keeps at_line_start and backslash_blank
    case '\n':
        newline_step();
        return;
    case '#':
        if (scan.at_line_start && options.hash_lines)
            scan.in_hash_line = 1;
        break;
    case '(':
    case ')':
    case '{':
    case '[':
    case ']':
    case '}':
        delimiter_step(c);
        break;
    default:
        break;
    }
    scan.at_line_start = 0;
    scan.backslash_blank = 0;
    scan.prev_char = static_cast<signed char>(c);
}

void escape_step(unsigned char escaped)
{
    scan.at_line_start = 0;
    ++scan.column;
    scan.prev_char = static_cast<signed char>(escaped);
    if (escaped == '\n') {
        end_of_line(1);
        scan.backslash_blank = 0;
    } else {
        scan.backslash_blank = escaped == ' ' || escaped == '\t';
    }
}

void quote_step(int follower)
{
    handle_quote(scan.prev_char, static_cast<signed char>(follower));
    scan.prev_char = '"';
    scan.backslash_blank = 0;
}

void scan_input_plain(std::FILE *in)
{
    begin_input();
    for (;;) {
        int c = std::getc(in);
        if (c == EOF)
            break;
        ++scan.column;
        if (c == '\\') {
            scan.at_line_start = 0;
            int escaped = std::getc(in);
            if (escaped == EOF)
                break;
            escape_step(static_cast<unsigned char>(escaped));
        } else if (c == '"') {
            int follower = std::getc(in);
            if (follower != EOF)
                std::ungetc(follower, in);
            quote_step(follower == EOF ? -1 : static_cast<signed char>(follower));
        } else {
            scan_byte(static_cast<unsigned char>(c));
        }
    }
    end_input();
}

void scan_input(std::FILE *in)
{
    if (scanner_choice == scanner_kind::fast)
        scan_input_blocks(in);
    else
        scan_input_plain(in);
}
