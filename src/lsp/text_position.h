// Positions in a text as the checker counts them (lines from 1, columns in bytes from 1) and as
// a language client does (lines and characters from 0, characters in UTF-8 bytes or UTF-16
// code units). The checker's line ends at a line feed, a carriage return before it being part
// of the line ending; the client's, as LSP has it, at a line feed, a carriage return and the
// pair of them alike, so a lone carriage return starts a client line inside a checker line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "delimcheck/diagnostic.h"

namespace delimcheck::lsp {

enum class encoding : std::uint8_t { utf16, utf8 };

struct client_position {
    std::int64_t line = 0;
    std::int64_t character = 0;
    friend bool operator==(const client_position &, const client_position &) = default;
};

// The byte offset of a client position, clamped: a line past the last is the end of the text,
// a character past its line's end is that end, and one inside a character is its start.
std::size_t offset_of(std::string_view text, client_position p, encoding enc);

// The starts of the lines that a set of checker positions name, found in one pass, for
// turning those positions into client positions. Indexing every line would cost a look at
// each of them on every keystroke.
class line_index {
public:
    line_index(std::string_view text, std::vector<std::int64_t> lines);
    // A checker position (its column may be just past the line's last byte) as the client
    // counts it. A line after the last is the end of the text. The line must be one of those
    // named, or after the last line.
    client_position to_client(position p, encoding enc) const;
    // The end of checker line `line` (from 1), before its line ending.
    client_position line_end(std::int64_t line, encoding enc) const;
    // The end of the client line that holds checker position p, before its line break.
    client_position line_end(position p, encoding enc) const;
    // Whether line `line` ends with a line feed, so that a line follows it.
    bool has_next(std::int64_t line) const;

private:
    struct line_start {
        std::int64_t line;        // checker line, from 1
        std::size_t offset;       // its first byte
        std::int64_t client_line; // the client line of that byte, from 0
    };
    line_start start(std::int64_t line) const;
    std::string_view text_;
    std::vector<line_start> starts_; // sorted by line
    line_start last_{1, 0, 0};       // the last line of the text
};

// How many code units of the encoding the UTF-8 bytes s take.
std::int64_t units(std::string_view s, encoding enc);

} // namespace delimcheck::lsp
