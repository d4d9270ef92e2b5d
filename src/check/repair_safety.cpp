#include "check/repair_safety.h"

#include <cstdint>
#include <string>
#include <vector>

#include "tcl/reading.h"

namespace delimcheck::checking {

namespace {

// A repair's edits as byte offsets into the input.
struct byte_edit {
    std::size_t from = 0, to = 0;
    std::string_view text;
};

// The offsets of the edits, in order and not overlapping; false when one does not fit the
// input: a line or column it lacks, an end before its start.
bool offsets_of(std::string_view input, const repair &fix, std::vector<byte_edit> &out)
{
    std::vector<std::size_t> starts = {0};
    for (std::size_t i = 0; i < input.size(); ++i)
        if (input[i] == '\n')
            starts.push_back(i + 1);
    auto offset = [&](position p, std::size_t &at) {
        if (p.line < 1 || p.column < 1)
            return false;
        auto line = static_cast<std::size_t>(p.line);
        auto column = static_cast<std::size_t>(p.column);
        if (line > starts.size()) { // only the line after the last one, at its start
            at = input.size();
            return line == starts.size() + 1 && column == 1;
        }
        std::size_t line_end = line < starts.size() ? starts[line] : input.size();
        at = starts[line - 1] + column - 1;
        return at <= line_end;
    };
    std::size_t done = 0;
    for (const text_edit &e : fix.edits) {
        byte_edit b{0, 0, e.text};
        if (!offset(e.from, b.from) || !offset(e.to, b.to) || b.to < b.from || b.from < done)
            return false;
        done = b.to;
        out.push_back(b);
    }
    return true;
}

// Tcl's source stops at the first ^Z: what follows is never read.
std::string_view sourced(std::string_view text) { return text.substr(0, text.find('\x1a')); }

} // namespace

bool tcl_accepts(std::string_view input, const repair &fix)
{
    std::vector<byte_edit> edits;
    if (!offsets_of(input, fix, edits))
        return false;
    std::string after;
    std::size_t copied = 0;
    for (const byte_edit &e : edits) {
        after.append(input.substr(copied, e.from - copied));
        after.append(e.text);
        copied = e.to;
    }
    after.append(input.substr(copied));
    tcl::reading r = tcl::read_where_run(sourced(after));
    return !r.first && r.misshapen == std::string_view::npos;
}

bool read_whole(scan::byte_source &src, std::string &out)
{
    out.clear();
    if (!src.rewind())
        return false;
    unsigned char buf[1 << 16];
    for (std::size_t n; (n = src.read(buf, sizeof buf)) > 0;)
        out.append(reinterpret_cast<const char *>(buf), n);
    return src.error() == 0;
}

bool repair_is_safe(std::string_view input, const repair &fix)
{
    if (!fix.sure || fix.empty())
        return false;
    std::vector<byte_edit> edits;
    if (!offsets_of(input, fix, edits))
        return false;
    tcl::reading before = tcl::read_where_run(sourced(input));
    if (!before.first)
        return false;
    const tcl::reading_break &b = before.first;
    std::size_t last = b.at + (b.incomplete() ? 0 : 1); // the extra byte itself may go
    std::string after;
    std::vector<std::size_t> probes;
    std::size_t copied = 0;
    for (const byte_edit &e : edits) {
        if (e.from < b.opener || e.from > b.at || e.to > last)
            return false;
        after.append(input.substr(copied, e.from - copied));
        std::size_t at = after.size();
        after.append(e.text);
        for (std::size_t i = 0; i < e.text.size(); ++i)
            probes.push_back(at + i);
        if (e.text.empty())
            probes.push_back(at > 0 ? at - 1 : 0);
        copied = e.to;
    }
    after.append(input.substr(copied));
    tcl::reading repaired = tcl::read_where_run(sourced(after), probes);
    if (repaired.first || repaired.misshapen != std::string_view::npos)
        return false;
    for (tcl::byte_role r : repaired.roles)
        if (r != tcl::byte_role::code)
            return false;
    return true;
}

bool repair_is_safe(scan::byte_source &src, const repair &fix)
{
    std::string input;
    return fix.sure && !fix.empty() && read_whole(src, input) && repair_is_safe(input, fix);
}

} // namespace delimcheck::checking
