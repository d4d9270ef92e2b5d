#include "scan/byte_classes.h"

#include <initializer_list>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

namespace delimcheck::scan {

namespace {

constexpr unsigned char structural_bit = 1, blank_bit = 2, tab_bit = 4;

struct class_table {
    unsigned char of[256] = {};
    constexpr class_table()
    {
        for (unsigned char c : {'\n', '\\', '"', '#', '(', ')', '[', ']', '{', '}'})
            of[c] = structural_bit;
        of[static_cast<unsigned char>(' ')] = blank_bit;
        of[static_cast<unsigned char>('\t')] = blank_bit | tab_bit;
    }
};
constexpr class_table classes;

void classify_scalar(const unsigned char *p, std::size_t n, byte_masks m)
{
    for (std::size_t chunk = 0; chunk < n / 64; ++chunk, p += 64) {
        std::uint64_t s = 0, b = 0, t = 0;
        for (unsigned k = 0; k < 64; ++k) {
            unsigned char c = classes.of[p[k]];
            s |= static_cast<std::uint64_t>(c & structural_bit) << k;
            b |= static_cast<std::uint64_t>((c & blank_bit) >> 1) << k;
            t |= static_cast<std::uint64_t>((c & tab_bit) >> 2) << k;
        }
        m.structural[chunk] = s;
        m.blank[chunk] = b;
        m.tab[chunk] = t;
    }
}

#if defined(__x86_64__)

void classify_sse2(const unsigned char *p, std::size_t n, byte_masks m)
{
    const __m128i nl = _mm_set1_epi8('\n'), bs = _mm_set1_epi8('\\'), qu = _mm_set1_epi8('"'), ha = _mm_set1_epi8('#'),
                  lp = _mm_set1_epi8('('), rp = _mm_set1_epi8(')'), lb = _mm_set1_epi8('['),
                  rb = _mm_set1_epi8(']'), lc = _mm_set1_epi8('{'), rc = _mm_set1_epi8('}'),
                  sp = _mm_set1_epi8(' '), tab = _mm_set1_epi8('\t');
    for (std::size_t chunk = 0; chunk < n / 64; ++chunk, p += 64) {
        std::uint64_t s = 0, b = 0, t = 0;
        for (unsigned k = 0; k < 4; ++k) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k));
            __m128i hit = _mm_or_si128(
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, nl), _mm_cmpeq_epi8(v, bs)),
                             _mm_or_si128(_mm_cmpeq_epi8(v, qu), _mm_cmpeq_epi8(v, lp))),
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, rp), _mm_cmpeq_epi8(v, lb)),
                             _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, rb), _mm_cmpeq_epi8(v, lc)),
                                          _mm_or_si128(_mm_cmpeq_epi8(v, rc), _mm_cmpeq_epi8(v, ha)))));
            __m128i tabs = _mm_cmpeq_epi8(v, tab);
            __m128i blank = _mm_or_si128(_mm_cmpeq_epi8(v, sp), tabs);
            s |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hit))) << (16 * k);
            b |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(blank))) << (16 * k);
            t |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(tabs))) << (16 * k);
        }
        m.structural[chunk] = s;
        m.blank[chunk] = b;
        m.tab[chunk] = t;
    }
}

// Nibble lookup: a byte matters when the class bits of its high and its low nibble meet.
// Classes by high nibble: 0 ('\n'), 2 ('"' '#' '(' ')'), 5 ('[' '\\' ']'), 7 ('{' '}').
__attribute__((target("avx2"))) void classify_avx2(const unsigned char *p, std::size_t n, byte_masks m)
{
    const __m256i low_classes = _mm256_setr_epi8(0, 0, 2, 2, 0, 0, 0, 0, 2, 2, 1, 12, 4, 12, 0, 0, //
                                                 0, 0, 2, 2, 0, 0, 0, 0, 2, 2, 1, 12, 4, 12, 0, 0);
    const __m256i high_classes = _mm256_setr_epi8(1, 0, 2, 0, 0, 4, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, //
                                                  1, 0, 2, 0, 0, 4, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i nibble = _mm256_set1_epi8(0x0f), zero = _mm256_setzero_si256();
    const __m256i sp = _mm256_set1_epi8(' '), tab = _mm256_set1_epi8('\t');
    for (std::size_t chunk = 0; chunk < n / 64; ++chunk, p += 64) {
        std::uint64_t s = 0, b = 0, t = 0;
        for (unsigned k = 0; k < 2; ++k) {
            __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 32 * k));
            __m256i lo = _mm256_shuffle_epi8(low_classes, _mm256_and_si256(v, nibble));
            __m256i hi = _mm256_shuffle_epi8(high_classes, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
            __m256i none = _mm256_cmpeq_epi8(_mm256_and_si256(lo, hi), zero);
            __m256i tabs = _mm256_cmpeq_epi8(v, tab);
            __m256i blank = _mm256_or_si256(_mm256_cmpeq_epi8(v, sp), tabs);
            s |= static_cast<std::uint64_t>(~static_cast<unsigned>(_mm256_movemask_epi8(none))) << (32 * k);
            b |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(blank))) << (32 * k);
            t |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(tabs))) << (32 * k);
        }
        m.structural[chunk] = s;
        m.blank[chunk] = b;
        m.tab[chunk] = t;
    }
}

