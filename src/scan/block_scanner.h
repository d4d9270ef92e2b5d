// The fast scanner: large block reads, then steps only for the bytes that matter.
//
// Ordinary bytes (letters, digits, most punctuation, blanks inside a line) only move the
// column, and the column is a byte's offset from the last newline. So a block is classified in
// one wide pass, and only the bytes that matter are handed, one by one, to the same steps that
// the plain scanner takes. Blanks matter in two states: at the start of a line (indentation is
// listed, and a '#' there opens a hash line), settled from the blank mask when the line's first
// byte that matters arrives, and under -e after an escaped blank.
#pragma once

#include "scan/block_reader.h"
#include "scan/lexer.h"

namespace delimcheck::scan {

namespace detail {

// The start of a line is settled lazily: at_line_start then only says that no byte that
// matters came since the line began at `from`. When one comes at `to` (or the block ends
// there), the blanks before the first other byte are recorded for the listing, and if an
// ordinary byte came first, the line start had already ended.
template <class M>
void settle_line_start(const block_reader &r, lex_state &s, M &m, std::size_t from, std::size_t to)
{
    std::size_t first = block_reader::next_set(r.blank, from, to, true);
    m.record_blanks(reinterpret_cast<const char *>(r.buf.data() + from), first - from);
    if (first < to)
        s.at_line_start = false;
}

// Under -e an escaped blank warns only if nothing but blanks follows it up to the newline.
inline std::size_t after_escaped_blank(const block_reader &r, lex_state &s, std::size_t i, std::size_t limit)
{
    std::size_t j = block_reader::next_set(r.blank, i, limit, true);
    if (j < limit && r.buf[j] != '\n' && !r.is_structural(j))
        s.backslash_blank = false;
    return j;
}

inline constexpr std::size_t input_ended = ~std::size_t{0};

// Takes the steps for the bytes that matter in buf[0, limit). Returns where the next block
// starts (limit, or limit + 1 when an escape took the byte in hand), or input_ended when the
// input ends right after a backslash.
template <class M> std::size_t scan_block(block_reader &r, lex_state &s, M &m, std::size_t limit)
{
    std::size_t i = 0; // the next byte not yet dealt with
    // Only the listing needs the blanks of a line start, and only a '#' needs to know whether
    // the line has started; any other byte that matters ends the line start anyway.
    const bool listing_on = m.listing_on();
    const bool warn = m.warn_backslash_blank();
    const unsigned char *const buf = r.buf.data();
    const std::uint64_t *const structural = r.structural.data();
    const std::size_t have = r.have;
    const std::size_t last_word = (limit + 63) >> 6;
    std::int64_t origin = r.base - r.last_newline; // the column of buf[x] is x + origin
    std::size_t line_begin = 0;                    // where the blanks of the current line start
    std::size_t k = 0;
    std::uint64_t w = 0;
    bool reposition = true;
    std::size_t next = limit;
    for (;;) {
        if (reposition) {
            // Under -e an escaped blank makes the blanks after it matter too.
            if (s.backslash_blank && warn)
                i = after_escaped_blank(r, s, i, limit);
            if (i >= limit) {
                next = i;
                break;
            }
            k = i >> 6;
            w = structural[k] & (~std::uint64_t{0} << (i & 63));
            reposition = false;
        }
        while (w == 0 && ++k < last_word)
            w = structural[k];
        if (w == 0)
            break;
        std::size_t j = (k << 6) + static_cast<std::size_t>(__builtin_ctzll(w));
        w &= w - 1;
        if (j >= limit)
            break;
        unsigned char c = buf[j];
        std::int64_t column = static_cast<std::int64_t>(j) + origin;
        if (c == '\n') {
            // A line of blanks alone lists nothing, so its blanks need no recording.
            newline_step(s, m, column);
            origin = -static_cast<std::int64_t>(j);
            i = line_begin = j + 1;
            continue;
        }
        if (s.at_line_start && (listing_on || c == '#'))
            settle_line_start(r, s, m, line_begin, j);
        switch (c) {
        case '\\':
            if (j + 1 >= have) {
                next = input_ended;
                break;
            }
            escape_step(s, m, buf[j + 1], column);
            if (buf[j + 1] == '\n')
                origin = -static_cast<std::int64_t>(j + 1);
            i = j + 2; // the escaped byte is consumed, whatever it is
            reposition = true;
            continue;
        case '"':
            s.prev = static_cast<signed char>(j > 0 ? buf[j - 1] : r.before);
            quote_step(s, m, j + 1 < have ? static_cast<signed char>(buf[j + 1]) : -1, column);
            i = j + 1;
            continue;
        case '#':
            hash_step(s, m);
            i = j + 1;
            continue;
        default:
            delimiter_step(s, m, c, column);
            i = j + 1;
            continue;
        }
        break; // only the end of input after a backslash gets here
    }
    if (s.at_line_start && next != input_ended)
        settle_line_start(r, s, m, line_begin, limit);
    r.last_newline = r.base - origin;
    return next;
}

} // namespace detail

// Scans the whole input; returns where it ended.
template <class M> position scan_blocks(block_reader &r, byte_source &src, M &m)
{
    lex_state s;
    r.start();
    std::size_t i = 0;
    bool more = true;
    while (more) {
        more = r.refill(src, i);
        // Keep one byte in hand while more may follow: an escape or a quote looks at the next byte.
        std::size_t limit = more ? r.have - 1 : r.have;
        i = detail::scan_block(r, s, m, limit);
        if (i == detail::input_ended)
            break;
    }
    std::int64_t total = r.base + static_cast<std::int64_t>(r.have);
    bool ends_with_newline = total > 0 && r.last_newline == total - 1;
    return end_position(s, total == 0 || ends_with_newline ? 0 : total - 1 - r.last_newline);
}

} // namespace delimcheck::scan
