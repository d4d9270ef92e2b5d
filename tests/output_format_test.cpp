// Number formatting: plain decimal, and right-aligned in five places for listing lines.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <limits>

#include "format/output.h"

namespace {

std::string formatted(std::int64_t v, int width)
{
    std::string out;
    delimcheck::format::string_destination dest(out);
    delimcheck::format::output o(dest);
    o.padded_decimal(v, width);
    o.flush();
    return out;
}

TEST(OutputFormat, MatchesPrintfWidths)
{
    const std::int64_t values[] = {0, 1, 9, 10, 11, 99, 100, 101, 999, 1000, 9999, 10000, 12345, 99999, 100000,
                                   123456789, 4294967296, std::numeric_limits<std::int64_t>::max(), -1, -100,
                                   std::numeric_limits<std::int64_t>::min()};
    for (std::int64_t v : values) {
        for (int width : {0, 5}) {
            char expected[64];
            std::snprintf(expected, sizeof expected, "%*" PRId64, width, v);
            EXPECT_EQ(formatted(v, width), expected) << v << " width " << width;
        }
    }
}

} // namespace
