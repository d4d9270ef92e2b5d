// The fast scanner, at every level of wide classification, against the plain byte loop:
// the output must be the same byte for byte.
#include <cstdio>
#include <cstdlib>

#include "fuzz_input.h"
#include "scan/byte_classes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using delimcheck::simd_level;
    fuzz_case c = decode_fuzz_input(data, size);
    std::string plain = run_fuzz_case(c, delimcheck::scanner_kind::plain);
    simd_level best = delimcheck::scan::best_simd_level();
    for (simd_level level : {simd_level::scalar, simd_level::sse2, simd_level::avx2}) {
        if (level > best)
            break;
        if (run_fuzz_case(c, delimcheck::scanner_kind::fast, level) != plain) {
            std::fprintf(stderr, "fast scanner at level %d differs from the plain one\n", static_cast<int>(level));
            std::abort();
        }
    }
    return 0;
}
