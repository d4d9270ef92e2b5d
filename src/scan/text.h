// The few facts about a line's text that the lexer, the hints and the repair must agree on:
// which bytes are blanks, how wide an indentation is, which line holds nothing, and where lines
// end. One definition each, so that widths compared across them cannot drift apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace delimcheck::scan {

// A blank within a line. A carriage return is not one: it ends a line (see line_body).
constexpr bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The width of blanks after `width` columns of them: a tab goes to the next multiple of 8.
constexpr std::int32_t indent_after(std::int32_t width, unsigned char blank)
{
    return blank == '\t' ? (width / 8 + 1) * 8 : width + 1;
}

// The blanks that begin a line.
constexpr std::string_view indent_of(std::string_view line)
{
    std::size_t n = 0;
    while (n < line.size() && is_blank(line[n]))
        ++n;
    return line.substr(0, n);
}

// The width of the blanks that begin a line.
constexpr std::int32_t indent_width(std::string_view line)
{
    std::int32_t w = 0;
    for (char c : indent_of(line))
        w = indent_after(w, static_cast<unsigned char>(c));
    return w;
}

// A line without its line ending: the newline, and a carriage return before it (CRLF) or in
// its place (a lone CR, as a line of a file with CRLF endings split at its newlines keeps).
constexpr std::string_view line_body(std::string_view line)
{
    if (line.ends_with('\n'))
        line.remove_suffix(1);
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    return line;
}

// Where the content of a line ends: before its line ending and the blanks before that.
constexpr std::size_t content_end(std::string_view line)
{
    std::string_view s = line_body(line);
    std::size_t n = s.size();
    while (n > 0 && is_blank(s[n - 1]))
        --n;
    return n;
}

// A line with nothing on it but blanks and its line ending.
constexpr bool is_blank_line(std::string_view line) { return content_end(line) == 0; }

// Calls f(text, number) for each line of text, its newline left out (a carriage return before
// it is kept), numbered from 1. Text that ends with a newline has no empty line after it.
template <class F> constexpr void for_each_line(std::string_view text, F &&f)
{
    std::int64_t number = 1;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        f(line, number++);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
}

} // namespace delimcheck::scan
