// Stage one of the fast scanner: find, 64 bytes at a time, the bytes that need any work.
#pragma once

#include <cstddef>
#include <cstdint>

#include "delimcheck/options.h"

namespace delimcheck::scan {

// For each 64-byte chunk, bit k of `structural` is set when byte k is one of
// '\n' '\\' '"' '#' '(' ')' '[' ']' '{' '}', bit k of `blank` when it is ' ' or '\t', and bit k
// of `tab` when it is '\t'. Every other byte only moves the column.
struct byte_masks {
    std::uint64_t *structural;
    std::uint64_t *blank;
    std::uint64_t *tab;
};

// Fills masks for p[0, n) where n is a multiple of 64.
using classify_function = void (*)(const unsigned char *p, std::size_t n, byte_masks masks);

// The widest level this processor runs, found out once.
simd_level best_simd_level();

// The classifier of a level; `best`, or a level the processor lacks, gives the best it has.
classify_function classifier_for(simd_level level);

} // namespace delimcheck::scan
