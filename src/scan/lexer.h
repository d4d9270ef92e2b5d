// The lexical steps that both scanners take: lines, line starts, hash lines, escapes and the
// byte before a quote. What a delimiter or a quote means is left to a machine, which the
// scanners are instantiated with.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "delimcheck/diagnostic.h"
#include "scan/text.h"

namespace delimcheck::scan {

// What a machine provides to the scanners. A type that falls short is refused where a scanner
// is instantiated with it, not somewhere inside the loop.
template <class M>
concept machine = requires(M &m, const M &cm, const char *p, std::size_t n, std::int64_t line, position at,
                           unsigned char c, signed char prev, signed char follower, bool in_hash_line,
                           std::int32_t indent, bool afresh) {
    // The innermost context is a string.
    { cm.in_string() } -> std::same_as<bool>;
    // '#' at the start of a line opens a hash line.
    { cm.hash_lines() } -> std::same_as<bool>;
    // Fixed when the scanner is compiled, so that a scan without them tests nothing for them
    // per byte: the warning for an escaped blank, the listing and the hints.
    typename std::bool_constant<M::warn_backslash_blank()>;
    typename std::bool_constant<M::listing_on()>;
    typename std::bool_constant<M::hints_on()>;
    // Blanks at the start of a line.
    m.record_blanks(p, n);
    // The line that ends.
    m.end_of_line(line);
    // An escaped blank ends the line.
    m.backslash_blank(at);
    // One of ( ) [ ] { }.
    m.delimiter(c, at, in_hash_line);
    // follower is the byte after the quote, -1 at the end of the input.
    m.quote(at, prev, follower, in_hash_line);
    // With the hints, for each physical line with a non-blank byte, at that byte, before its
    // step: indent is the width of the blanks before it, a tab to the next multiple of 8;
    // afresh says that the line is no continuation and not inside a string.
    m.line_begins(at, indent, c, afresh);
    // False once the lines need not be handed over any more.
    { cm.wants_lines() } -> std::same_as<bool>;
    // Fixed when the scanner is compiled: whether the scan may end early; and then, at the end
    // of each line, whether the rest of the input is not wanted.
    typename std::bool_constant<M::stops()>;
    { cm.stopped() } -> std::same_as<bool>;
};

struct lex_state {
    std::int64_t line = 1;             // the line of the current byte
    std::int64_t line_end_column = 0;  // the column of the newline that ended the line before
    bool at_line_start = true;         // only blanks so far on a line that began afresh
    bool in_hash_line = false;         // the line's first non-blank byte was '#'
    bool backslash_blank = false;      // an escaped blank is pending on this line
    signed char prev = ' ';            // the byte dealt with last; the one before a quote
    std::int64_t backslash_column = 0; // of the backslash that escaped that blank
    bool line_pending = true;          // hints: the line's first non-blank byte is still to come
    std::int32_t indent = 0;           // hints: the width of the blanks before it so far
};

// A newline byte, escaped or not, ends the line; only a plain newline outside a string starts
// the next one afresh.
template <machine M> inline void end_of_line(lex_state &s, M &m, std::int64_t column, bool continued)
{
    m.end_of_line(s.line);
    if (!continued && !m.in_string()) {
        s.in_hash_line = false;
        s.at_line_start = true;
    }
    ++s.line;
    s.line_end_column = column;
    if constexpr (M::hints_on()) {
        s.line_pending = true;
        s.indent = 0;
    }
}

template <machine M> inline void newline_step(lex_state &s, M &m, std::int64_t column)
{
    if (s.backslash_blank && m.warn_backslash_blank())
        m.backslash_blank({s.line, s.backslash_column});
    end_of_line(s, m, column, false);
    s.backslash_blank = false;
    s.prev = '\n';
}

// Any byte that is not a blank, a newline or one of the bytes with a step of their own.
inline void plain_step(lex_state &s, unsigned char c)
{
    s.at_line_start = false;
    s.backslash_blank = false;
    s.prev = static_cast<signed char>(c);
}

template <machine M> inline void hash_step(lex_state &s, M &m)
{
    if (s.at_line_start && m.hash_lines())
        s.in_hash_line = true;
    plain_step(s, '#');
}

template <machine M> [[gnu::always_inline]] inline void delimiter_step(lex_state &s, M &m, unsigned char c, std::int64_t column)
{
    m.delimiter(c, {s.line, column}, s.in_hash_line);
    plain_step(s, c);
}

// A backslash at `column` and the byte it escapes, which is consumed here: it opens and closes
// nothing, and has a column of its own.
template <machine M> inline void escape_step(lex_state &s, M &m, unsigned char escaped, std::int64_t column)
{
    s.at_line_start = false;
    s.prev = static_cast<signed char>(escaped);
    if (escaped == '\n') {
        end_of_line(s, m, column + 1, true);
        s.backslash_blank = false;
    } else if (escaped == ' ' || escaped == '\t') {
        s.backslash_blank = true;
        s.backslash_column = column;
    } else {
        s.backslash_blank = false;
    }
}

// follower is the byte after the quote as a signed byte, -1 at the end of the input.
template <machine M> inline void quote_step(lex_state &s, M &m, int follower, std::int64_t column)
{
    m.quote({s.line, column}, s.prev, static_cast<signed char>(follower), s.in_hash_line);
    plain_step(s, '"');
}

// Where an input ends: the line of its last byte, and the column after that line's last byte
// (the column of the newline, when the input ends with one). `column` is that of the last
// byte, 0 when it was a newline.
inline position end_position(const lex_state &s, std::int64_t column)
{
    if (column > 0)
        return {s.line, column + 1};
    if (s.line > 1)
        return {s.line - 1, s.line_end_column};
    return {1, 1};
}

} // namespace delimcheck::scan
