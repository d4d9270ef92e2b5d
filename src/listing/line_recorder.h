// The line recorder: the indentation and tracked delimiters of the current line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The buffers grow with the line, so a line of any length is listed whole.
struct listing_state {
    std::string line_text;   // leading blanks, then the recorded delimiters
    std::string line_delims; // the recorded delimiters alone
    std::int64_t delim_count = 0;
};

extern listing_state listing;

void record_char(char c);
// The same as record_char for each of n blanks, in one step: a blank never cancels anything.
void record_blanks(const char *p, std::size_t n);
void flush_line();

// A listing line: the line number right-aligned in five places, " : ", the recorded text.
void print_listing_line(std::int64_t line, const std::string &text);
