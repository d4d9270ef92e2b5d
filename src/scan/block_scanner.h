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
template <machine M>
void settle_line_start(const block_reader &r, lex_state &s, M &m, std::size_t from, std::size_t to)
{
    std::size_t first = block_reader::next_set(r.blank, from, to, true);
    m.record_blanks(reinterpret_cast<const char *>(r.bytes() + from), first - from);
    if (first < to)
        s.at_line_start = false;
}

// Under -e an escaped blank warns only if nothing but blanks follows it up to the newline.
inline std::size_t after_escaped_blank(const block_reader &r, lex_state &s, std::size_t i, std::size_t limit)
{
    std::size_t j = block_reader::next_set(r.blank, i, limit, true);
    if (j < limit && r.bytes()[j] != '\n' && !r.is_structural(j))
        s.backslash_blank = false;
    return j;
}

inline constexpr std::size_t input_ended = ~std::size_t{0};

// Takes the steps for the bytes that matter in buf[0, limit). Returns where the next block
// starts (limit, or limit + 1 when an escape took the byte in hand), or input_ended when the
// input ends right after a backslash or the machine stopped. The loop keeps its state in locals
// and dispatches once per byte; its own bookkeeping is most of the time spent on ordinary text.
template <machine M> std::size_t scan_block(block_reader &r, lex_state &s, M &m, std::size_t limit)
{
    const unsigned char *const buf = r.bytes();
    std::uint64_t *const structural = r.structural.data();
    const std::size_t words = (limit + 63) >> 6;
    if (limit & 63) // the bytes from limit on are the next block's
        structural[words - 1] &= (std::uint64_t{1} << (limit & 63)) - 1;
    std::int64_t origin = r.base - r.last_newline; // the column of buf[x] is x + origin
    std::size_t line_begin = 0;                    // where the blanks of the current line start
    std::size_t next = limit;
    // Under -e an escaped blank makes the blanks after it matter too, also across blocks.
    if constexpr (M::warn_backslash_blank())
        if (s.backslash_blank)
            after_escaped_blank(r, s, 0, limit);
    // Only the listing needs the blanks of a line start, and only a '#' needs to know whether
    // the line has started; any other byte that matters ends the line start anyway.
    auto line_started = [&](std::size_t j) {
        if (s.at_line_start)
            settle_line_start(r, s, m, line_begin, j);
    };
    // For the hints: each physical line's first non-blank byte, handed over as the line begins,
    // right after the newline before it (nothing but blanks lies between), or at the start of
    // the next block when the blanks run over the border.
    auto line_from = [&](std::size_t from) {
        std::size_t first = block_reader::next_set(r.blank, from, limit, true);
        if (r.tab_in(from, first)) {
            for (std::size_t x = from; x < first; ++x)
                s.indent = indent_after(s.indent, buf[x]);
        } else {
            s.indent += static_cast<std::int32_t>(first - from);
        }
        s.line_pending = first >= limit;
        if (!s.line_pending && buf[first] != '\n')
            m.line_begins({s.line, static_cast<std::int64_t>(first) + origin}, s.indent, buf[first], s.at_line_start);
    };
    if constexpr (M::hints_on())
        if (s.line_pending && m.wants_lines())
            line_from(0);
    auto delimiter = [&](std::size_t j, unsigned char c, std::int64_t column) {
        if constexpr (M::listing_on())
            line_started(j);
        delimiter_step(s, m, c, column);
    };
    std::size_t k = 0;
    std::uint64_t w = words > 0 ? structural[0] : 0;
    for (;;) {
        while (w == 0) {
            if (++k >= words)
                goto done;
            w = structural[k];
        }
        std::size_t j = (k << 6) + static_cast<std::size_t>(__builtin_ctzll(w));
        w &= w - 1;
        std::int64_t column = static_cast<std::int64_t>(j) + origin;
        // A chain of tests in the order of how often the bytes come in scripts: it costs fewer
        // mispredictions than a jump table here.
        const unsigned char c = buf[j];
        if (c == '\n') {
            // A line of blanks alone lists nothing, so its blanks need no recording.
            newline_step(s, m, column);
            origin = -static_cast<std::int64_t>(j);
            line_begin = j + 1;
            if constexpr (M::stops())
                if (m.stopped()) {
                    next = input_ended;
                    goto done;
                }
            if constexpr (M::hints_on())
                if (m.wants_lines())
                    line_from(j + 1);
            continue;
        }
        if (c == '#') {
            line_started(j);
            hash_step(s, m);
            continue;
        }
        if (c == '"') {
            if constexpr (M::listing_on())
                line_started(j);
            s.prev = static_cast<signed char>((buf - 1)[j]); // the byte before the block stands at buf[-1]
            quote_step(s, m, static_cast<signed char>(buf[j + 1]), column); // -1 after the input's last byte
            continue;
        }
        if (c == '\\') {
            if (j + 1 >= r.have) {
                next = input_ended;
                goto done;
            }
            if constexpr (M::listing_on())
                line_started(j);
            unsigned char escaped = buf[j + 1];
            escape_step(s, m, escaped, column);
            if (escaped == '\n') {
                origin = -static_cast<std::int64_t>(j + 1);
                if constexpr (M::hints_on())
                    if (j + 2 <= limit && m.wants_lines())
                        line_from(j + 2);
            }
            // The escaped byte is consumed, whatever it is.
            std::size_t e = j + 1;
            if (e == limit) {
                next = limit + 1;
                goto done;
            }
            if ((e >> 6) == k)
                w &= ~(std::uint64_t{1} << (e & 63));
            else
                structural[k + 1] &= ~std::uint64_t{1};
            if constexpr (M::warn_backslash_blank())
                if (s.backslash_blank)
                    after_escaped_blank(r, s, j + 2, limit);
            continue;
        }
        delimiter(j, c, column);
    }
done:
    if (s.at_line_start && next == limit)
        settle_line_start(r, s, m, line_begin, limit);
    r.last_newline = r.base - origin;
    return next;
}

} // namespace detail

// Scans the whole input, or up to the end of the line where the machine stopped; returns
// where it ended.
template <machine M> position scan_blocks(block_reader &r, byte_source &src, M &m)
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
        if constexpr (M::stops())
            if (m.stopped())
                break;
        if (i == detail::input_ended)
            break;
    }
    std::int64_t total = r.base + static_cast<std::int64_t>(r.have);
    bool ends_with_newline = total > 0 && r.last_newline == total - 1;
    return end_position(s, total == 0 || ends_with_newline ? 0 : total - 1 - r.last_newline);
}

} // namespace delimcheck::scan
