#include "check/repair_lines.h"

#include <algorithm>

#include "scan/text.h"

namespace delimcheck::checking {

bool escaped(std::string_view s, std::size_t i)
{
    std::size_t n = 0;
    while (n < i && s[i - n - 1] == '\\')
        ++n;
    return n % 2 == 1;
}

std::int64_t count_unescaped(std::string_view s, char c)
{
    std::int64_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s[i] == c && !escaped(s, i))
            ++n;
    return n;
}

bool continues(const line_text &l)
{
    std::string_view s = scan::line_body(l.text);
    return l.whole() && !s.empty() && s.back() == '\\' && !escaped(s, s.size() - 1);
}

bool kept_lines::read(scan::byte_source &src, const std::vector<std::int64_t> &anchors, std::int64_t window,
                      std::int64_t max_bytes)
{
    lines_.clear();
    shape_ = {};
    if (!src.rewind())
        return false;
    std::size_t next_anchor = 0;
    std::int64_t number = 1, offset = 0;
    bool keep = false;
    auto begin_line = [&] {
        while (next_anchor < anchors.size() && anchors[next_anchor] + window < number)
            ++next_anchor;
        keep = next_anchor < anchors.size() && anchors[next_anchor] - window <= number;
        if (keep)
            lines_.push_back({number, offset, 0, {}});
    };
    begin_line();
    unsigned char buf[1 << 14];
    char last = '\n';
    for (std::size_t got; (got = src.read(buf, sizeof buf)) > 0;) {
        for (std::size_t i = 0; i < got; ++i) {
            char c = static_cast<char>(buf[i]);
            if (last == '\r' && c != '\n')
                shape_.lone_carriage_return = true;
            last = c;
            ++offset;
            if (c == '\n') {
                ++number;
                begin_line();
                continue;
            }
            if (keep) {
                line_text &l = lines_.back();
                if (l.text.size() < line_text::max_bytes)
                    l.text.push_back(c);
                ++l.length;
                l.crlf = c == '\r';
            }
        }
        if (offset > max_bytes)
            return false; // the first fault came early in a big input
    }
    if (src.error() != 0)
        return false;
    if (last == '\r')
        shape_.lone_carriage_return = true;
    shape_.size = offset;
    shape_.ends_with_newline = last == '\n' && offset > 0;
    shape_.lines = shape_.ends_with_newline || offset == 0 ? number - 1 : number;
    if (keep && lines_.back().number > shape_.lines)
        lines_.pop_back(); // the empty line after the last newline
    return true;
}

const line_text *kept_lines::line(std::int64_t number) const
{
    auto it = std::lower_bound(lines_.begin(), lines_.end(), number,
                               [](const line_text &l, std::int64_t n) { return l.number < n; });
    return it != lines_.end() && it->number == number ? &*it : nullptr;
}

const line_text *kept_lines::next_nonempty(std::int64_t number) const
{
    for (std::int64_t n = number + 1; n <= shape_.lines; ++n) {
        const line_text *l = line(n);
        if (l == nullptr || !scan::is_blank_line(l->text))
            return l;
    }
    return nullptr;
}

std::int64_t kept_lines::offset_of(position at) const
{
    if (const line_text *l = line(at.line))
        return l->offset + at.column - 1;
    if (const line_text *before = line(at.line - 1))
        return before->offset + before->length + 1;
    return -1;
}

std::string_view kept_lines::eol_near(const line_text &l) const
{
    if (l.crlf)
        return "\r\n";
    // The last line of an input without a final newline has no ending of its own.
    if (l.number == shape_.lines && !shape_.ends_with_newline)
        if (const line_text *before = line(l.number - 1))
            return before->crlf ? "\r\n" : "\n";
    return "\n";
}

} // namespace delimcheck::checking
