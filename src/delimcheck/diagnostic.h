// A diagnostic is a value: what was found, where, and the bytes involved. The formats turn it
// into text; nothing here prints.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace delimcheck {

// Lines and columns count from 1; a column counts bytes, so a tab is one column. Line 0 means
// that there is no such position.
struct position {
    std::int64_t line = 0;
    std::int64_t column = 0;
    friend bool operator==(const position &, const position &) = default;
};

enum class diagnostic_kind : std::uint8_t {
    unmatched_closer,    // a closer with nothing open
    wrong_closer,        // a closer where another was expected; nothing discarded
    balanced_closer,     // the same, with the entry in the way discarded (one diagnostic per entry)
    string_stray_closer, // a closer inside a string that holds nothing it closes
    string_unclosed,     // the quote that ends a string leaves an opener inside it unclosed
    extra_after_string,  // warning: the closing quote is followed by a stray byte
    backslash_blank,     // warning: a line ends in a backslash and blanks
    missing_closer,      // at the end of the input: an opener never closed
    cannot_access,       // the input could not be opened
    read_error,          // the input could not be read to its end
    // About the input's own delimcheck directives, after the checker's kinds:
    unused_directive, // warning, when asked for: a directive that suppressed nothing
    bad_directive,    // warning: a comment that starts a directive but does not say one
};

// The kinds the checker finds, which every SARIF log lists as rules; the directive kinds follow.
inline constexpr int diagnostic_kind_count = 10;
inline constexpr int all_kind_count = 12;

enum class severity : std::uint8_t { error, warning, note };

// What the indentation says about where the fault most likely is.
enum class hint_reason : std::uint8_t {
    none,
    dedent_without_close, // the indentation returns to the level of an open brace's line here
    closer_indentation,   // this closer stands at another indentation than its opener's line
    indent_without_open,  // the lines after this one are indented deeper, but it opens nothing
    never_closed,         // nothing in the indentation: the opener that is never closed
    repaired,             // the edit of the repair (diagnostic::fix) that mends the input is here
    repaired_apart,       // the edit of a repair that mends this fault, other faults left as they are
};

struct hint {
    position at;                            // line 0: no hint
    hint_reason reason = hint_reason::none;
    position opener;                        // the opener the indentation speaks of, if any
    char opener_byte = 0;
};

// The words of a hint: "indentation returns to the level of the { on line 12 here, but nothing
// closes it".
std::string hint_text(const hint &h);

// One change to the input's bytes: those from `from` up to, not including, `to` are replaced by
// `text`. from == to inserts; an empty text deletes. To insert after the input's last line, the
// position is the line after it, column 1.
struct text_edit {
    position from, to;
    std::string text;
    friend bool operator==(const text_edit &, const text_edit &) = default;
};

// The edit that mends the first fault of an input: the input with these edits applied (none
// overlapping, in order) checks clean. description says it in words: "insert } before line 212".
struct repair {
    std::string description;
    std::vector<text_edit> edits;
    // No other edit that makes the input check clean came near this one in the search.
    bool sure = false;
    // Sure, and it mends an input that Tcl itself cannot read or run: --fix writes only these.
    bool safe = false;
    // The search's rule that proposed the edit, for measurements ("" when none).
    std::string rule = {};
    bool empty() const { return edits.empty(); }
    friend bool operator==(const repair &, const repair &) = default;
};

enum class suppression : std::uint8_t { none, in_source, external };

struct diagnostic {
    diagnostic_kind kind = diagnostic_kind::unmatched_closer;
    // Where it was found: the closer or closing quote; for backslash_blank the backslash; for
    // missing_closer the end of the input (the line of its last byte, the column after that
    // line's last byte); for cannot_access and read_error line 0.
    position at;
    char got = 0;      // the closer found (for string_unclosed, the opener left open)
    char expected = 0; // the closer the innermost entry waited for; for missing_closer, the closer missing
    char pair_opener = 0, pair_closer = 0; // balanced_closer: the pair the stack is balanced towards
    // The opener concerned, when there is one: the entry waiting for `expected` (wrong_closer,
    // string_stray_closer), the entry discarded (balanced_closer, string_unclosed), the entry never
    // closed (missing_closer).
    position opener;
    char opener_byte = 0;
    int system_error = 0; // cannot_access, read_error: the errno value
    struct hint likely;   // filled only when hints are asked for
    struct repair fix;    // with hints, on the diagnostic of the first fault that a repair mends
    // Accepted by a directive in the input (in_source) or by the settings (external): not
    // counted, left out of most formats, kept and marked where a format can say so.
    suppression suppressed = suppression::none;
};

// Everything a kind means, in one row of one table: its stable code, as the formats and the
// manual give it; its severity; a sentence (summary); the manual's paragraph, which SARIF
// gives as the rule's description; and its words, as templates. In the templates {got},
// {expected}, {pair} (the balancing pair), {at} ("line L char C" of the report), {line} (its
// line alone), {opener} ("line L char C" of the opener) and {error} (the system's words) stand
// for the diagnostic's values; `text` is the text format's line, `message` the words of the
// formats that give the position apart.
struct kind_info {
    std::string_view code;
    severity level;
    std::string_view summary;
    std::string_view paragraph;
    std::string_view text;
    std::string_view message;
};

const kind_info &info(diagnostic_kind kind);
std::string_view code(diagnostic_kind kind);
std::string_view description(diagnostic_kind kind);
std::string_view severity_name(severity s);
// The kind whose code this is; false for any other word.
bool kind_of_code(std::string_view code, diagnostic_kind &kind);

constexpr severity severity_of(diagnostic_kind kind)
{
    return kind == diagnostic_kind::extra_after_string || kind == diagnostic_kind::backslash_blank ||
                   kind == diagnostic_kind::unused_directive || kind == diagnostic_kind::bad_directive
               ? severity::warning
               : severity::error;
}

// A template of kind_info filled with the values of d; strerror gives {error}.
std::string fill_template(std::string_view words, const diagnostic &d);

// One line of the listing: the line's number and its indentation and tracked delimiters.
struct listing_line {
    std::int64_t line = 0;
    std::string_view text;
};

} // namespace delimcheck
