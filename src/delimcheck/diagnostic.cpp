#include "delimcheck/diagnostic.h"

namespace delimcheck {

std::string_view code(diagnostic_kind kind)
{
    switch (kind) {
    case diagnostic_kind::unmatched_closer:
        return "unmatched-closer";
    case diagnostic_kind::wrong_closer:
        return "wrong-closer";
    case diagnostic_kind::balanced_closer:
        return "wrong-closer-balanced";
    case diagnostic_kind::string_stray_closer:
        return "string-stray-closer";
    case diagnostic_kind::string_unclosed:
        return "string-unclosed-opener";
    case diagnostic_kind::extra_after_string:
        return "extra-after-string";
    case diagnostic_kind::backslash_blank:
        return "backslash-blank";
    case diagnostic_kind::missing_closer:
        return "missing-closer";
    case diagnostic_kind::cannot_access:
        return "cannot-access";
    case diagnostic_kind::read_error:
        return "read-error";
    }
    return "unknown";
}

std::string_view description(diagnostic_kind kind)
{
    switch (kind) {
    case diagnostic_kind::unmatched_closer:
        return "A closing delimiter with nothing open";
    case diagnostic_kind::wrong_closer:
        return "A closing delimiter where another one was expected";
    case diagnostic_kind::balanced_closer:
        return "A closing delimiter where another one was expected; the opener in the way is discarded";
    case diagnostic_kind::string_stray_closer:
        return "A closing delimiter inside a string that holds nothing it closes";
    case diagnostic_kind::string_unclosed:
        return "A string ends with an opener inside it left open";
    case diagnostic_kind::extra_after_string:
        return "A closing quote followed by a stray character";
    case diagnostic_kind::backslash_blank:
        return "A line ends in a backslash followed by blanks";
    case diagnostic_kind::missing_closer:
        return "An opener left open at the end of the input";
    case diagnostic_kind::cannot_access:
        return "The input could not be opened";
    case diagnostic_kind::read_error:
        return "The input could not be read to its end";
    }
    return {};
}

std::string_view severity_name(severity s)
{
    switch (s) {
    case severity::error:
        return "error";
    case severity::warning:
        return "warning";
    case severity::note:
        return "note";
    }
    return "error";
}

std::string hint_text(const hint &h)
{
    std::string opener = std::string("the ") + h.opener_byte + " on line " + std::to_string(h.opener.line);
    switch (h.reason) {
    case hint_reason::dedent_without_close:
        return "indentation returns to the level of " + opener + " here, but nothing closes it";
    case hint_reason::closer_indentation:
        return std::string("this closer stands at another indentation than the line of ") + opener + " it closes";
    case hint_reason::indent_without_open:
        return "the lines after this one are indented deeper, but it opens nothing";
    case hint_reason::never_closed:
        return h.opener_byte == '"' ? "this \" opens a string that is never closed"
                                    : std::string("this ") + h.opener_byte + " is never closed";
    case hint_reason::none:
        break;
    }
    return {};
}

} // namespace delimcheck
