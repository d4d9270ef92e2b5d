#include "listing/line_pairing.h"

#include "check/delim_stack.h"
#include "check/scanner.h"
#include "common/checker_options.h"
#include "listing/delim_joining.h"
#include "listing/line_recorder.h"

std::deque<line_record> record_stack;
std::string record_bytes;

void push_record(std::int64_t line, std::string_view text, std::size_t delims_size)
{
    std::size_t begin = record_bytes.size();
    record_bytes.append(text);
    record_stack.push_back({line, begin, record_bytes.size() - delims_size, record_bytes.size()});
}

static std::string_view bytes_between(std::size_t begin, std::size_t end)
{
    return std::string_view(record_bytes).substr(begin, end - begin);
}

std::string_view record_text(std::size_t index)
{
    std::size_t end = index + 1 < record_stack.size() ? record_stack[index + 1].text_begin : record_bytes.size();
    return bytes_between(record_stack[index].text_begin, end);
}

std::string_view record_delims(const line_record &r) { return bytes_between(r.delims_begin, r.delims_end); }

void pop_record()
{
    if (record_stack.empty())
        return;
    record_bytes.resize(record_stack.back().text_begin);
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

// The delimiters of a flushed line are the last bytes of its text, and joining only ever
// takes bytes from their front, so they are still the text's last line_delims.size() bytes.
static void record_line()
{
    push_record(scan.line_number, listing.line_text, listing.line_delims.size());
}

// The line closes the record below one that closes and reopens: the top's own closing
// part, with its last reopening byte blanked out, must mirror the line.
static bool cancels_reopened_pair(std::string_view line, std::string_view top, std::string_view below)
{
    if (!closes(below, line, true) || !closes(below, top, false))
        return false;
    std::size_t n = line.size();
    if (n == 0 || n > top.size())
        return false;
    std::string copy(top);
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
    // Read from the back: indexing a deque from its front costs more on this path.
    const std::size_t top_begin = record_stack.back().text_begin;
    std::string_view top = bytes_between(top_begin, record_bytes.size());
    if (closes(top, line, true)) {
        pop_record();
        return;
    }
    if (record_stack.size() < 2) {
        record_line();
        return;
    }
    std::string_view below = bytes_between(record_stack.end()[-2].text_begin, top_begin);
    if (cancels_reopened_pair(line, top, below)) {
        pop_record();
        pop_record();
        return;
    }
    record_line();
}

void print_records()
{
    for (auto r = record_stack.begin(); r != record_stack.end(); ++r) {
        std::size_t end = r + 1 != record_stack.end() ? r[1].text_begin : record_bytes.size();
        print_listing_line(r->line, bytes_between(r->text_begin, end));
    }
    record_stack.clear();
    record_bytes.clear();
    record_bytes.shrink_to_fit();
}
