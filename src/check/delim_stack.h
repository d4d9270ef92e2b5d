// The stack of open delimiters and what every closing byte means against it.
#pragma once

#include <cstdint>
#include <deque>

// The position fields are kept apart: copied from scan_state as one 16-byte pair, they would
// be loaded right after the scanner stored the column, and stall on every push.
struct delim_entry {
    std::int64_t line;   // position of the opener
    char closer;         // ')', ']', '}' or '"' (a quote entry)
    int saved_in_string; // in_string when the entry was pushed
    std::int64_t column;
};

// Top at the back. A deque grows in chunks and never moves its entries, so a deep stack
// holds little more than its entries, and never a second copy while it grows.
extern std::deque<delim_entry> delim_stack;

void push_delim(char closer);
void pop_delim();
void close_delim(char c);
void finish_input();

char opener_of(char b);               // '"' '(' '[' '{' for the four closers, '@' for any other byte
char balancing_closer(char a, char b); // the higher class of the two: '}' over ']' over ')', else '@'
bool is_pair(char opener, char closer);

// Prints "line L char C", the position part that most reports share.
void print_line_char(std::int64_t line, std::int64_t column);
