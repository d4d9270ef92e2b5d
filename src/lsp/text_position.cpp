#include "lsp/text_position.h"

#include <algorithm>
#include <cstring>
#include <limits>

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

// The carriage returns in [from, to) that no line feed follows: each ends a client line.
std::int64_t lone_returns(std::string_view text, std::size_t from, std::size_t to)
{
    std::int64_t n = 0;
    for (const char *p = text.data() + from, *end = text.data() + to;
         (p = static_cast<const char *>(std::memchr(p, '\r', static_cast<std::size_t>(end - p)))) != nullptr; ++p) {
        std::size_t at = static_cast<std::size_t>(p - text.data());
        if (at + 1 >= text.size() || text[at + 1] != '\n')
            ++n;
        if (p + 1 == end)
            break;
    }
    return n;
}

// The offset just after the n-th client line break from `from`, or npos when there are fewer.
// Blocks without a carriage return are counted as line feeds alone.
std::size_t skip_client_lines(std::string_view text, std::size_t from, std::int64_t n)
{
    constexpr std::size_t block = 1024;
    std::size_t i = from;
    while (n > 0) {
        std::size_t end = std::min(text.size(), i + block);
        if (i == end)
            return std::string_view::npos;
        if (std::memchr(text.data() + i, '\r', end - i) == nullptr) {
            std::int64_t here = std::count(text.data() + i, text.data() + end, '\n');
            if (here < n) {
                n -= here;
                i = end;
                continue;
            }
        }
        for (; i < end; ++i) {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            if ((text[i] == '\n' || text[i] == '\r') && --n == 0)
                return i + 1;
        }
    }
    return i;
}

// The checker line that starts at `start`, without its line ending.
std::string_view line_from(std::string_view text, std::size_t start)
{
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos)
        end = text.size();
    else if (end > start && text[end - 1] == '\r')
        --end;
    return text.substr(start, end - start);
}

// The client line that starts at `start`, without its line break.
std::string_view client_line_from(std::string_view text, std::size_t start)
{
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos)
        end = text.size();
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
    std::size_t start = skip_client_lines(text, 0, p.line);
    if (start == std::string_view::npos)
        return text.size();
    return start + offset_in_line(client_line_from(text, start), p.character, enc);
}

line_index::line_index(std::string_view text, std::vector<std::int64_t> lines) : text_(text)
{
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    line_start at{1, 0, 0};
    for (std::int64_t l : lines) {
        if (l < 1)
            continue;
        std::size_t next = skip_lines(text, at.offset, l - at.line);
        if (next == std::string_view::npos)
            break;
        at.client_line += l - at.line + lone_returns(text, at.offset, next);
        at.line = l;
        at.offset = next;
        starts_.push_back(at);
    }
    // The last line, for positions after it: counted on from the last one found.
    std::size_t nl = text.rfind('\n');
    std::size_t last_start = nl == std::string_view::npos ? 0 : std::max(nl + 1, at.offset);
    std::int64_t feeds = std::count(text.data() + at.offset, text.data() + last_start, '\n');
    last_ = {at.line + feeds, last_start, at.client_line + feeds + lone_returns(text, at.offset, last_start)};
}

line_index::line_start line_index::start(std::int64_t line) const
{
    if (line >= last_.line)
        return last_;
    auto it = std::lower_bound(starts_.begin(), starts_.end(), line,
                               [](const line_start &s, std::int64_t l) { return s.line < l; });
    return it != starts_.end() && it->line == line ? *it : last_;
}

bool line_index::has_next(std::int64_t line) const { return line < last_.line; }

client_position line_index::line_end(std::int64_t line, encoding enc) const
{
    if (line < 1)
        return {0, 0};
    line = std::min(line, last_.line);
    return to_client({line, std::numeric_limits<std::int64_t>::max()}, enc);
}

client_position line_index::line_end(position p, encoding enc) const
{
    client_position at = to_client(p, enc);
    if (p.line < 1 || p.line > last_.line)
        return at;
    line_start s = start(p.line);
    std::string_view l = line_from(text_, s.offset);
    std::size_t bytes = std::min(l.size(), static_cast<std::size_t>(std::max<std::int64_t>(p.column - 1, 0)));
    std::size_t end = l.find('\r', bytes);
    if (end == std::string_view::npos)
        end = l.size();
    return {at.line, at.character + units(l.substr(bytes, end - bytes), enc)};
}

client_position line_index::to_client(position p, encoding enc) const
{
    if (p.line < 1)
        return {0, 0};
    if (p.line > last_.line)
        return line_end(last_.line, enc);
    line_start s = start(p.line);
    std::string_view l = line_from(text_, s.offset);
    std::size_t bytes = std::min(l.size(), static_cast<std::size_t>(std::max<std::int64_t>(p.column - 1, 0)));
    std::string_view before = l.substr(0, bytes);
    // Carriage returns inside a checker line are lone: each starts a client line.
    std::int64_t breaks = std::count(before.begin(), before.end(), '\r');
    std::size_t cr = before.rfind('\r');
    std::string_view in_line = cr == std::string_view::npos ? before : before.substr(cr + 1);
    return {s.client_line + breaks, units(in_line, enc)};
}

} // namespace delimcheck::lsp
