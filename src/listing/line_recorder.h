// The line recorder: the indentation and tracked delimiters of the current line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/checker_options.h"

// The buffers grow with the line, so a line of any length is listed whole.
struct listing_state {
    std::string line_text;   // leading blanks, then the recorded delimiters
    std::string line_delims; // the recorded delimiters alone; filled when the line is flushed
    std::int64_t delim_count = 0;
};

extern listing_state listing;

// Records c for the listing; nothing while the listing is off. The test is inline because
// every tracked delimiter passes here.
void record_listed_char(char c);
inline void record_char(char c)
{
    if (options.show_lines)
        record_listed_char(c);
}
// The same as record_char for each of n blanks, in one step: a blank never cancels anything.
void record_blanks(const char *p, std::size_t n);
void flush_line();

// A listing line: the line number right-aligned in five places, " : ", the recorded text.
void print_listing_line(std::int64_t line, const std::string &text);
