// The whole checker on arbitrary bytes and options: it must never crash, hang or misbehave; an
// input read once gives what an input that can be read again gives without the repair, which
// only the latter gets; and a repair always checks clean.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "delimcheck/checker.h"
#include "fuzz_input.h"

namespace {

void fail(const char *why)
{
    std::fprintf(stderr, "%s\n", why);
    std::abort();
}

// Each input with the hints, as the json format checks it: every fix checks clean, with the
// same options but the -e warning, which is about blanks and not nesting.
void check_repairs(const fuzz_case &c)
{
    delimcheck::options o = fuzz_options(c);
    o.hints = true;
    o.listing = delimcheck::listing_mode::none;
    delimcheck::options clean = o;
    clean.warn_backslash_blank = false;
    for (std::string_view input : c.inputs) {
        int fixes = 0;
        std::size_t found = 0; // the reports of the input, when a repair apart needs them
        for (const delimcheck::diagnostic &d : delimcheck::check(input, o)) {
            if (d.fix.empty())
                continue;
            std::vector<delimcheck::diagnostic> left = delimcheck::check(apply_fix(input, d.fix), clean);
            // A repair of one fault beside old findings leaves those, and takes some away.
            if (d.likely.reason == delimcheck::hint_reason::repaired_apart) {
                if (found == 0)
                    found = delimcheck::check(input, clean).size();
                if (left.size() >= found)
                    fail("a repair apart mends nothing");
                continue;
            }
            if (++fixes > 1)
                fail("more than one diagnostic carries a fix");
            if (!left.empty())
                fail("a fix does not check clean");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz_case c = decode_fuzz_input(data, size);
    std::string again = run_fuzz_case(c, delimcheck::scanner_kind::fast, delimcheck::simd_level::best, false, false);
    if (run_fuzz_case(c, delimcheck::scanner_kind::fast, delimcheck::simd_level::best, true) != again)
        fail("an input read once differs from one that can be read again");
    run_fuzz_case(c);
    check_repairs(c);
    return 0;
}
