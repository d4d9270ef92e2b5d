// The whole checker on arbitrary bytes and options: it must never crash, hang or misbehave, and
// an input read once gives what an input that can be read again gives.
#include <cstdio>
#include <cstdlib>

#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz_case c = decode_fuzz_input(data, size);
    std::string again = run_fuzz_case(c);
    if (run_fuzz_case(c, delimcheck::scanner_kind::fast, delimcheck::simd_level::best, true) != again) {
        std::fprintf(stderr, "an input read once differs from one that can be read again\n");
        std::abort();
    }
    return 0;
}
