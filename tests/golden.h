// A golden case: options, exact input bytes, and the exact standard output expected.
#pragma once

#include <ostream>
#include <string>
#include <vector>

struct golden_case {
    const char *name;
    std::vector<std::string> args;
    std::string input;
    std::string expected;
};

inline void PrintTo(const golden_case &c, std::ostream *os) { *os << c.name; }

// Every golden table runs on standard input through both scanners.
#define GOLDEN_SUITE(suite, table)                                                                           \
    class suite : public ::testing::TestWithParam<golden_case> {};                                          \
    TEST_P(suite, Output)                                                                                    \
    {                                                                                                        \
        const golden_case &c = GetParam();                                                                   \
        EXPECT_EQ(run_checked(c.args, c.input), c.expected);                                                 \
    }                                                                                                        \
    INSTANTIATE_TEST_SUITE_P(Cases, suite, ::testing::ValuesIn(table),                                      \
                             [](const ::testing::TestParamInfo<golden_case> &i) { return std::string(i.param.name); })
