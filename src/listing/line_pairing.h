// Line pairing: listed lines kept as records that later lines cancel.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <deque>

struct line_record {
    std::int64_t line;  // the number of the line that ended
    std::string text;   // its leading blanks and delimiters, as listed
    std::string delims; // its delimiters alone; cut from the end by joining
};

// Newest at the back; a deque, so that a million records never move as it grows.
// Printing walks it from the front, oldest first, without recursion.
extern std::deque<line_record> record_stack;

void pair_line();
void pop_record();
bool closes(std::string_view a, std::string_view b, bool exact);
// Prints every record, oldest first, and empties the stack.
void print_records();
