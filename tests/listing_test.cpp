// The listing: -s and -m as lines end, -l and -j as records printed at the end of each input.
#include <algorithm>
#include <gtest/gtest.h>

#include "golden.h"
#include "harness.h"
#include "listing/line_records.h"

using delimcheck::listing::closes;
using delimcheck::listing::line_records;

static const std::string parens_and_strings = "a {\n    b (c) \"d\"\n}\n";
static const std::string close_and_reopen = "\n\n\n\n\n\n\n\n\n    {\n    }{\n    }\n";

static const std::vector<golden_case> recorder_cases = {
    {"parens_and_strings_s", {"-s"}, parens_and_strings, "    1 : {\n    2 :     ()\"\"\n    3 : }\n"},
    {"parens_and_strings_m", {"-m"}, parens_and_strings, "    1 : {\n    3 : }\n"},
    {"blank_line_lists_nothing", {"-s"}, "   \n\t\n", ""},
    {"words_without_delimiters", {"-s"}, "  set a b\n", ""},
    {"closer_after_indentation_is_kept", {"-m"}, "{\n    }\n", "    1 : {\n    2 :     }\n"},
    {"closer_after_other_opener_is_kept", {"-m"}, "{ ( }\n",
     "Expecting ) got } : line 1 char 5 (balancing {})\n    1 : {(}\n"},
    {"pairs_collapse_like_a_stack", {"-m"}, "  {({})}\n", ""},
    {"mismatched_pair_kept", {"-m"}, "{(]}\n",
     "Expecting ) got ] : line 1 char 3 (balancing [])\n"
     "Expecting ) got ] : line 1 char 3 (balancing [])\n"
     "Unmatching } : line 1 char 4\n"
     "    1 : {(]}\n"},
    {"unmatched_closer_listed", {"-s"}, "}\n", "Unmatching } : line 1 char 1\n    1 : }\n"},
    {"outer_parens_not_listed", {"-s"}, "(a)\n", ""},
    {"bracket_parens_not_listed", {"-s"}, "[a (b)]\n", "    1 : []\n"},
    {"backslash_continuation", {"-s"}, "{ \\\n  }\n", "    1 : {\n    2 : }\n"},
    {"string_over_lines", {"-s"}, "{ \"a\n  b\"\n}\n", "    1 : {\"\n    2 : \"\n    3 : }\n"},
    {"string_quotes_never_cancel_across_lines", {"-m"}, "{ \"a\n  b\"\n}\n", "    1 : {\"\n    2 : \"\n    3 : }\n"},
    {"two_strings_cancel", {"-m"}, "\"a\" \"b\"\n", ""},
    {"brace_in_first_string", {"-m"}, "\"{\" \"x\"\n",
     "Inside a string: unmatched { ending line 1 char 3\n    1 : \"{\"\n"},
    {"tabs_listed_as_they_stand", {"-s"}, "\t {\n", "    1 : \t {\n} missing, opened on line 1 char 3\n"},
    {"line_number_of_the_line_that_ends", {"-s"}, "\n\n{\n\n", "    3 : {\n} missing, opened on line 3 char 1\n"},
    {"wide_line_numbers", {"-s"}, std::string(123456, '\n') + "]\n",
     "Unmatching ] : line 123457 char 1\n123457 : ]\n"},
    {"last_line_without_newline_s", {"-s"}, "{\n}", "    1 : {\n    2 : }\n"},
    {"last_line_listed_before_reports", {"-s"}, "{\n{",
     "    1 : {\n    2 : {\n} missing, opened on line 2 char 1\n} missing, opened on line 1 char 1\n"},
    {"last_line_of_blanks_lists_nothing", {"-s"}, "{\n  ", "    1 : {\n} missing, opened on line 1 char 1\n"},
    {"last_line_after_backslash", {"-m"}, "{ [\\", "    1 : {[\n] missing, opened on line 1 char 3\n} missing, opened on line 1 char 1\n"},
    {"long_line", {"-s"}, std::string(300, ' ') + "{\n",
     "    1 : " + std::string(300, ' ') + "{\n} missing, opened on line 1 char 301\n"},
    {"many_delimiters_on_one_line", {"-s"}, "{" + std::string(400, '[') + std::string(400, ']') + "}\n",
     "    1 : {" + std::string(400, '[') + std::string(400, ']') + "}\n"},
};

GOLDEN_SUITE(LineRecorder, recorder_cases);

