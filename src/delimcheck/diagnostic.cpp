#include "delimcheck/diagnostic.h"

#include <cstring>
#include <iterator>

namespace delimcheck {

namespace {

constexpr severity E = severity::error, W = severity::warning;

// In the order of diagnostic_kind.
constexpr kind_info kinds[] = {
    {"unmatched-closer", E, "A closing delimiter with nothing open", "A closer with nothing open.",
     "Unmatching {got} : {at}", "Unmatching {got}"},
    {"wrong-closer", E, "A closing delimiter where another one was expected",
     "A closer where another was expected; nothing is discarded.", "Expecting {expected} got {got} : {at}",
     "Expecting {expected} got {got}"},
    {"wrong-closer-balanced", E,
     "A closing delimiter where another one was expected; the opener in the way is discarded",
     "A closer where another was expected: the entry in the way is discarded, one diagnostic for each, until an "
     "entry that the closer closes is found.",
     "Expecting {expected} got {got} : {at} (balancing {pair})", "Expecting {expected} got {got} (balancing {pair})"},
    {"string-stray-closer", E, "A closing delimiter inside a string that holds nothing it closes",
     "A closer inside a string that holds nothing it closes; the string stays open.",
     "Inside a string: unmatched {got} on {at}", "Inside a string: unmatched {got}"},
    {"string-unclosed-opener", E, "A string ends with an opener inside it left open",
     "The quote that ends a string leaves an opener inside it unclosed.",
     "Inside a string: unmatched {got} ending {at}", "Inside a string: unmatched {got} ending the string"},
    {"extra-after-string", W, "A closing quote followed by a stray character",
     "A warning: a closing quote followed by something other than a blank, ), ;, a backslash, ] or }.",
     "Extra characters after string : {at}", "Extra characters after string"},
    {"backslash-blank", W, "A line ends in a backslash followed by blanks",
     "A warning, with -e: a line ends in a backslash and blanks.",
     "\\ followed by blank space at the end of line {line}.", "\\ followed by blank space at the end of the line"},
    {"missing-closer", E, "An opener left open at the end of the input", "At the end of an input: an opener never closed.",
     "{expected} missing, opened on {opener}", "{expected} missing, opened on {opener}"},
    {"cannot-access", E, "The input could not be opened",
     "The input could not be opened: it is missing, unreadable or a directory.", "Cannot be accessed!!",
     "Cannot be accessed: {error}"},
    {"read-error", E, "The input could not be read to its end",
     "The input could not be read to its end; it was checked as far as it was read.", "",
     "Could not be read to its end: {error}"},
    {"unused-directive", W, "A delimcheck directive that suppresses nothing",
     "A warning, when asked for: a delimcheck directive in a comment that suppresses no report, so that stale ones "
     "are found.",
     "Directive suppresses nothing : {at}", "Directive suppresses nothing"},
    {"bad-directive", W, "A comment that starts a delimcheck directive but does not say one",
     "A warning: a comment that starts with delimcheck: but is no directive, names an unknown code, or asks for "
     "the whole file below the comment lines at the top.",
     "Malformed directive : {at}", "Malformed directive"},
};

static_assert(std::size(kinds) == all_kind_count, "one row for each diagnostic_kind");

constexpr bool severities_agree()
{
    for (int k = 0; k < all_kind_count; ++k)
        if (kinds[k].level != severity_of(static_cast<diagnostic_kind>(k)))
            return false;
    return true;
}
static_assert(severities_agree(), "severity_of says what the table says");

std::string line_char(position p)
{
    return "line " + std::to_string(p.line) + " char " + std::to_string(p.column);
}

} // namespace

const kind_info &info(diagnostic_kind kind) { return kinds[static_cast<int>(kind)]; }

std::string_view code(diagnostic_kind kind) { return info(kind).code; }

std::string_view description(diagnostic_kind kind) { return info(kind).summary; }

bool kind_of_code(std::string_view c, diagnostic_kind &kind)
{
    for (int k = 0; k < all_kind_count; ++k)
        if (kinds[k].code == c) {
            kind = static_cast<diagnostic_kind>(k);
            return true;
        }
    return false;
}

std::string fill_template(std::string_view words, const diagnostic &d)
{
    std::string s;
    s.reserve(words.size() + 32);
    for (std::size_t i = 0; i < words.size();) {
        std::size_t open = words.find('{', i);
        std::size_t close = open == std::string_view::npos ? open : words.find('}', open);
        if (close == std::string_view::npos) {
            s.append(words.substr(i));
            break;
        }
        s.append(words.substr(i, open - i));
        std::string_view name = words.substr(open + 1, close - open - 1);
        if (name == "got")
            s += d.got;
        else if (name == "expected")
            s += d.expected;
        else if (name == "pair")
            s.append({d.pair_opener, d.pair_closer});
        else if (name == "at")
            s += line_char(d.at);
        else if (name == "line")
            s += std::to_string(d.at.line);
        else if (name == "opener")
            s += line_char(d.opener);
        else if (name == "error")
            s += std::strerror(d.system_error);
        else
            s.append(words.substr(open, close - open + 1)); // not a field: the braces as they are
        i = close + 1;
    }
    return s;
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
