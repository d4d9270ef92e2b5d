#include "format/messages.h"

#include <cstring>

namespace delimcheck::format {

static std::string line_char(position p)
{
    return "line " + std::to_string(p.line) + " char " + std::to_string(p.column);
}

std::string message(const diagnostic &d)
{
    switch (d.kind) {
    case diagnostic_kind::unmatched_closer:
        return std::string("Unmatching ") + d.got;
    case diagnostic_kind::wrong_closer:
        return std::string("Expecting ") + d.expected + " got " + d.got;
    case diagnostic_kind::balanced_closer:
        return std::string("Expecting ") + d.expected + " got " + d.got + " (balancing " + d.pair_opener +
               d.pair_closer + ")";
    case diagnostic_kind::string_stray_closer:
        return std::string("Inside a string: unmatched ") + d.got;
    case diagnostic_kind::string_unclosed:
        return std::string("Inside a string: unmatched ") + d.got + " ending the string";
    case diagnostic_kind::extra_after_string:
        return "Extra characters after string";
    case diagnostic_kind::backslash_blank:
        return "\\ followed by blank space at the end of the line";
    case diagnostic_kind::missing_closer:
        return std::string(1, d.expected) + " missing, opened on " + line_char(d.opener);
    case diagnostic_kind::cannot_access:
        return std::string("Cannot be accessed: ") + std::strerror(d.system_error);
    case diagnostic_kind::read_error:
        return std::string("Could not be read to its end: ") + std::strerror(d.system_error);
    }
    return {};
}

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