static const std::vector<golden_case> pairing_cases = {
    {"close_and_reopen_cancels", {"-l"}, close_and_reopen, ""},
    {"close_and_reopen_listed_with_s", {"-s"}, close_and_reopen, "   10 :     {\n   11 :     }{\n   12 :     }\n"},
    {"closing_line_cancels", {"-l"}, "    {\n    }\n", ""},
    {"identical_lines_cancel", {"-l"}, "    {\n    {\n",
     "} missing, opened on line 2 char 5\n} missing, opened on line 1 char 5\n"},
    {"other_indentation_stays", {"-l"}, "    {\n  }\n", "    1 :     {\n    2 :   }\n"},
    {"tab_against_blank_stays", {"-l"}, "    {\n\t}\n", "    1 :     {\n    2 : \t}\n"},
    {"records_after_reports", {"-l"}, "{\n  [",
     "] missing, opened on line 2 char 3\n} missing, opened on line 1 char 1\n    1 : {\n    2 :   [\n"},
    {"longer_line_does_not_cancel", {"-l"}, "{\n}{\n",
     "} missing, opened on line 2 char 2\n    1 : {\n    2 : }{\n"},
    {"cancel_then_older_top", {"-l"}, "{\n  {\n  }\n}\n", ""},
    {"check_four_fails", {"-l"}, "    {\n    }[\n    }\n",
     "Expecting ] got } : line 3 char 5 (balancing {})\n    1 :     {\n    2 :     }[\n    3 :     }\n"},
    {"join_close_and_reopen", {"-j"}, close_and_reopen, ""},
    {"join_identical_openers_stay", {"-j"}, "{\n{\n",
     "} missing, opened on line 2 char 1\n} missing, opened on line 1 char 1\n    1 : {\n    2 : {\n"},
    {"join_across_indentation", {"-j"}, "proc a {\n  if {x} {\n    y\n  }\n}\n", ""},
    {"join_fewer_closers", {"-j"}, "{ [\n  ]\n",
     "} missing, opened on line 1 char 1\n    1 : {[\n"},
    {"join_partial_then_fail", {"-j"}, "{ [\n] {\n",
     "} missing, opened on line 2 char 3\n} missing, opened on line 1 char 1\n    1 : {[\n    2 : ]{\n"},
    {"join_quote_closes_quote", {"-j"}, "{ \"a\nb\" }\n", ""},
    {"no_listing_at_all", {"-j"}, "set a b\n", ""},
};

GOLDEN_SUITE(LinePairing, pairing_cases);

// The listing of one input never reaches the next one.
TEST(ListingAcrossInputs, LastLineStaysWithItsInput)
{
    temp_dir dir;
    dir.write("a", "{");
    dir.write("b", "}\n");
    EXPECT_EQ(run_binary({"-s", "a", "b"}, "", dir.path).out,
              "File a:\n    1 : {\n} missing, opened on line 1 char 1\n"
              "File b:\nUnmatching } : line 1 char 1\n    1 : }\n");
    EXPECT_EQ(run_binary({"-l", "a", "b"}, "", dir.path).out,
              "File a:\n} missing, opened on line 1 char 1\n    1 : {\n"
              "File b:\nUnmatching } : line 1 char 1\n    1 : }\n");
    EXPECT_EQ(run_binary({"-qj", "b", "a"}, "", dir.path).out,
              "File b:\nUnmatching } : line 1 char 1\n    1 : }\n"
              "File a:\n} missing, opened on line 1 char 1\n    1 : {\n");
}

