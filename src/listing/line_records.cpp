#include "listing/line_records.h"

#include <string>

#include "delimcheck/delimiters.h"

namespace delimcheck::listing {

bool closes(std::string_view a, std::string_view b, bool exact)
{
    // The lengths alone settle most comparisons of lines at other indentations.
    if (b.size() < a.size() || (exact && b.size() != a.size()))
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (b[i] != a[i] && !is_pair(a[i], b[i]))
            return false;
    return true;
}

void line_records::push(std::int64_t line, std::string_view text, std::size_t delims_size)
{
    std::size_t begin = bytes_.size();
    bytes_.append(text.data(), text.size());
    stack_.push({line, begin, bytes_.size() - delims_size, bytes_.size()});
}

void line_records::pop()
{
    if (stack_.empty())
        return;
    bytes_.truncate(stack_.top().text_begin);
    stack_.pop();
}

std::string_view line_records::text(std::size_t index) const
{
    std::size_t end = index + 1 < stack_.size() ? stack_[index + 1].text_begin : bytes_.size();
    return bytes_.view(stack_[index].text_begin, end);
}

std::string_view line_records::delims(std::size_t index) const
{
    return bytes_.view(stack_[index].delims_begin, stack_[index].delims_end);
}

// The line's closers, from its first on, answer the records' openers from the newest back.
// A failure undoes nothing: cuts and dropped records stay, and the line keeps what was left
// of it when the last record was dropped.
std::size_t line_records::join_line(std::string_view d)
{
    std::size_t start = 0; // where this pass begins in d; earlier bytes closed dropped records
    for (;;) {
        if (stack_.empty())
            return d.size() - start;
        record &r = stack_.top();
        std::size_t i = start;
        while (i < d.size() && r.delims_end > r.delims_begin) {
            if (!is_pair(bytes_[r.delims_end - 1], d[i]))
                return d.size() - start;
            --r.delims_end; // cut the record's last delimiter
            ++i;
        }
        if (r.delims_end == r.delims_begin)
            pop();
        if (i == d.size())
            return 0;
        start = i;
    }
}

// The line closes the record below one that closes and reopens: the top's own closing part,
// with its last reopening byte blanked out, must mirror the line.
bool line_records::cancels_reopened_pair(std::string_view line, std::string_view top, std::string_view below) const
{
    if (!closes(below, line, true) || !closes(below, top, false))
        return false;
    std::size_t n = line.size();
    if (n == 0 || n > top.size())
        return false;
    std::string copy(top);
    copy[n - 1] = ' ';
    return closes(std::string_view(copy).substr(copy.size() - n), line, true);
}

void line_records::pair_line(std::int64_t line, std::string_view text, std::size_t delims_size, bool join)
{
    if (stack_.empty()) {
        push(line, text, delims_size);
        return;
    }
    if (join) {
        // Joining takes the delimiters from their front, so what is left of them is still the
        // text's last bytes.
        if (std::size_t left = join_line(text.substr(text.size() - delims_size)); left != 0)
            push(line, text, left);
        return;
    }
    const std::size_t top_begin = stack_.top().text_begin;
    std::string_view top = bytes_.view(top_begin, bytes_.size());
    if (closes(top, text, true)) {
        pop();
        return;
    }
    if (stack_.size() < 2) {
        push(line, text, delims_size);
        return;
    }
    std::string_view below = bytes_.view(stack_[stack_.size() - 2].text_begin, top_begin);
    if (cancels_reopened_pair(text, top, below)) {
        pop();
        pop();
        return;
    }
    push(line, text, delims_size);
}

void line_records::list(sink &out)
{
    for (std::size_t i = 0; i < stack_.size(); ++i)
        out.listing({stack_[i].line, text(i)});
    clear();
}

void line_records::clear()
{
    stack_.clear();
    bytes_.clear();
}

} // namespace delimcheck::listing
