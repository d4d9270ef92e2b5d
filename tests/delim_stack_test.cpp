// Every branch of close_delim, the end-of-input reports and the byte helpers.
#include <gtest/gtest.h>

#include "delimcheck/delimiters.h"
#include "golden.h"
#include "harness.h"

static const std::vector<golden_case> stack_cases = {
    {"unmatching_with_empty_stack", {}, "\n}\n", "Unmatching } : line 2 char 1\n"},
    {"unmatching_leaves_stack_empty", {}, "]]\n", "Unmatching ] : line 1 char 1\nUnmatching ] : line 1 char 2\n"},
    {"match", {}, "{ [ { ( ) } ] }\n", ""},
    {"balancing_off", {"-g"}, "{ ( }\n",
     "Expecting ) got } : line 1 char 5\n"
     ") missing, opened on line 1 char 3\n"
     "} missing, opened on line 1 char 1\n"},
    {"balancing_on", {}, "{ ( }\n", "Expecting ) got } : line 1 char 5 (balancing {})\n"},
    {"top_outranks_closer", {}, "[ { ]\n",
     "Expecting } got ] : line 1 char 5\n"
     "} missing, opened on line 1 char 3\n"
     "] missing, opened on line 1 char 1\n"},
    {"top_outranks_closer_balancing_off", {"-g"}, "[ { ]\n",
     "Expecting } got ] : line 1 char 5\n"
     "} missing, opened on line 1 char 3\n"
     "] missing, opened on line 1 char 1\n"},
    {"paren_under_brace_outranked", {}, "{ )\n}\n", "Expecting } got ) : line 1 char 3\n"},
    {"balancing_runs_stack_empty", {}, "{ ( ]\n}\n",
     "Expecting ) got ] : line 1 char 5 (balancing [])\n"
     "Expecting ) got ] : line 1 char 5 (balancing [])\n"
     "Unmatching } : line 2 char 1\n"},
    {"several_discards", {}, "{ ( ( }\n",
     "Expecting ) got } : line 1 char 7 (balancing {})\n"
     "Expecting ) got } : line 1 char 7 (balancing {})\n"},
    {"bracket_balances_over_parens", {}, "[ { ( ( ]\n",
     "Expecting ) got ] : line 1 char 9 (balancing [])\n"
     "Expecting ) got ] : line 1 char 9 (balancing [])\n"
     "Expecting ) got ] : line 1 char 9 (balancing [])\n"},
    {"closer_inside_string", {}, "{ \"a ]  \" }\n", "Inside a string: unmatched ] on line 1 char 6\n"},
    {"closer_inside_string_silenced", {"-i"}, "{ \"a ]  \" }\n", ""},
    {"paren_inside_string_pops_nothing", {}, "{ \"a { ) } \" }\n",
     "Inside a string: unmatched ) on line 1 char 8\n"},
    {"unwinding", {}, "{ \"a { ( \" }\n",
     "Inside a string: unmatched ( ending line 1 char 10\n"
     "Inside a string: unmatched { ending line 1 char 10\n"},
    {"unwinding_silenced", {"-i"}, "{ \"a { ( \" }\n", ""},
    {"brackets_in_string_matched_directly", {}, "{ \" [ ] \" }\n", ""},
    {"balancing_does_not_restore_string", {}, "{ \"a [ { ( ] \" }\n",
     "Expecting ) got ] : line 1 char 12 (balancing [])\n"
     "Expecting ) got ] : line 1 char 12 (balancing [])\n"
     "Inside a string: unmatched } on line 1 char 16\n"
     "\" missing, opened on line 1 char 14\n"
     "\" missing, opened on line 1 char 3\n"
     "} missing, opened on line 1 char 1\n"},
    {"quote_entry_discarded_by_brace", {}, "{ \"a [ { ( ] }\n",
     "Expecting ) got ] : line 1 char 12 (balancing [])\n"
     "Expecting ) got ] : line 1 char 12 (balancing [])\n"
     "Expecting \" got } : line 1 char 14 (balancing {})\n"},
    {"quote_entry_discarded_by_paren", {}, "{ \"a [ { ( ] )\n",
     "Expecting ) got ] : line 1 char 12 (balancing [])\n"
     "Expecting ) got ] : line 1 char 12 (balancing [])\n"
     "Expecting \" got ) : line 1 char 14 (balancing ())\n"
     "Expecting \" got ) : line 1 char 14 (balancing ())\n"},
    {"end_of_input_innermost_first", {}, "{\n(\n",
     ") missing, opened on line 2 char 1\n"
     "} missing, opened on line 1 char 1\n"},
    {"end_of_input_open_string", {}, "{ \"abc\n",
     "\" missing, opened on line 1 char 3\n"
     "} missing, opened on line 1 char 1\n"},
};

GOLDEN_SUITE(DelimStack, stack_cases);

using delimcheck::balancing_closer;
using delimcheck::is_pair;
using delimcheck::opener_of;

TEST(DelimStackHelpers, OpenerOf)
{
    const std::pair<char, char> table[] = {{'"', '"'}, {')', '('}, {']', '['}, {'}', '{'},
                                           {'(', '@'}, {'{', '@'}, {'a', '@'}, {'\0', '@'}};
    for (auto [b, expected] : table)
        EXPECT_EQ(opener_of(b), expected) << b;
    for (int b = 0; b < 256; ++b) {
        char c = static_cast<char>(b);
        if (c != '"' && c != ')' && c != ']' && c != '}') {
            EXPECT_EQ(opener_of(c), '@') << b;
        }
    }
}

TEST(DelimStackHelpers, BalancingCloserIsSymmetricAndRanked)
{
    struct row { char a, b, expected; };
    const row table[] = {{'}', ')', '}'}, {']', '}', '}'}, {')', ']', ']'}, {')', ')', ')'},
                         {'"', ')', ')'}, {'"', '}', '}'}, {'"', '"', '@'}, {'x', 'y', '@'}};
    for (const row &r : table) {
        EXPECT_EQ(balancing_closer(r.a, r.b), r.expected) << r.a << r.b;
        EXPECT_EQ(balancing_closer(r.b, r.a), r.expected) << r.b << r.a;
    }
}

TEST(DelimStackHelpers, IsPairHoldsForTheFourPairsOnly)
{
    for (int o = 0; o < 256; ++o)
        for (int c = 0; c < 256; ++c) {
            char oc = static_cast<char>(o), cc = static_cast<char>(c);
            bool expected = (oc == '"' && cc == '"') || (oc == '(' && cc == ')') || (oc == '[' && cc == ']') ||
                            (oc == '{' && cc == '}');
            ASSERT_EQ(is_pair(oc, cc), expected) << o << " " << c;
        }
}