// Direct tables on pair_line and join_line: a stack of records, one line, the stack after.
namespace {

struct stored {
    std::string text;
    std::string delims;
};

struct pairing_case {
    const char *name;
    std::vector<std::string> records; // texts, oldest first; delims are the texts without blanks
    std::string line;
    std::vector<stored> after; // the records afterwards, oldest first
};

void PrintTo(const pairing_case &c, std::ostream *os) { *os << c.name; }

std::string without_blanks(const std::string &s)
{
    std::string r;
    for (char c : s)
        if (c != ' ' && c != '\t')
            r += c;
    return r;
}

std::vector<stored> after_of(const line_records &records)
{
    std::vector<stored> after;
    for (std::size_t i = 0; i < records.size(); ++i)
        after.push_back({std::string(records.text(i)), std::string(records.delims(i))});
    return after;
}

// Flushes one line into the records, as the end of a listed line does.
void pair(line_records &records, std::int64_t line, const std::string &text, bool join)
{
    records.pair_line(line, text, without_blanks(text).size(), join);
}

std::vector<stored> run_pairing(const pairing_case &c, bool join)
{
    line_records records;
    std::int64_t n = 1;
    for (const std::string &t : c.records)
        records.push(n++, t, without_blanks(t).size());
    pair(records, n, c.line, join);
    return after_of(records);
}

bool operator==(const stored &a, const stored &b) { return a.text == b.text && a.delims == b.delims; }
std::ostream &operator<<(std::ostream &os, const stored &s) { return os << "[" << s.text << "|" << s.delims << "]"; }

const std::string b4 = "    ";

const std::vector<pairing_case> check_cases = {
    {"first_line_recorded", {}, b4 + "}", {{b4 + "}", "}"}}},
    {"check1_cancels", {b4 + "{"}, b4 + "}", {}},
    {"check1_identical", {b4 + "{"}, b4 + "{", {}},
    {"check1_other_indentation", {b4 + "{"}, "  }", {{b4 + "{", "{"}, {"  }", "}"}}},
    {"check1_positional", {"{("}, "})", {}},
    {"check1_not_nested", {"{("}, ")}", {{"{(", "{("}, {")}", ")}"}}},
    {"check1_exact", {"{"}, "}(", {{"{", "{"}, {"}(", "}("}}},
    {"check1_quote_against_quote", {"\""}, "\"", {}},
    {"check1_shorter_line_fails", {"{{"}, "}", {{"{{", "{{"}, {"}", "}"}}},
    {"one_record_no_further_checks", {"{"}, "]", {{"{", "{"}, {"]", "]"}}},
    {"check4_cancels_both", {b4 + "{", b4 + "}{"}, b4 + "}", {}},
    {"check4_keeps_older", {"[", b4 + "{", b4 + "}{"}, b4 + "}", {{"[", "["}}},
    {"check2_fails", {b4 + "{", b4 + "}{"}, "  }", {{b4 + "{", "{"}, {b4 + "}{", "}{"}, {"  }", "}"}}},
    {"check3_fails", {b4 + "{", "  }{"}, b4 + "}", {{b4 + "{", "{"}, {"  }{", "}{"}, {b4 + "}", "}"}}},
    {"check4_fails", {b4 + "{", b4 + "}("}, b4 + "}",
     {{b4 + "{", "{"}, {b4 + "}(", "}("}, {b4 + "}", "}"}}},
    {"check4_misaligned_longer_top", {"{(", "})[{"}, "})", {{"{(", "{("}, {"})[{", "})[{"}, {"})", "})"}}},
};

class PairLine : public ::testing::TestWithParam<pairing_case> {};
TEST_P(PairLine, Records) { EXPECT_EQ(run_pairing(GetParam(), false), GetParam().after); }
INSTANTIATE_TEST_SUITE_P(Cases, PairLine, ::testing::ValuesIn(check_cases),
                         [](const ::testing::TestParamInfo<pairing_case> &i) { return std::string(i.param.name); });

const std::vector<pairing_case> join_cases = {
    {"full_join", {"{"}, "}", {}},
    {"opener_never_joins", {"{"}, "{", {{"{", "{"}, {"{", "{"}}},
    {"more_closers_than_top", {"(", "{"}, "})", {}},
    {"fewer_closers", {"{("}, ")", {{"{(", "{"}}},
    {"partial_then_fail", {"{("}, ")[", {{"{(", "{"}, {")[", ")["}}},
    {"fail_after_completed_pass", {"(", "{"}, "}]", {{"(", "("}, {"}]", "]"}}},
    {"rest_stored_on_empty_stack", {"{"}, "}}", {{"}}", "}"}}},
    {"quote_closes_quote", {"{\""}, "\"", {{"{\"", "{"}}},
    {"closes_newest_first", {"[", "{("}, ")}]", {}},
    {"indentation_is_no_delimiter", {b4 + "{"}, "  }", {}},
};

class JoinLine : public ::testing::TestWithParam<pairing_case> {};
TEST_P(JoinLine, Records) { EXPECT_EQ(run_pairing(GetParam(), true), GetParam().after); }
INSTANTIATE_TEST_SUITE_P(Cases, JoinLine, ::testing::ValuesIn(join_cases),
                         [](const ::testing::TestParamInfo<pairing_case> &i) { return std::string(i.param.name); });

// A failure after a partial match leaves its cut; the next lines then meet the new record first.
TEST(JoinLine, FailureAfterPartialMatchChain)
{
    pairing_case c{"chain", {"{("}, ")[", {{"{(", "{"}, {")[", ")["}}};
    EXPECT_EQ(run_pairing(c, true), c.after);
    line_records records;
    records.push(1, "{(", 2);
    pair(records, 2, ")", true); // cut to "{" by an earlier join
    records.push(2, ")[", 2);
    for (std::string line : {"]", "}"})
        pair(records, 3, line, true);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records.delims(0), "{");
    EXPECT_EQ(records.delims(1), ")");
    EXPECT_EQ(records.delims(2), "}");
    EXPECT_EQ(records.text(1), ")[");
}

TEST(Closes, Relation)
{
    EXPECT_TRUE(closes("{(", "})", true));
    EXPECT_FALSE(closes("{(", ")}", true));
    EXPECT_TRUE(closes("{", "}x", false));
    EXPECT_FALSE(closes("{", "}x", true));
    EXPECT_FALSE(closes("{{", "}", false));
    EXPECT_TRUE(closes("", "", true));
    EXPECT_TRUE(closes(" \"", " \"", true));
    EXPECT_FALSE(closes(" ", "\t", true));
}


} // namespace
