#include "format/messages.h"

namespace delimcheck::format {

// The words are the diagnostic table's: one wording for every format that gives the position
// apart.
std::string message(const diagnostic &d) { return fill_template(info(d.kind).message, d); }

std::string related_message(const diagnostic &d)
{
    if (d.opener.line == 0)
        return {};
    std::string s(1, d.opener_byte);
    s += " opened here";
    if (d.kind == diagnostic_kind::balanced_closer || d.kind == diagnostic_kind::string_unclosed)
        s += ", discarded";
    else if (d.kind == diagnostic_kind::missing_closer)
        s += ", never closed";
    return s;
}

} // namespace delimcheck::format
