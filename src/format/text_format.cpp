#include "format/text_format.h"

namespace delimcheck::format {

void text_format::begin_input(const std::string *name)
{
    named_ = name != nullptr;
    name_ = named_ ? *name : std::string();
    header_printed_ = false;
    if (!quiet_)
        header_once(); // every named input gets its header before it is opened
}

void text_format::header_once()
{
    if (header_printed_ || !named_)
        return;
    out_.text("File ");
    out_.text(name_);
    out_.text(":\n");
    header_printed_ = true;
}

void text_format::line_char(position at)
{
    out_.text("line ");
    out_.decimal(at.line);
    out_.text(" char ");
    out_.decimal(at.column);
}

void text_format::report(const diagnostic &d)
{
    switch (d.kind) {
    case diagnostic_kind::unmatched_closer:
        header_once();
        out_.text("Unmatching ");
        out_.put(d.got);
        out_.text(" : ");
        line_char(d.at);
        out_.put('\n');
        return;
    case diagnostic_kind::wrong_closer:
    case diagnostic_kind::balanced_closer:
        header_once();
        out_.text("Expecting ");
        out_.put(d.expected);
        out_.text(" got ");
        out_.put(d.got);
        out_.text(" : ");
        line_char(d.at);
        if (d.kind == diagnostic_kind::balanced_closer) {
            out_.text(" (balancing ");
            out_.put(d.pair_opener);
            out_.put(d.pair_closer);
            out_.put(')');
        }
        out_.put('\n');
        return;
    case diagnostic_kind::string_stray_closer:
    case diagnostic_kind::string_unclosed:
        header_once();
        out_.text("Inside a string: unmatched ");
        out_.put(d.got);
        out_.text(d.kind == diagnostic_kind::string_stray_closer ? " on " : " ending ");
        line_char(d.at);
        out_.put('\n');
        return;
    case diagnostic_kind::extra_after_string:
        // A warning, not a report: it never brings out the input's header.
        out_.text("Extra characters after string : ");
        line_char(d.at);
        out_.put('\n');
        return;
    case diagnostic_kind::backslash_blank:
        out_.text("\\ followed by blank space at the end of line ");
        out_.decimal(d.at.line);
        out_.text(".\n");
        return;
    case diagnostic_kind::missing_closer:
        header_once();
        out_.put(d.expected);
        out_.text(" missing, opened on ");
        line_char(d.opener);
        out_.put('\n');
        return;
    case diagnostic_kind::cannot_access:
        header_once();
        out_.text("Cannot be accessed!!\n");
        return;
    case diagnostic_kind::read_error:
        return; // said on standard error by the caller
    }
}

void text_format::listing(const listing_line &l)
{
    header_once();
    out_.padded_decimal(l.line, 5);
    out_.text(" : ");
    out_.text(l.text);
    out_.put('\n');
}

} // namespace delimcheck::format
