// The lines of an input that the repair search reads: those near the places it starts from,
// kept with their byte offsets, and the input's size and line count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "delimcheck/diagnostic.h"
#include "scan/byte_source.h"

namespace delimcheck::checking {

// A line of the input near a place the search starts from.
struct line_text {
    static constexpr std::size_t max_bytes = 4096; // a longer line gets no edit within it
    std::int64_t number = 0, offset = 0, length = 0; // length without the newline
    std::string text;                                // all of it, or its first max_bytes
    bool crlf = false;                               // it ends in a carriage return
    bool whole() const { return static_cast<std::int64_t>(text.size()) == length; }
};

struct input_shape {
    std::int64_t size = 0, lines = 0;
    bool ends_with_newline = false;
    bool lone_carriage_return = false; // a CR not before a newline: lines end in CR alone
};

// Whether the byte at i is escaped by the backslashes before it.
bool escaped(std::string_view s, std::size_t i);
std::int64_t count_unescaped(std::string_view s, char c);
// Whether a line's newline is escaped by a backslash: the line goes on on the next.
bool continues(const line_text &l);

class kept_lines {
public:
    // Reads src from its start, keeping the lines within `window` lines of an anchor (sorted);
    // false when it cannot be read again, or grows past max_bytes.
    bool read(scan::byte_source &src, const std::vector<std::int64_t> &anchors, std::int64_t window,
              std::int64_t max_bytes);

    const std::vector<line_text> &all() const { return lines_; }
    const input_shape &shape() const { return shape_; }
    const line_text *line(std::int64_t number) const;
    // The next line after `number` with something on it; nullptr when the input ends first, and
    // also when that line was not kept (the caller tells the two apart by the line count).
    const line_text *next_nonempty(std::int64_t number) const;
    // The byte offset of a position on a kept line, or of the line after one; -1 when unknown.
    std::int64_t offset_of(position at) const;
    // The line ending the input mostly uses near l: l's own, else its neighbours'.
    std::string_view eol_near(const line_text &l) const;

private:
    std::vector<line_text> lines_;
    input_shape shape_;
};

} // namespace delimcheck::checking
