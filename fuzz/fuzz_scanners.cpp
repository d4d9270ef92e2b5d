// The fast scanner, at every level of wide classification, against the plain byte loop:
// the output must be the same byte for byte.
#include <cstdio>
#include <cstdlib>

#include "check/byte_classes.h"
#include "check/scanner.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz_case c = decode_fuzz_input(data, size);
    scanner_choice = scanner_kind::plain;
    std::string plain = run_fuzz_case(c);
    scanner_choice = scanner_kind::fast;
    simd_level best = best_simd_level();
    for (simd_level level : {simd_level::scalar, simd_level::sse2, simd_level::avx2}) {
        if (level > best)
            break;
        classify_level = level;
        if (run_fuzz_case(c) != plain) {
            std::fprintf(stderr, "fast scanner at level %d differs from the plain one\n", static_cast<int>(level));
            std::abort();
        }
    }
    classify_level = best;
    return 0;
}
