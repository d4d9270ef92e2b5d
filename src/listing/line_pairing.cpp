#include "listing/line_pairing.h"

#include "check/delim_stack.h"
#include "check/scanner.h"
#include "common/checker_options.h"
#include "listing/delim_joining.h"
#include "listing/line_recorder.h"

std::deque<line_record> record_stack;

void pop_record()
{
    if (!record_stack.empty())
        record_stack.pop_back();
}

// b closes a position by position: each byte of b equals its byte of a or closes it.
// The end of b fails against any byte of a; with exact, b must end where a does.
bool closes(std::string_view a, std::string_view b, bool exact)
{
    // The lengths alone settle most comparisons of lines at other indentations.
    if (b.size() < a.size() || (exact && b.size() != a.size()))
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (b[i] != a[i] && !is_pair(a[i], b[i]))
            return false;
    return true;
}

static void record_line()
{
    record_stack.push_back({scan.line_number, listing.line_text, listing.line_delims});
}

// The line closes the record below one that closes and reopens: the top's own closing
// part, with its last reopening byte blanked out, must mirror the line.
static bool cancels_reopened_pair(const std::string &line, const line_record &top, const line_record &below)
{
    if (!closes(below.text, line, true) || !closes(below.text, top.text, false))
        return false;
    std::size_t n = line.size();
    if (n == 0 || n > top.text.size())
        return false;
    std::string copy = top.text;
    copy[n - 1] = ' ';
    return closes(std::string_view(copy).substr(copy.size() - n), line, true);
}

void pair_line()
{
    const std::string &line = listing.line_text;
    if (record_stack.empty()) {
        record_line();
        return;
    }
    if (options.join_lines) {
        if (!join_line())
            record_line();
        return;
    }
    if (closes(record_stack.back().text, line, true)) {
        pop_record();
        return;
    }
    if (record_stack.size() < 2) {
        record_line();
        return;
    }
    if (cancels_reopened_pair(line, record_stack.back(), record_stack[record_stack.size() - 2])) {
        pop_record();
        pop_record();
        return;
    }
    record_line();
}

void print_records()
{
    for (const line_record &r : record_stack)
        print_listing_line(r.line, r.text);
    record_stack.clear();
}
