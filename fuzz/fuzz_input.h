// Turns fuzz bytes into a command line and one or more inputs, the same way for every target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "delimcheck/diagnostic.h"
#include "delimcheck/options.h"

struct fuzz_case {
    std::vector<std::string> args;    // options only
    std::vector<std::string_view> inputs;
    bool standard_input = false;      // one input read as standard input: no header
};

// The first two bytes choose the options, one bit each for c e g i j l m q s t; the next
// bits choose standard input or named files, and --hints. The rest is split at each 0xFE 0xFD pair into
// up to four inputs.
fuzz_case decode_fuzz_input(const std::uint8_t *data, std::size_t size);

// Runs the case in-process and returns standard output. one_way: each input comes from a
// stream that cannot be read again, which changes how the hints are read but not what they say;
// such an input gets no repair, so repair = false gives what one_way gives.
std::string run_fuzz_case(const fuzz_case &c, delimcheck::scanner_kind kind = delimcheck::scanner_kind::fast,
                          delimcheck::simd_level level = delimcheck::simd_level::best, bool one_way = false,
                          bool repair = true);

// The checker's options that the case's command line chooses.
delimcheck::options fuzz_options(const fuzz_case &c);

// The text with a repair's edits applied.
std::string apply_fix(std::string_view text, const delimcheck::repair &fix);
