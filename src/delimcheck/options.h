// What the checker does with an input; one value for a whole run.
#pragma once

#include <cstdint>

namespace delimcheck {

// How much the listing keeps of each line; every level does what the ones before it do.
enum class listing_mode : std::uint8_t {
    none,     // no listing
    show,     // -s: every line that holds a tracked delimiter, as it ends
    collapse, // -m: without the pairs that open and close on the line
    pair,     // -l: lines kept as records that later lines cancel, listed at the end
    join,     // -j: a line's closers close what stored lines hold open
};

// Which scanner reads the input, and how wide the fast one classifies. Every choice gives the
// same diagnostics; the plain scanner is the reference that the fast one is tested against.
enum class scanner_kind : std::uint8_t { fast, plain };
enum class simd_level : std::uint8_t { scalar, sse2, avx2, best };

struct options {
    bool hash_lines = true;            // -c clears: '#' at the start of a line starts a hash line
    bool warn_backslash_blank = false; // -e: warn about a backslash and blanks at a line end
    bool balancing = true;             // -g clears: after a closer that does not fit, discard the entries in the way
    bool report_in_string = true;      // -i clears: the "Inside a string" reports
    bool any_quote_opens = false;      // -t: every quote outside a string opens one
    listing_mode listing = listing_mode::none;
    bool hints = false; // read the indentation for where the fault most likely is (diagnostic::likely)
    // With hints, on an input that can be read again: look for the edit that mends its first
    // fault (diagnostic::fix), which then places the fault instead of the indentation alone.
    bool repair = true;
    // With the repair, in an input where no edit mends everything: look for edits that each mend
    // one fault and leave the other reports as they were (diagnostic::fix on the first report
    // each mends, which it places).
    bool repair_apart = false;
    scanner_kind scanner = scanner_kind::fast;
    simd_level simd = simd_level::best; // the widest level the processor runs

    bool operator==(const options &) const = default;
};

} // namespace delimcheck
