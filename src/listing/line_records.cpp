#include "listing/line_records.h"

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
    bytes_.append(text);
    stack_.push_back({line, begin, bytes_.size() - delims_size, bytes_.size()});
}

void line_records::pop()
{
    if (stack_.empty())
        return;
    bytes_.resize(stack_.back().text_begin);
    stack_.pop_back();
}

std::string_view line_records::bytes_between(std::size_t begin, std::size_t end) const
{
    return std::string_view(bytes_).substr(begin, end - begin);
}

std::string_view line_records::text(std::size_t index) const
{
    std::size_t end = index + 1 < stack_.size() ? stack_[index + 1].text_begin : bytes_.size();
    return bytes_between(stack_[index].text_begin, end);
}

std::string_view line_records::delims(std::size_t index) const
{
    return bytes_between(stack_[index].delims_begin, stack_[index].delims_end);
}

// The line's closers, from its first on, answer the records' openers from the newest back.
// A failure undoes nothing: cuts and dropped records stay, and the line keeps what was left
// of it when the last record was dropped.
bool line_records::join_line(std::string &d)
{
    std::size_t start = 0; // where this pass begins in d; earlier bytes closed dropped records
    for (;;) {
        if (stack_.empty()) {
            d.erase(0, start);
            return false;
        }
        record &r = stack_.back();
        std::size_t i = start;
        while (i < d.size() && r.delims_end > r.delims_begin) {
            if (!is_pair(bytes_[r.delims_end - 1], d[i])) {
                d.erase(0, start);
                return false;
            }
            --r.delims_end; // cut the record's last delimiter
            ++i;
        }
        if (r.delims_end == r.delims_begin)
            pop();
        if (i == d.size())
            return true;
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

void line_records::pair_line(std::int64_t line, std::string_view text, std::string &delims, bool join)
{
    if (stack_.empty()) {
        push(line, text, delims.size());
        return;
    }
    if (join) {
        // The delimiters of a line are the last bytes of its text, and joining only ever takes
        // bytes from their front, so they are still the text's last delims.size() bytes.
        if (!join_line(delims))
            push(line, text, delims.size());
        return;
    }
    // Read from the back: indexing a deque from its front costs more on this path.
    const std::size_t top_begin = stack_.back().text_begin;
    std::string_view top = bytes_between(top_begin, bytes_.size());
    if (closes(top, text, true)) {
        pop();
        return;
    }
    if (stack_.size() < 2) {
        push(line, text, delims.size());
        return;
    }
    std::string_view below = bytes_between(stack_.end()[-2].text_begin, top_begin);
    if (cancels_reopened_pair(text, top, below)) {
        pop();
        pop();
        return;
    }
    push(line, text, delims.size());
}

void line_records::list(sink &out)
{
    for (auto r = stack_.begin(); r != stack_.end(); ++r) {
        std::size_t end = r + 1 != stack_.end() ? r[1].text_begin : bytes_.size();
        out.listing({r->line, bytes_between(r->text_begin, end)});
    }
    clear();
}

void line_records::clear()
{
    stack_.clear();
    bytes_.clear();
    bytes_.shrink_to_fit();
}

} // namespace delimcheck::listing
