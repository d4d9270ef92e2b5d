#include "check/block_scanner.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "check/byte_classes.h"
#include "check/delim_stack.h"
#include "check/scanner.h"
#include "common/checker_options.h"
#include "listing/line_recorder.h"

// Ordinary bytes (letters, digits, most punctuation, blanks inside a line) only move the
// column, and the column is a byte's offset from the last newline. So a block is
// classified in one wide pass, and only the bytes that matter are handed, one by one, to
// the same steps that the plain scanner runs. Blanks matter in two states: at the start of
// a line (indentation is listed, and a '#' there opens a hash line), settled from the blank
// mask when the line's first byte that matters arrives, and under -e after an escaped blank.

namespace {

// The fuzzing and sanitizer builds shrink the block so that short inputs cross many borders.
#ifdef DELIMCHECK_SCAN_BLOCK
constexpr std::size_t block_size = DELIMCHECK_SCAN_BLOCK;
#else
constexpr std::size_t block_size = 1 << 17;
#endif
static_assert(block_size % 64 == 0 && block_size >= 64, "blocks are whole 64-byte chunks");
constexpr std::size_t words = block_size / 64 + 1;

struct block_reader {
    std::vector<unsigned char> buf = std::vector<unsigned char>(block_size + 64);
    std::vector<std::uint64_t> structural = std::vector<std::uint64_t>(words);
    std::vector<std::uint64_t> blank = std::vector<std::uint64_t>(words);
    std::size_t have = 0;          // bytes in buf
    std::int64_t base = 0;         // stream offset of buf[0]
    unsigned char before = ' ';    // the byte before buf[0]; ' ' at the start of the input
    std::int64_t last_newline = -1; // stream offset of the newline that began the current line
};

// The first index at or after i whose bit is set in m, or `end` when there is none before it.
std::size_t next_set(const std::vector<std::uint64_t> &m, std::size_t i, std::size_t end, bool invert)
{
    std::size_t k = i >> 6;
    std::uint64_t w = (invert ? ~m[k] : m[k]) & (~std::uint64_t{0} << (i & 63));
    std::size_t last = (end + 63) >> 6;
    while (w == 0) {
        if (++k >= last)
            return end;
        w = invert ? ~m[k] : m[k];
    }
    std::size_t j = (k << 6) + static_cast<std::size_t>(__builtin_ctzll(w));
    return j < end ? j : end;
}

// Keeps the unprocessed tail (at most one byte), reads behind it and classifies the block.
bool refill(block_reader &r, std::size_t from, std::FILE *in)
{
    std::size_t keep = r.have - from;
    if (from > 0)
        r.before = r.buf[from - 1];
    std::memmove(r.buf.data(), r.buf.data() + from, keep);
    r.base += static_cast<std::int64_t>(from);
    std::size_t got = std::fread(r.buf.data() + keep, 1, block_size - keep, in);
    r.have = keep + got;
    std::size_t padded = (r.have + 63) & ~std::size_t{63};
    std::memset(r.buf.data() + r.have, 0, padded - r.have);
    classify_bytes(r.buf.data(), padded, {r.structural.data(), r.blank.data()});
    return got > 0;
}

bool is_structural(const block_reader &r, std::size_t j) { return r.structural[j >> 6] >> (j & 63) & 1; }

// The start of a line is settled lazily: at_line_start then only says that no byte that
// matters came since the line began at `from`. When one comes at `to` (or the block ends
// there), the blanks before the first other byte are recorded for the listing, and if an
// ordinary byte came first, the line start had already ended.
void settle_line_start(const block_reader &r, std::size_t from, std::size_t to)
{
    std::size_t first = next_set(r.blank, from, to, true);
    record_blanks(reinterpret_cast<const char *>(r.buf.data() + from), first - from);
    if (first < to)
        scan.at_line_start = 0;
}

// Under -e an escaped blank warns only if nothing but blanks follows it up to the newline.
std::size_t after_escaped_blank(block_reader &r, std::size_t i, std::size_t limit)
{
    std::size_t j = next_set(r.blank, i, limit, true);
    if (j < limit && r.buf[j] != '\n' && !is_structural(r, j))
        scan.backslash_blank = 0;
    return j;
}

constexpr std::size_t input_ended = ~std::size_t{0};

// Runs the steps for the bytes that matter in buf[0, limit). Returns where the next block
// starts (limit, or limit + 1 when an escape took the byte in hand), or input_ended when
// the input ends right after a backslash. The reader's fields are copied into locals: the
// steps called here could change any global, so the compiler would reload them at each byte.
std::size_t scan_block(block_reader &r, std::size_t limit)
{
    std::size_t i = 0; // the next byte not yet dealt with
    // Only the listing needs the blanks of a line start, and only a '#' needs to know whether
    // the line has started; any other byte that matters ends the line start anyway.
    const bool listing_on = options.show_lines != 0;
    const unsigned char *const buf = r.buf.data();
    const std::uint64_t *const structural = r.structural.data();
    const std::size_t have = r.have;
    const std::size_t last_word = (limit + 63) >> 6;
    std::int64_t origin = r.base - r.last_newline; // column of buf[x] is x + origin
    std::size_t line_begin = 0;                    // where the blanks of the current line start
    std::size_t k = 0;
    std::uint64_t w = 0;
    bool reposition = true;
    std::size_t next = limit;
    for (;;) {
        if (reposition) {
            // Under -e an escaped blank makes the blanks after it matter too.
            if (scan.backslash_blank && options.warn_backslash_blank)
                i = after_escaped_blank(r, i, limit);
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
        scan.column = static_cast<std::int64_t>(j) + origin;
        if (c == '\n') {
            // A line of blanks alone lists nothing, so its blanks need no recording.
            newline_step();
            origin = -static_cast<std::int64_t>(j);
            i = line_begin = j + 1;
            continue;
        }
        if (scan.at_line_start && (listing_on || c == '#'))
            settle_line_start(r, line_begin, j);
        switch (c) {
        case '\\':
            if (j + 1 >= have) {
                next = input_ended;
                break;
            }
            escape_step(buf[j + 1]);
            if (buf[j + 1] == '\n')
                origin = -static_cast<std::int64_t>(j + 1);
            i = j + 2; // the escaped byte is consumed, whatever it is
            reposition = true;
            continue;
        case '"':
            scan.prev_char = static_cast<signed char>(j > 0 ? buf[j - 1] : r.before);
            quote_step(j + 1 < have ? static_cast<signed char>(buf[j + 1]) : -1);
            i = j + 1;
            continue;
        case '#':
            if (scan.at_line_start && options.hash_lines)
                scan.in_hash_line = 1;
            scan.at_line_start = 0;
            scan.backslash_blank = 0;
            i = j + 1;
            continue;
        default:
            scan.at_line_start = 0;
            scan.backslash_blank = 0;
            delimiter_step(c);
            i = j + 1;
            continue;
        }
        break; // only the end of input after a backslash gets here
    }
    if (scan.at_line_start && next != input_ended)
        settle_line_start(r, line_begin, limit);
    r.last_newline = r.base - origin;
    return next;
}

} // namespace

const std::size_t scan_block_size = block_size;

void scan_input_blocks(std::FILE *in)
{
    static block_reader r;
    r.have = 0;
    r.base = 0;
    r.before = ' ';
    r.last_newline = -1;
    begin_input();

    std::size_t i = 0;
    bool more = true;
    while (more) {
        more = refill(r, i, in);
        // Keep one byte in hand while more may follow: an escape or a quote looks at the next byte.
        std::size_t limit = more ? r.have - 1 : r.have;
        i = scan_block(r, limit);
        if (i == input_ended)
            break;
    }
    end_input();
}