#elif defined(__wasm_simd128__)

// WebAssembly's 128-bit SIMD, as SSE2 above: the sse2 level where there is no x86.
void classify_wasm128(const unsigned char *p, std::size_t n, byte_masks m)
{
    const v128_t nl = wasm_i8x16_splat('\n'), bs = wasm_i8x16_splat('\\'), qu = wasm_i8x16_splat('"'),
                 ha = wasm_i8x16_splat('#'), lp = wasm_i8x16_splat('('), rp = wasm_i8x16_splat(')'),
                 lb = wasm_i8x16_splat('['), rb = wasm_i8x16_splat(']'), lc = wasm_i8x16_splat('{'),
                 rc = wasm_i8x16_splat('}'), sp = wasm_i8x16_splat(' '), tab = wasm_i8x16_splat('\t');
    for (std::size_t chunk = 0; chunk < n / 64; ++chunk, p += 64) {
        std::uint64_t s = 0, b = 0, t = 0;
        for (unsigned k = 0; k < 4; ++k) {
            v128_t v = wasm_v128_load(p + 16 * k);
            v128_t hit = wasm_v128_or(
                wasm_v128_or(wasm_v128_or(wasm_i8x16_eq(v, nl), wasm_i8x16_eq(v, bs)),
                             wasm_v128_or(wasm_i8x16_eq(v, qu), wasm_i8x16_eq(v, lp))),
                wasm_v128_or(wasm_v128_or(wasm_i8x16_eq(v, rp), wasm_i8x16_eq(v, lb)),
                             wasm_v128_or(wasm_v128_or(wasm_i8x16_eq(v, rb), wasm_i8x16_eq(v, lc)),
                                          wasm_v128_or(wasm_i8x16_eq(v, rc), wasm_i8x16_eq(v, ha)))));
            v128_t tabs = wasm_i8x16_eq(v, tab);
            v128_t blank = wasm_v128_or(wasm_i8x16_eq(v, sp), tabs);
            s |= static_cast<std::uint64_t>(wasm_i8x16_bitmask(hit)) << (16 * k);
            b |= static_cast<std::uint64_t>(wasm_i8x16_bitmask(blank)) << (16 * k);
            t |= static_cast<std::uint64_t>(wasm_i8x16_bitmask(tabs)) << (16 * k);
        }
        m.structural[chunk] = s;
        m.blank[chunk] = b;
        m.tab[chunk] = t;
    }
}

#endif

} // namespace

simd_level best_simd_level()
{
    // Asked once: the one process-wide choice, fixed for the life of the process.
    static const simd_level best = [] {
#if defined(__x86_64__)
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") ? simd_level::avx2 : simd_level::sse2;
#elif defined(__wasm_simd128__)
        return simd_level::sse2;
#else
        return simd_level::scalar;
#endif
    }();
    return best;
}

classify_function classifier_for(simd_level level)
{
    if (level == simd_level::best)
        level = best_simd_level();
    if (level > best_simd_level())
        level = best_simd_level();
    switch (level) {
#if defined(__x86_64__)
    case simd_level::avx2:
        return classify_avx2;
    case simd_level::sse2:
        return classify_sse2;
#elif defined(__wasm_simd128__)
    case simd_level::sse2:
        return classify_wasm128;
#endif
    default:
        return classify_scalar;
    }
}

} // namespace delimcheck::scan
