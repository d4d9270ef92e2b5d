#include "scan/block_reader.h"

#include <cstring>

namespace delimcheck::scan {

namespace {
#ifdef DELIMCHECK_SCAN_BLOCK
constexpr std::size_t configured_block_size = DELIMCHECK_SCAN_BLOCK;
#else
constexpr std::size_t configured_block_size = 1 << 17;
#endif
static_assert(configured_block_size % 64 == 0 && configured_block_size >= 64, "blocks are whole 64-byte chunks");
} // namespace

const std::size_t block_size = configured_block_size;

block_reader::block_reader(simd_level level)
    : buf(block_size + 64), structural(block_size / 64 + 1), blank(block_size / 64 + 1),
      classify(classifier_for(level))
{
}

void block_reader::start()
{
    have = 0;
    base = 0;
    before = ' ';
    last_newline = -1;
}

bool block_reader::refill(byte_source &src, std::size_t from)
{
    std::size_t keep = have - from;
    if (from > 0)
        before = buf[from - 1];
    std::memmove(buf.data(), buf.data() + from, keep);
    base += static_cast<std::int64_t>(from);
    std::size_t got = src.read(buf.data() + keep, block_size - keep);
    have = keep + got;
    std::size_t padded = (have + 63) & ~std::size_t{63};
    std::memset(buf.data() + have, 0, padded - have);
    classify(buf.data(), padded, {structural.data(), blank.data()});
    return got > 0;
}

std::size_t block_reader::next_set(const std::vector<std::uint64_t> &m, std::size_t i, std::size_t end, bool invert)
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

} // namespace delimcheck::scan
