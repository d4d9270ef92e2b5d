#include "lsp/text_position.h"

#include <algorithm>
#include <cstring>

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
    std::size_t start = 0;
    for (std::int64_t l = 0; l < p.line; ++l) {
        const void *nl = std::memchr(text.data() + start, '\n', text.size() - start);
        if (nl == nullptr)
            return text.size();
        start = static_cast<std::size_t>(static_cast<const char *>(nl) - text.data()) + 1;
    }
    return start + offset_in_line(line_from(text, start), p.character, enc);
}

line_index::line_index(std::string_view text) : text_(text)
{
    starts_.push_back(0);
    for (const char *p = text.data(), *end = p + text.size();
         (p = static_cast<const char *>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))) != nullptr;)
        starts_.push_back(static_cast<std::size_t>(++p - text.data()));
}

std::string_view line_index::line(std::int64_t line) const
{
    return line_from(text_, starts_[static_cast<std::size_t>(line - 1)]);
}

client_position line_index::line_end(std::int64_t line, encoding enc) const
{
    if (line < 1)
        return {0, 0};
    if (static_cast<std::size_t>(line) > starts_.size())
        return line_end(static_cast<std::int64_t>(starts_.size()), enc);
    return {line - 1, units(this->line(line), enc)};
}

client_position line_index::to_client(position p, encoding enc) const
{
    if (p.line < 1)
        return {0, 0};
    if (static_cast<std::size_t>(p.line) > starts_.size())
        return line_end(static_cast<std::int64_t>(starts_.size()), enc);
    std::string_view l = line(p.line);
    std::size_t bytes = std::min(l.size(), static_cast<std::size_t>(std::max<std::int64_t>(p.column - 1, 0)));
    return {p.line - 1, units(l.substr(0, bytes), enc)};
}

} // namespace delimcheck::lsp
