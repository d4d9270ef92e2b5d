#include "format/repair_text.h"

#include <algorithm>

namespace delimcheck::format {

namespace {

bool before(position a, position b) { return a.line < b.line || (a.line == b.line && a.column < b.column); }

std::vector<std::string> split_lines(std::string_view s)
{
    std::vector<std::string> lines;
    while (!s.empty()) {
        std::size_t nl = s.find('\n');
        std::size_t n = nl == std::string_view::npos ? s.size() : nl + 1;
        lines.emplace_back(s.substr(0, n));
        s.remove_prefix(n);
    }
    return lines;
}

// Lines first..last of the input, joined, with the offset at which each starts. Past the
// input's end there are no more bytes: the line after the last one starts at its end.
struct block {
    std::int64_t first = 1;
    std::string bytes;
    std::vector<std::size_t> starts;
    std::int64_t lines_read = 0; // lines that exist from `first` on

    void read(line_source &input, std::int64_t from, std::int64_t to)
    {
        first = from;
        std::string text;
        for (std::int64_t n = from; n <= to; ++n) {
            starts.push_back(bytes.size());
            if (!input.line(n, text))
                break; // the line after the last: nothing further can be named
            bytes += text;
            ++lines_read;
        }
    }

    // The offset of a position in the block; false when the input has no such place. Only
    // the line right after the last one may be named beyond the input, at its column 1.
    bool offset(position p, std::size_t &at) const
    {
        std::int64_t i = p.line - first;
        if (i < 0 || i >= static_cast<std::int64_t>(starts.size()) || p.column < 1)
            return false;
        std::size_t start = starts[static_cast<std::size_t>(i)];
        if (i >= lines_read) {
            if (i != lines_read || p.column != 1)
                return false;
            at = start;
            return true;
        }
        std::size_t end = static_cast<std::size_t>(i) + 1 < starts.size() ? starts[static_cast<std::size_t>(i) + 1]
                                                                           : bytes.size();
        if (static_cast<std::uint64_t>(p.column - 1) > end - start)
            return false;
        at = start + static_cast<std::size_t>(p.column - 1);
        return true;
    }
};

// The edits [i, j] on one block of lines, as the lines they change. The block starts a line
// early, so that an insertion after a last line without a newline joins that line, as the
// bytes do; the line is dropped again when it stays as it was.
bool change_of(line_source &input, const std::vector<text_edit> &edits, std::size_t i, std::size_t j,
               std::vector<line_change> &changes)
{
    block b;
    b.read(input, std::max<std::int64_t>(1, edits[i].from.line - 1), edits[j].to.line);
    std::string after;
    std::size_t done = 0;
    for (std::size_t k = i; k <= j; ++k) {
        std::size_t from = 0, to = 0;
        if (!b.offset(edits[k].from, from) || !b.offset(edits[k].to, to) || from < done || to < from)
            return false;
        after.append(b.bytes, done, from - done);
        after += edits[k].text;
        done = to;
    }
    after.append(b.bytes, done);
    line_change c;
    c.removed = split_lines(b.bytes);
    c.added = split_lines(after);
    c.first = b.first;
    std::size_t same = 0;
    while (same < c.removed.size() && same < c.added.size() && c.removed[same] == c.added[same])
        ++same;
    c.removed.erase(c.removed.begin(), c.removed.begin() + static_cast<std::ptrdiff_t>(same));
    c.added.erase(c.added.begin(), c.added.begin() + static_cast<std::ptrdiff_t>(same));
    c.first += static_cast<std::int64_t>(same);
    while (!c.removed.empty() && !c.added.empty() && c.removed.back() == c.added.back()) {
        c.removed.pop_back();
        c.added.pop_back();
    }
    if (c.removed.empty() && c.added.empty())
        return true;
    if (!changes.empty() && c.first < changes.back().first + static_cast<std::int64_t>(changes.back().removed.size()))
        return false;
    changes.push_back(std::move(c));
    return true;
}

} // namespace

bool line_changes(line_source &input, const repair &r, std::vector<line_change> &changes)
{
    changes.clear();
    const std::vector<text_edit> &edits = r.edits;
    for (std::size_t i = 0; i < edits.size();) {
        if (before(edits[i].to, edits[i].from) || (i > 0 && before(edits[i].from, edits[i - 1].to)))
            return false;
        // Edits that share a line, or that the line before one of them joins, make one block.
        std::size_t j = i;
        std::int64_t last = edits[i].to.line;
        while (j + 1 < edits.size() && edits[j + 1].from.line <= last + 1) {
            if (before(edits[j + 1].to, edits[j + 1].from) || before(edits[j + 1].from, edits[j].to))
                return false;
            last = std::max(last, edits[++j].to.line);
        }
        if (!change_of(input, edits, i, j, changes))
            return false;
        i = j + 1;
    }
    return true;
}

bool apply_changes(line_source &input, const std::vector<line_change> &changes, std::string &after)
{
    after.clear();
    std::string text;
    std::int64_t n = 1;
    auto copy_to = [&](std::int64_t end) { // lines n up to, not including, end
        for (; n < end; ++n)
            if (!input.line(n, text))
                return false;
            else
                after += text;
        return true;
    };
    for (const line_change &c : changes) {
        if (!copy_to(c.first))
            return false;
        for (const std::string &l : c.added)
            after += l;
        n = c.first + static_cast<std::int64_t>(c.removed.size());
    }
    while (input.line(n, text)) {
        after += text;
        ++n;
    }
    return true;
}

namespace {

constexpr std::int64_t context = 3;

// One line of a hunk: its mark and its bytes; a line without a newline is the last of its file,
// and says so as diff does.
void hunk_line(std::string &body, char mark, const std::string &line)
{
    body += mark;
    body += line;
    if (line.empty() || line.back() != '\n')
        body += "\n\\ No newline at end of file\n";
}

// A name as patch reads it: as it is when it is plain, else in double quotes with C escapes
// (octal for bytes outside printable ASCII), since a blank would end it.
std::string quoted_name(std::string_view name)
{
    auto plain = [](unsigned char c) { return c > ' ' && c < 0x7f && c != '"' && c != '\\'; };
    if (!name.empty() && std::all_of(name.begin(), name.end(), plain))
        return std::string(name);
    std::string q = "\"";
    for (unsigned char c : name) {
        if (c == '"' || c == '\\') {
            q += '\\';
            q += static_cast<char>(c);
        } else if (c == '\t') {
            q += "\\t";
        } else if (c == '\n') {
            q += "\\n";
        } else if (c >= ' ' && c < 0x7f) {
            q += static_cast<char>(c);
        } else {
            const char octal[] = {'\\', static_cast<char>('0' + (c >> 6)), static_cast<char>('0' + (c >> 3 & 7)),
                                  static_cast<char>('0' + (c & 7))};
            q.append(octal, sizeof octal);
        }
    }
    return q + '"';
}

// "-12,3": a range of no lines names the line before it.
void range(output &out, std::int64_t start, std::int64_t count)
{
    out.decimal(count == 0 ? start - 1 : start);
    out.put(',');
    out.decimal(count);
}

} // namespace

void unified_diff(output &out, std::string_view name, line_source &input, const std::vector<line_change> &changes,
                  bool unsafe)
{
    if (changes.empty())
        return;
    const std::string quoted = quoted_name(name);
    out.text("--- ");
    out.text(quoted);
    if (unsafe)
        out.text("\tunsafe");
    out.text("\n+++ ");
    out.text(quoted);
    out.put('\n');
    std::int64_t shift = 0; // lines added less lines removed before the hunk
    std::string text;
    for (std::size_t i = 0; i < changes.size();) {
        // The changes whose contexts meet make one hunk.
        std::size_t j = i;
        auto end_of = [&](std::size_t k) {
            return changes[k].first + static_cast<std::int64_t>(changes[k].removed.size());
        };
        while (j + 1 < changes.size() && changes[j + 1].first - end_of(j) <= 2 * context)
            ++j;
        std::int64_t start = std::max<std::int64_t>(1, changes[i].first - context);
        std::int64_t old_count = 0, new_count = 0, n = start;
        std::string body;
        for (std::size_t k = i; k <= j; ++k) {
            for (; n < changes[k].first && input.line(n, text); ++n, ++old_count, ++new_count)
                hunk_line(body, ' ', text);
            for (const std::string &l : changes[k].removed)
                hunk_line(body, '-', l);
            for (const std::string &l : changes[k].added)
                hunk_line(body, '+', l);
            old_count += static_cast<std::int64_t>(changes[k].removed.size());
            new_count += static_cast<std::int64_t>(changes[k].added.size());
            n = end_of(k);
        }
        for (std::int64_t end = n + context; n < end && input.line(n, text); ++n, ++old_count, ++new_count)
            hunk_line(body, ' ', text);
        out.text("@@ -");
        range(out, start, old_count);
        out.text(" +");
        range(out, start + shift, new_count);
        out.text(" @@\n");
        out.text(body);
        for (std::size_t k = i; k <= j; ++k)
            shift += static_cast<std::int64_t>(changes[k].added.size()) - static_cast<std::int64_t>(changes[k].removed.size());
        i = j + 1;
    }
}

} // namespace delimcheck::format
