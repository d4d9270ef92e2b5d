// Number formatting: plain decimal, and right-aligned in five places for listing lines.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <limits>

#include "format/output.h"
#include "format/text_format.h"

namespace {

using namespace delimcheck::format;

std::string decimal(std::int64_t v)
{
    std::string out;
    string_destination dest(out);
    output o(dest);
    o.decimal(v);
    o.flush();
    return out;
}

// A listing line numbered v, as the text format writes it for standard input (no header).
std::string listed(std::int64_t v)
{
    std::string out;
    string_destination dest(out);
    output o(dest);
    text_format f(false);
    f.begin_input(o, nullptr);
    f.listing({v, "x"});
    o.flush();
    return out;
}

TEST(OutputFormat, MatchesPrintfWidths)
{
    const std::int64_t values[] = {0, 1, 9, 10, 11, 99, 100, 101, 999, 1000, 9999, 10000, 12345, 99999, 100000,
                                   123456789, 4294967296, std::numeric_limits<std::int64_t>::max(), -1, -100,
                                   std::numeric_limits<std::int64_t>::min()};
    for (std::int64_t v : values) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%" PRId64, v);
        EXPECT_EQ(decimal(v), expected) << v;
        std::snprintf(expected, sizeof expected, "%5" PRId64 " : x\n", v);
        EXPECT_EQ(listed(v), expected) << v << " listed";
    }
}

} // namespace
