#include "format/text_format.h"

#include <cstring>

namespace delimcheck::format {

void text_format::input_begins()
{
    header_printed_ = false;
    if (!quiet_)
        header_once(); // every named input gets its header before it is opened
}

void text_format::print_header()
{
    out().text("File ");
    out().text(name());
    out().text(":\n");
    header_printed_ = true;
}

namespace {

// The longest report line: its words, two numbers of up to 20 bytes and the newline.
constexpr std::size_t longest_report = 128;

char *put_line_char(char *p, position at)
{
    p = put_text(p, "line ");
    p = put_decimal(p, at.line);
    p = put_text(p, " char ");
    return put_decimal(p, at.column);
}

} // namespace

void text_format::write(const diagnostic &d)
{
    if (severity_of(d.kind) != severity::warning)
        header_once(); // warnings never bring out the input's header
    char *p = out().reserve(longest_report);
    switch (d.kind) {
    case diagnostic_kind::unmatched_closer:
        p = put_text(p, "Unmatching ");
        *p++ = d.got;
        p = put_text(p, " : ");
        p = put_line_char(p, d.at);
        break;
    case diagnostic_kind::wrong_closer:
    case diagnostic_kind::balanced_closer:
        p = put_text(p, "Expecting ");
        *p++ = d.expected;
        p = put_text(p, " got ");
        *p++ = d.got;
        p = put_text(p, " : ");
        p = put_line_char(p, d.at);
        if (d.kind == diagnostic_kind::balanced_closer) {
            p = put_text(p, " (balancing ");
            *p++ = d.pair_opener;
            *p++ = d.pair_closer;
            *p++ = ')';
        }
        break;
    case diagnostic_kind::string_stray_closer:
    case diagnostic_kind::string_unclosed:
        p = put_text(p, "Inside a string: unmatched ");
        *p++ = d.got;
        p = d.kind == diagnostic_kind::string_stray_closer ? put_text(p, " on ") : put_text(p, " ending ");
        p = put_line_char(p, d.at);
        break;
    case diagnostic_kind::extra_after_string:
        p = put_text(p, "Extra characters after string : ");
        p = put_line_char(p, d.at);
        break;
    case diagnostic_kind::backslash_blank:
        p = put_text(p, "\\ followed by blank space at the end of line ");
        p = put_decimal(p, d.at.line);
        *p++ = '.';
        break;
    case diagnostic_kind::missing_closer:
        *p++ = d.expected;
        p = put_text(p, " missing, opened on ");
        p = put_line_char(p, d.opener);
        break;
    case diagnostic_kind::cannot_access:
        p = put_text(p, "Cannot be accessed!!");
        break;
    case diagnostic_kind::read_error:
        return; // said on standard error by the caller
    case diagnostic_kind::unused_directive:
        p = put_text(p, "Directive suppresses nothing : ");
        p = put_line_char(p, d.at);
        break;
    case diagnostic_kind::bad_directive:
        p = put_text(p, "Malformed directive : ");
        p = put_line_char(p, d.at);
        break;
    }
    *p++ = '\n';
    out().commit(p);
    if (hints_ && (d.likely.at.line != 0 || !d.fix.empty()))
        write_hint(d.likely, d.fix);
}

// With --hints, after its report: "  hint: line L char C: REASON", set apart from reports and
// listing lines by its first bytes; then the repair, if there is one: "; repair: insert } before
// line 12". A repair without a hint stands at its first edit.
void text_format::write_hint(const hint &h, const repair &fix)
{
    char *p = out().reserve(longest_report);
    p = put_line_char(put_text(p, "  hint: "), h.at.line != 0 ? h.at : fix.edits.front().from);
    out().commit(put_text(p, ": "));
    if (h.at.line != 0)
        out().text(hint_text(h));
    if (!fix.empty()) {
        out().text(h.at.line != 0 ? "; repair: " : "repair: ");
        out().text(fix.description);
    }
    out().put('\n');
}

// The listing's line number: right-aligned in five places, wider when it has more digits.
static char *put_line_number(char *p, std::int64_t line)
{
    if (line < 0 || line >= 100000) {
        char number[24];
        char *end = put_decimal(number, line);
        std::size_t n = static_cast<std::size_t>(end - number);
        std::memset(p, ' ', n < 5 ? 5 - n : 0);
        p += n < 5 ? 5 - n : 0;
        std::memcpy(p, number, n);
        return p + n;
    }
    // Five places whatever the number, with its leading zeros blanked: listing lines come by
    // the million, and this is most of their formatting.
    unsigned v = static_cast<unsigned>(line);
    p[4] = static_cast<char>('0' + v % 10);
    p[3] = static_cast<char>('0' + v / 10 % 10);
    p[2] = static_cast<char>('0' + v / 100 % 10);
    p[1] = static_cast<char>('0' + v / 1000 % 10);
    p[0] = static_cast<char>('0' + v / 10000);
    for (int i = 0; i < 4 && p[i] == '0'; ++i)
        p[i] = ' ';
    return p + 5;
}

void text_format::listing(const listing_line &l)
{
    header_once();
    const std::size_t n = l.text.size();
    if (n > 4096) { // a line too long to assemble in place
        char *p = put_line_number(out().reserve(32), l.line);
        out().commit(put_text(p, " : "));
        out().text(l.text);
        out().put('\n');
        return;
    }
    char *p = put_line_number(out().reserve(n + 32), l.line);
    p = put_bytes(put_text(p, " : "), l.text.data(), n);
    *p++ = '\n';
    out().commit(p);
}

} // namespace delimcheck::format
