// The scanner: reads one input, counts lines and columns, and decides which bytes are tracked.
#pragma once

#include <cstdint>
#include <cstdio>

struct scan_state {
    std::int64_t line_number = 1; // physical line of the current byte, from 1
    std::int64_t column = 0;      // byte position within the line, from 1; 0 before its first byte
    int at_line_start = 1;        // only blanks so far on a line that began afresh
    int in_hash_line = 0;         // the line's first non-blank byte was '#'
    int in_string = 0;            // the innermost context is a double-quoted string
    signed char prev_char = ' ';  // the byte dealt with last; handed to the quote rules
    int backslash_blank = 0;      // an escaped blank is pending on this line (-e)
};

extern scan_state scan;

// Which of the two scanners scan_input runs. Both give the same output byte for byte;
// the plain one is the reference that the fast one is tested against.
enum class scanner_kind { fast, plain };
extern scanner_kind scanner_choice;

void scan_input(std::FILE *in);
void scan_input_plain(std::FILE *in);

void end_of_line(int continued);
void open_paren();
void close_paren();

// The steps that both scanners share. The caller has already counted the byte into `column`.
void begin_input();
void scan_byte(unsigned char c);        // every byte but '\\' and '"'
// Rows of scan_byte that the fast scanner calls directly: the newline, and the six
// delimiter bytes, which leave at_line_start, backslash_blank and prev_char to their caller.
void newline_step();
void delimiter_step(unsigned char c);
void escape_step(unsigned char escaped); // after a backslash; counts the escaped byte's column
void quote_step(int follower);           // follower as a signed byte, -1 at end of input
void end_input();
