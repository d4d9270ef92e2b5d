#include "lsp/text_position.h"

#include <algorithm>

namespace delimcheck::lsp {

namespace {

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The bytes of the character that starts with c. A stray continuation byte counts alone, so
// that the walk always moves on.
std::size_t char_length(unsigned char c)
{
    if (c < 0xC0)
        return 1;
    if (c < 0xE0)
        return 2;
    if (c < 0xF0)
        return 3;
    return 4;
}

// The offset just after the n-th line feed from `from`, or npos when there are fewer. Whole
// blocks are counted rather than searched, so that short lines cost no call each.
std::size_t skip_lines(std::string_view text, std::size_t from, std::int64_t n)
{
    constexpr std::size_t block = 1024;
    std::size_t i = from;
    while (n > 0) {
        std::size_t end = std::min(text.size(), i + block);
        if (i == end)
            return std::string_view::npos;
        std::int64_t here = std::count(text.data() + i, text.data() + end, '\n');
        if (here < n) {
            n -= here;
            i = end;
            continue;
        }
        for (;; ++i)
            if (text[i] == '\n' && --n == 0)
                return i + 1;
    }
    return i;
}

// The line that starts at `start`, without its line ending.
std::string_view line_from(std::string_view text, std::size_t start)
{
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos)
        end = text.size();
    else if (end > start && text[end - 1] == '\r')
        --end;
    return text.substr(start, end - start);
}

// The offset in `line` of the character-th code unit, clamped to the line and to the start
// of a character.
std::size_t offset_in_line(std::string_view line, std::int64_t character, encoding enc)
{
    if (character <= 0)
        return 0;
    if (enc == encoding::utf8) {
        std::size_t i = std::min(line.size(), static_cast<std::size_t>(character));
        while (i > 0 && i < line.size() && continuation(static_cast<unsigned char>(line[i])))
            --i;
        return i;
    }
    std::size_t i = 0;
    std::int64_t counted = 0;
    while (i < line.size()) {
        std::size_t n = char_length(static_cast<unsigned char>(line[i]));
        std::int64_t u = n == 4 ? 2 : 1;
        if (counted + u > character)
            break;
        counted += u;
        i = std::min(line.size(), i + n);
    }
    return i;
}

} // namespace

std::int64_t units(std::string_view s, encoding enc)
{
    if (enc == encoding::utf8)
        return static_cast<std::int64_t>(s.size());
    std::int64_t n = 0;
    for (unsigned char c : s)
        if (!continuation(c))
            n += c >= 0xF0 ? 2 : 1;
    return n;
}

std::size_t offset_of(std::string_view text, client_position p, encoding enc)
{
    if (p.line < 0)
        return 0;
    std::size_t start = skip_lines(text, 0, p.line);
    if (start == std::string_view::npos)
        return text.size();
    return start + offset_in_line(line_from(text, start), p.character, enc);
}

line_index::line_index(std::string_view text, std::vector<std::int64_t> lines) : text_(text)
{
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    std::int64_t at_line = 1;
    std::size_t at = 0;
    for (std::int64_t l : lines) {
        if (l < 1)
            continue;
        std::size_t next = skip_lines(text, at, l - at_line);
        if (next == std::string_view::npos)
            break;
        at_line = l;
        at = next;
        starts_.emplace_back(l, at);
    }
    // The last line, for positions after it: counted on from the last one found.
    last_ = at_line + std::count(text.data() + at, text.data() + text.size(), '\n');
    std::size_t nl = text.rfind('\n');
    last_start_ = nl == std::string_view::npos ? 0 : nl + 1;
}

std::size_t line_index::start(std::int64_t line) const
{
    if (line >= last_)
        return last_start_;
    auto it = std::lower_bound(starts_.begin(), starts_.end(), std::make_pair(line, std::size_t{0}));
    return it != starts_.end() && it->first == line ? it->second : last_start_;
}

bool line_index::has_next(std::int64_t line) const { return line < last_; }

client_position line_index::line_end(std::int64_t line, encoding enc) const
{
    if (line < 1)
        return {0, 0};
    line = std::min(line, last_);
    return {line - 1, units(line_from(text_, start(line)), enc)};
}

client_position line_index::to_client(position p, encoding enc) const
{
    if (p.line < 1)
        return {0, 0};
    if (p.line > last_)
        return line_end(last_, enc);
    std::string_view l = line_from(text_, start(p.line));
    std::size_t bytes = std::min(l.size(), static_cast<std::size_t>(std::max<std::int64_t>(p.column - 1, 0)));
    return {p.line - 1, units(l.substr(0, bytes), enc)};
}

} // namespace delimcheck::lsp
