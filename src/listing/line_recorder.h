// The line recorder: the indentation and tracked delimiters of the current line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "check/delim_stack.h"
#include "common/bytes.h"
#include "common/checker_options.h"

// The buffers grow with the line, so a line of any length is listed whole.
struct listing_state {
    std::string line_text;   // leading blanks, then the recorded delimiters
    std::string line_delims; // the recorded delimiters alone; filled when the line is flushed
    std::int64_t delim_count = 0;
};

extern listing_state listing;

void flush_line();

// Records c for the listing; nothing while the listing is off. Inline, because every
// tracked delimiter passes here.
inline void record_char(char c)
{
    if (!options.show_lines)
        return;
    if (c == '\n') {
        flush_line();
        return;
    }
    // A closer right after its own opener cancels it, like a stack within the line.
    if (options.collapse_pairs && !listing.line_text.empty() && is_pair(listing.line_text.back(), c)) {
        listing.line_text.pop_back();
        --listing.delim_count;
        return;
    }
    listing.line_text.push_back(c);
    if (!is_c_space(static_cast<signed char>(c)))
        ++listing.delim_count;
}

// The same as record_char for each of n blanks, in one step: a blank never cancels anything.
inline void record_blanks(const char *p, std::size_t n)
{
    if (options.show_lines)
        listing.line_text.append(p, n);
}
// A listing line: the line number right-aligned in five places, " : ", the recorded text.
void print_listing_line(std::int64_t line, std::string_view text);
