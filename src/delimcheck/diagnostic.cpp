#include "delimcheck/diagnostic.h"

namespace delimcheck {

namespace {

struct kind_words {
    std::string_view code, description;
};

// In the order of diagnostic_kind.
constexpr kind_words words[diagnostic_kind_count] = {
    {"unmatched-closer", "A closing delimiter with nothing open"},
    {"wrong-closer", "A closing delimiter where another one was expected"},
    {"wrong-closer-balanced", "A closing delimiter where another one was expected; the opener in the way is discarded"},
    {"string-stray-closer", "A closing delimiter inside a string that holds nothing it closes"},
    {"string-unclosed-opener", "A string ends with an opener inside it left open"},
    {"extra-after-string", "A closing quote followed by a stray character"},
    {"backslash-blank", "A line ends in a backslash followed by blanks"},
    {"missing-closer", "An opener left open at the end of the input"},
    {"cannot-access", "The input could not be opened"},
    {"read-error", "The input could not be read to its end"},
};

} // namespace

std::string_view code(diagnostic_kind kind) { return words[static_cast<int>(kind)].code; }

std::string_view description(diagnostic_kind kind) { return words[static_cast<int>(kind)].description; }

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
    case hint_reason::repaired:
        return "one edit here makes the whole input check clean";
    case hint_reason::repaired_apart:
        return "one edit here mends this fault and leaves the others as they are";
    case hint_reason::none:
        break;
    }
    return {};
}

} // namespace delimcheck
