// The lines of an input, for the formats that show them or the repair made to them. The
// driver hands one over for an input it can read again; standard input has none.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace delimcheck::format {

class line_source {
public:
    virtual ~line_source() = default;
    // Line n, counted from 1, with its newline if it has one. False when the input has no line
    // n or it cannot be read.
    virtual bool line(std::int64_t n, std::string &text) = 0;
};

// The lines of bytes held in memory. Lines are mostly asked for in order, so a cursor makes a
// walk through them cost one pass.
class text_lines final : public line_source {
public:
    explicit text_lines(std::string_view text) : text_(text) {}
    bool line(std::int64_t n, std::string &text) override;

private:
    std::string_view text_;
    std::int64_t line_ = 1;   // the cursor: the line that starts at offset_
    std::size_t offset_ = 0;
};

} // namespace delimcheck::format
