// The fast scanner's buffer: a block of the input, classified into bit masks 64 bytes at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "delimcheck/options.h"
#include "scan/byte_classes.h"
#include "scan/byte_source.h"

namespace delimcheck::scan {

// Bytes read at a time; a multiple of 64. Small in the fuzzing and sanitizer builds, so that
// short inputs cross many block borders.
extern const std::size_t block_size;

struct block_reader {
    explicit block_reader(simd_level level);

    // The block: bytes()[-1] is the byte before it (' ' at the start of the input), bytes()[have]
    // is 0xFF, the end of input as a quote's follower sees it, when the input ends there.
    unsigned char *bytes() { return buf.data() + 64; }
    const unsigned char *bytes() const { return buf.data() + 64; }
    std::vector<unsigned char> buf;          // 64 bytes before the block, the block, and the padding of its last chunk
    std::vector<std::uint64_t> structural;   // bit per byte: the byte needs a step
    std::vector<std::uint64_t> blank;        // bit per byte: ' ' or '\t'
    std::vector<std::uint64_t> tab;          // bit per byte: '\t'
    std::size_t have = 0;                    // bytes in buf
    std::int64_t base = 0;                   // input offset of buf[0]
    std::int64_t last_newline = -1;          // input offset of the newline that began the current line
    classify_function classify;

    void start(); // for a new input
    // Keeps buf[from, have) (at most one byte), reads behind it and classifies the block.
    // False when nothing more was read.
    bool refill(byte_source &src, std::size_t from);

    bool is_structural(std::size_t j) const { return structural[j >> 6] >> (j & 63) & 1; }
    // Whether a tab stands in [from, to).
    bool tab_in(std::size_t from, std::size_t to) const { return next_set(tab, from, to, false) < to; }
    // The first index in [i, end) whose bit in m is set (clear, with invert), or end.
    static std::size_t next_set(const std::vector<std::uint64_t> &m, std::size_t i, std::size_t end, bool invert)
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
};

} // namespace delimcheck::scan
