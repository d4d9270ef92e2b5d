#include "format/pretty_format.h"

#include <algorithm>
#include <vector>

#include "format/messages.h"
#include "format/repair_text.h"

namespace delimcheck::format {

namespace {

// The escape sequences of the few colours used; bold ones for what the eye should find first.
constexpr std::string_view bold = "\x1b[1m";
constexpr std::string_view red = "\x1b[1;31m";
constexpr std::string_view magenta = "\x1b[1;35m";
constexpr std::string_view cyan = "\x1b[1;36m";
constexpr std::string_view green = "\x1b[1;32m";
constexpr std::string_view plain_red = "\x1b[31m";
constexpr std::string_view plain_green = "\x1b[32m";
constexpr std::string_view blue = "\x1b[34m";
constexpr std::string_view reset = "\x1b[0m";

constexpr int gutter_width = 6;

std::string_view without_newline(std::string_view line)
{
    if (line.ends_with('\n'))
        line.remove_suffix(1);
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    return line;
}

// What comes before the caret for a column: a tab where the line has one, so that the caret
// lands where the terminal shows the byte; nothing for the bytes after the first of a UTF-8
// character, which share its cell.
std::string caret_indent(std::string_view line, std::int64_t column)
{
    std::string s;
    for (std::int64_t i = 0; i + 1 < column; ++i) {
        unsigned char c = i < static_cast<std::int64_t>(line.size()) ? static_cast<unsigned char>(line[static_cast<std::size_t>(i)]) : ' ';
        if (c == '\t')
            s += '\t';
        else if (c < 0x80 || c >= 0xc0)
            s += ' ';
    }
    return s;
}

} // namespace

void pretty_format::paint(std::string_view colour, std::string_view text)
{
    if (color_ && !colour.empty()) {
        out().text(colour);
        out().text(text);
        out().text(reset);
    } else {
        out().text(text);
    }
}

namespace {

// Text from the input or its name as a terminal may show it: control bytes other than a tab,
// which could move the cursor or change the colours, become '?'.
std::string for_terminal(std::string_view text)
{
    std::string s(text);
    for (char &c : s)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f)
            c = '?';
    return s;
}

} // namespace

// "FILE:LINE:COLUMN: error: MESSAGE", as the compiler format has it.
void pretty_format::heading(const diagnostic &d)
{
    position at = shown_position(d);
    std::string where = for_terminal(name()) + ':' + std::to_string(at.line) + ':' + std::to_string(at.column) + ": ";
    paint(bold, where);
    severity s = severity_of(d.kind);
    std::string level = std::string(severity_name(s)) + ": ";
    paint(s == severity::warning ? magenta : red, level);
    paint(bold, message(d));
    out().put('\n');
}

void pretty_format::gutter(std::int64_t line)
{
    std::string g;
    if (line != 0) {
        g = std::to_string(line);
        if (g.size() < gutter_width - 1)
            g.insert(0, gutter_width - 1 - g.size(), ' ');
    } else {
        g.assign(gutter_width - 1, ' ');
    }
    g += " | ";
    paint(blue, g);
}

// A line of the input as a terminal may show it.
void pretty_format::source(std::string_view line) { out().text(for_terminal(line)); }

// The line of the place with a caret under it, or, without the line, where it is. A place on
// the line of the one before it gets only its caret.
void pretty_format::show(const mark &m, bool same_line)
{
    if (lines() == nullptr || !lines()->line(m.at.line, text_)) {
        out().text("  at ");
        out().decimal(m.at.line);
        out().put(':');
        out().decimal(m.at.column);
        if (!m.label.empty())
            out().text(": ");
        paint(m.colour, m.label);
        out().put('\n');
        return;
    }
    std::string_view line = without_newline(text_);
    if (!same_line) {
        gutter(m.at.line);
        source(line);
        out().put('\n');
    }
    gutter(0);
    out().text(caret_indent(line, m.at.column));
    paint(m.colour, m.label.empty() ? "^" : "^ " + m.label);
    out().put('\n');
}

// The words of the repair, and the lines it changes with a line of context either side; the
// lines of the input are numbered, the lines it would gain are not.
void pretty_format::show_repair(const repair &fix)
{
    paint(green, "  repair: ");
    out().text(fix.description);
    out().put('\n');
    std::vector<line_change> changes;
    if (lines() == nullptr || !line_changes(*lines(), fix, changes))
        return;
    for (const line_change &c : changes) {
        std::int64_t after = c.first + static_cast<std::int64_t>(c.removed.size());
        if (c.first > 1 && lines()->line(c.first - 1, text_)) {
            gutter(c.first - 1);
            out().put(' ');
            source(without_newline(text_));
            out().put('\n');
        }
        std::int64_t n = c.first;
        for (const std::string &l : c.removed) {
            gutter(n++);
            paint(plain_red, "-");
            source(without_newline(l));
            out().put('\n');
        }
        for (const std::string &l : c.added) {
            gutter(0);
            paint(plain_green, "+");
            source(without_newline(l));
            out().put('\n');
        }
        if (lines()->line(after, text_)) {
            gutter(after);
            out().put(' ');
            source(without_newline(text_));
            out().put('\n');
        }
    }
}

// The places in line order: the opener, the likely fault and where the report stands.
void pretty_format::write(const diagnostic &d)
{
    heading(d);
    if (d.at.line != 0) {
        std::vector<mark> marks;
        if (d.opener.line != 0)
            marks.push_back({d.opener, related_message(d), cyan});
        if (d.likely.at.line != 0)
            marks.push_back({d.likely.at, "likely fault: " + hint_text(d.likely), green});
        marks.push_back(
            {d.at, d.kind == diagnostic_kind::missing_closer ? "the input ends here" : std::string(), red});
        std::stable_sort(marks.begin(), marks.end(), [](const mark &a, const mark &b) { return a.at.line < b.at.line; });
        for (std::size_t i = 0; i < marks.size(); ++i)
            show(marks[i], i > 0 && marks[i].at.line == marks[i - 1].at.line);
        if (!d.fix.empty())
            show_repair(d.fix);
    }
    out().put('\n');
}

} // namespace delimcheck::format
