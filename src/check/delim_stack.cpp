#include "check/delim_stack.h"

#include "check/scanner.h"
#include "common/checker_options.h"
#include "common/output.h"
#include "common/report_state.h"
#include "listing/line_pairing.h"
#include "listing/line_recorder.h"

std::deque<delim_entry> delim_stack;

// The opener of each closer, 0 for every other byte. A table, because the listing asks for
// every delimiter it records, and a branch on the byte mispredicts there.
namespace {
struct opener_table {
    char of[256] = {};
    constexpr opener_table()
    {
        of[static_cast<unsigned char>('"')] = '"';
        of[static_cast<unsigned char>(')')] = '(';
        of[static_cast<unsigned char>(']')] = '[';
        of[static_cast<unsigned char>('}')] = '{';
    }
};
constexpr opener_table openers;
} // namespace

char opener_of(char b)
{
    char o = openers.of[static_cast<unsigned char>(b)];
    return o != 0 ? o : '@';
}

char balancing_closer(char a, char b)
{
    if (a == '}' || b == '}')
        return '}';
    if (a == ']' || b == ']')
        return ']';
    if (a == ')' || b == ')')
        return ')';
    return '@';
}

bool is_pair(char opener, char closer)
{
    char o = openers.of[static_cast<unsigned char>(closer)];
    return o != 0 && o == opener;
}

void print_line_char(std::int64_t line, std::int64_t column)
{
    out_text("line ");
    out_decimal(line);
    out_text(" char ");
    out_decimal(column);
}

void push_delim(char closer)
{
    delim_stack.push_back({scan.line_number, closer, scan.in_string, scan.column});
    record_char(opener_of(closer));
}

void pop_delim()
{
    if (!delim_stack.empty())
        delim_stack.pop_back();
}

static void report_unmatching(char c)
{
    print_header_once();
    out_text("Unmatching ");
    out_char(c);
    out_text(" : ");
    print_line_char(scan.line_number, scan.column);
    out_char('\n');
}

static void report_expecting(char expected, char got)
{
    print_header_once();
    out_text("Expecting ");
    out_char(expected);
    out_text(" got ");
    out_char(got);
    out_text(" : ");
    print_line_char(scan.line_number, scan.column);
}

static void report_in_string(const char *where, char c)
{
    print_header_once();
    out_text("Inside a string: unmatched ");
    out_char(c);
    out_text(where);
    print_line_char(scan.line_number, scan.column);
    out_char('\n');
}

// A closing quote discards what was opened inside its string and still waits, then the
// quote entry itself.
static void unwind_string()
{
    while (!delim_stack.empty() && delim_stack.back().closer != '"') {
        if (options.report_in_string)
            report_in_string(" ending ", opener_of(delim_stack.back().closer));
        pop_delim();
    }
    if (!delim_stack.empty()) {
        scan.in_string = delim_stack.back().saved_in_string;
        pop_delim();
    }
}

// Discards the entries in the way until one of the closer's class turns up. A closer
// of a lower class than the one expected is reported and leaves the stack alone.
static void balance(char expected, char c)
{
    char k = balancing_closer(c, expected);
    char o = opener_of(k);
    for (;;) {
        if (delim_stack.back().closer == k) {
            if (k == c) {
                pop_delim();
            } else {
                report_expecting(expected, c);
                out_char('\n');
            }
            return;
        }
        report_expecting(expected, c);
        out_text(" (balancing ");
        out_char(o);
        out_char(k);
        out_text(")\n");
        pop_delim();
        if (delim_stack.empty())
            return;
    }
}

void close_delim(char c)
{
    record_char(c);
    if (delim_stack.empty()) {
        report_unmatching(c);
        return;
    }
    char expected = delim_stack.back().closer;
    if (expected == c) {
        scan.in_string = delim_stack.back().saved_in_string;
        pop_delim();
        return;
    }
    if (scan.in_string) {
        if (c == '"')
            unwind_string();
        else if (options.report_in_string)
            report_in_string(" on ", c);
        return;
    }
    if (!options.balancing) {
        report_expecting(expected, c);
        out_char('\n');
        return;
    }
    balance(expected, c);
}

void finish_input()
{
    while (!delim_stack.empty()) {
        const delim_entry &e = delim_stack.back();
        print_header_once();
        out_char(e.closer);
        out_text(" missing, opened on ");
        print_line_char(e.line, e.column);
        out_char('\n');
        pop_delim();
    }
    delim_stack.shrink_to_fit(); // a deep input does not keep its memory for the next one
    if (options.pair_lines)
        print_records();
}
