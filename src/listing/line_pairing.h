// Line pairing: listed lines kept as records that later lines cancel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

// A stored line. Records are only ever dropped from the top, so their bytes live back to back
// in one byte stack, record_bytes, and a record keeps only where its parts lie: its text runs
// from text_begin to the next record's text_begin (to the end of record_bytes for the top),
// and its delims, always a part of its text, from delims_begin to delims_end. Joining cuts the
// delims from their end. A record thus costs 32 bytes and its text, however many survive.
struct line_record {
    std::int64_t line;         // the number of the line that ended
    std::size_t text_begin;    // in record_bytes
    std::size_t delims_begin;
    std::size_t delims_end;
};

// Newest at the back; a deque, so that a million records never move as it grows.
// Printing walks it from the front, oldest first, without recursion.
extern std::deque<line_record> record_stack;
extern std::string record_bytes;

// Stores a record on top: text, whose last delims_size bytes are its delims.
void push_record(std::int64_t line, std::string_view text, std::size_t delims_size);
std::string_view record_text(std::size_t index); // index 0 is the oldest record
std::string_view record_delims(const line_record &r);

void pair_line();
void pop_record();
bool closes(std::string_view a, std::string_view b, bool exact);
// Prints every record, oldest first, and empties the stack.
void print_records();
