// Line pairing (-l) and delimiter joining (-j): listed lines kept as records that later lines
// cancel or close; what survives is listed at the end of the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "delimcheck/chunked_stack.h"
#include "delimcheck/sink.h"
#include "listing/byte_buffer.h"

namespace delimcheck::listing {

// b closes a position by position: each byte of b equals its byte of a or closes it. The end
// of b fails against any byte of a; with exact, b must end where a does.
bool closes(std::string_view a, std::string_view b, bool exact);

class line_records {
public:
    // A flushed line: its text, leading blanks and then delimiters, whose last delims_size
    // bytes are its delimiters.
    void pair_line(std::int64_t line, std::string_view text, std::size_t delims_size, bool join);

    // Stores a record on top: text, whose last delims_size bytes are its delims.
    void push(std::int64_t line, std::string_view text, std::size_t delims_size);
    void pop();
    std::size_t size() const { return stack_.size(); }
    std::string_view text(std::size_t index) const; // index 0 is the oldest record
    std::string_view delims(std::size_t index) const;

    // Lists every record, oldest first, and empties the stack.
    void list(sink &out);
    void clear();

private:
    // A stored line. Records are only ever dropped from the top, so their bytes live back to
    // back in one byte stack, and a record keeps only where its parts lie: its text runs from
    // text_begin to the next record's text_begin (to the end of bytes_ for the top), and its
    // delims, always a part of its text, from delims_begin to delims_end. Joining cuts the
    // delims from their end. A record thus costs 32 bytes and its text, however many survive.
    struct record {
        std::int64_t line;
        std::size_t text_begin;
        std::size_t delims_begin;
        std::size_t delims_end;
    };

    // How many of the delimiters d are left to store: 0 when they all closed stored ones.
    std::size_t join_line(std::string_view d);
    bool cancels_reopened_pair(std::string_view line, std::string_view top, std::string_view below) const;

    // Newest on top; in chunks, so that a million records never move as it grows. Listing walks
    // it from the bottom, oldest first, without recursion.
    chunked_stack<record, 1024> stack_;
    byte_buffer bytes_; // the records' bytes, back to back
};

} // namespace delimcheck::listing
