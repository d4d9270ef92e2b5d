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
    : buf(64 + block_size + 64), structural(block_size / 64 + 1), blank(block_size / 64 + 1), tab(block_size / 64 + 1),
      classify(classifier_for(level))
{
}

void block_reader::start()
{
    have = 0;
    base = 0;
    bytes()[-1] = ' ';
    last_newline = -1;
}

bool block_reader::refill(byte_source &src, std::size_t from)
{
    unsigned char *b = bytes();
    std::size_t keep = have - from;
    if (from > 0)
        b[-1] = b[from - 1];
    std::memmove(b, b + from, keep);
    base += static_cast<std::int64_t>(from);
    std::size_t got = src.read(b + keep, block_size - keep);
    have = keep + got;
    std::size_t padded = (have + 63) & ~std::size_t{63};
    std::memset(b + have, 0, padded - have);
    classify(b, padded, {structural.data(), blank.data(), tab.data()});
    if (got == 0)
        b[have] = 0xFF; // nothing follows the last byte
    return got > 0;
}

} // namespace delimcheck::scan
