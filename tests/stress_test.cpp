// Large and hostile inputs: deep nesting, many records, huge lines, every byte value.
// Each runs in well under a few seconds; the suite is labelled so it can be run alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "harness.h"

namespace {

std::string missing_lines(std::int64_t line, std::int64_t from, std::int64_t to, char closer)
{
    std::string out;
    for (std::int64_t col = from; col >= to; --col)
        out += std::string(1, closer) + " missing, opened on line " + std::to_string(line) + " char " +
               std::to_string(col) + "\n";
    return out;
}

TEST(Stress, MillionOpenersReportedInnermostFirst)
{
    std::string input(1000000, '{');
    EXPECT_EQ(run_in_process({}, input), missing_lines(1, 1000000, 1, '}'));
    EXPECT_EQ(run_in_process({}, input, scanner_kind::plain), missing_lines(1, 1000000, 1, '}'));
}

TEST(Stress, MillionRecordsSurviveUnderL)
{
    std::string input;
    for (int i = 0; i < 1000000; ++i)
        input += (i % 2 == 0) ? "{\n" : "  [\n";
    std::string out = run_in_process({"-l"}, input);
    std::size_t start = out.find("    1 : {\n    2 :   [\n");
    ASSERT_NE(start, std::string::npos);
    EXPECT_EQ(std::count(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(), '\n'), 1000000);
    EXPECT_TRUE(out.ends_with("\n999999 : {\n1000000 :   [\n"));
}

TEST(Stress, TenMegabyteLineUnderS)
{
    std::string line = std::string(5000000, '[') + std::string(5000000, ']');
    EXPECT_EQ(run_in_process({"-s"}, line + "\n"), "    1 : " + line + "\n");
    EXPECT_EQ(run_in_process({"-m"}, line + "\n"), "");
    EXPECT_EQ(run_in_process({"-s"}, line), "    1 : " + line + "\n") << "without the final newline";
}

TEST(Stress, EveryByteValueEverywhere)
{
    std::mt19937 rng(7);
    std::string input(1 << 20, '\0');
    for (char &c : input)
        c = static_cast<char>(rng() % 8 == 0 ? "{}[]()\"\\#\n "[rng() % 12] : static_cast<char>(rng()));
    for (const std::vector<std::string> &opts :
         std::vector<std::vector<std::string>>{{}, {"-e"}, {"-s"}, {"-j"}, {"-cgit"}})
        run_checked(opts, input);
}

TEST(Stress, CrlfText)
{
    std::string input;
    for (int i = 0; i < 100000; ++i)
        input += "proc a {} {\r\n    set b [c \"d\"]\r\n}\r\n";
    EXPECT_EQ(run_checked({}, input), "");
    EXPECT_EQ(run_checked({"-l"}, input), "");
}

TEST(Stress, InputEndsInsideStringBracketAndEscape)
{
    const std::string expected = "] missing, opened on line 1 char 6\n"
                                 "\" missing, opened on line 1 char 3\n"
                                 "} missing, opened on line 1 char 1\n";
    EXPECT_EQ(run_checked({}, "{ \"a [b \\"), expected);
    EXPECT_EQ(run_checked({"-s"}, "{ \"a [b \\"), "    1 : {\"[\n" + expected);
}

TEST(Stress, DeepNestingClosedAgain)
{
    std::string input = std::string(2000000, '[') + std::string(2000000, ']') + "\n";
    EXPECT_EQ(run_in_process({"-j"}, input), "");
}

} // namespace
