// The whole checker on arbitrary bytes and options: it must never crash, hang or misbehave.
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    run_fuzz_case(decode_fuzz_input(data, size));
    return 0;
}
