// Stage one of the fast scanner: find, 64 bytes at a time, the bytes that need any work.
#pragma once

#include <cstddef>
#include <cstdint>

// For each 64-byte chunk, bit k of `structural` is set when byte k is one of
// '\n' '\\' '"' '#' '(' ')' '[' ']' '{' '}', and bit k of `blank` when it is ' ' or '\t'.
// Every other byte only moves the column.
struct byte_masks {
    std::uint64_t *structural;
    std::uint64_t *blank;
};

enum class simd_level { scalar, sse2, avx2 };

// The widest level this machine runs.
simd_level best_simd_level();

// The level that classify_bytes uses; best_simd_level() unless a test picks another.
extern simd_level classify_level;

// Fills masks for p[0, n) where n is a multiple of 64.
void classify_bytes(const unsigned char *p, std::size_t n, byte_masks masks);
