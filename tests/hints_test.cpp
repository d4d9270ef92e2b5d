// Where the indentation places the fault: a table of scripts with one fault each, inputs whose
// indentation cannot be trusted, and a hint read lazily the same as one read all along.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <streambuf>

#include "delimcheck/checker.h"
#include "harness.h"

namespace {

using namespace delimcheck;

// Two procedures closed in place, so that the indentation has earned some trust.
const std::string well_kept = "proc first {a} {\n"
                              "    if {$a} {\n"
                              "        puts yes\n"
                              "    }\n"
                              "}\n";

struct hint_case {
    const char *name;
    std::string script;
    std::int64_t line;    // of the first diagnostic's hint; 0: no hint
    std::int64_t column;  // of the hint; a dedent's stands one past its opener's indentation
    hint_reason reason;
    std::int64_t opener;  // the opener's line the hint names; 0: none
};

void PrintTo(const hint_case &c, std::ostream *os) { *os << c.name; }

const std::vector<hint_case> hint_cases = {
    {"closing_brace_lost",
     well_kept + "proc second {b} {\n"     // 6
                 "    foreach x $b {\n"    // 7
                 "        puts $x\n"       // 8
                 "\n"                      // 9: its } was here
                 "    puts done\n"         // 10
                 "}\n",                    // 11
     9, 5, hint_reason::dedent_without_close, 7},
    {"closing_brace_lost_before_comments",
     well_kept + "proc second {b} {\n"     // 6
                 "    puts $b\n"           // 7
                 "\n"                      // 8: its } was here
                 "# third --\n"            // 9
                 "#   what it does\n"      // 10
                 "\n"                      // 11
                 "proc third {} {\n"       // 12
                 "    return 3\n"          // 13
                 "}\n",                    // 14
     8, 1, hint_reason::dedent_without_close, 6},
    {"opening_brace_lost",
     well_kept + "proc second {b} {\n"     // 6
                 "    if {$b}\n"           // 7: its { was here
                 "        puts yes\n"      // 8
                 "    }\n"                 // 9
                 "    puts done\n"         // 10
                 "}\n",                    // 11
     7, 5, hint_reason::indent_without_open, 0},
    {"stray_closing_brace",
     well_kept + "proc second {b} {\n"     // 6
                 "    set x 1\n"           // 7
                 "    }\n"                 // 8: stray
                 "    set y 2\n"           // 9
                 "}\n",                    // 10
     8, 5, hint_reason::closer_indentation, 6},
    {"bracket_never_closed", "set x [list a b\n\nputs done\n", 1, 7, hint_reason::never_closed, 1},
    {"string_never_closed", "puts \"abc\nmore\n", 1, 6, hint_reason::never_closed, 1},
    {"block_runs_to_the_end", "proc a {} {\n    puts 1\n    puts 2\n", 0, 0, hint_reason::none, 0},
    {"unindented_namespace_body_is_not_read",
     "namespace eval x {\n"
     "proc a {} {\n"
     "    puts 1\n"
     "}\n"
     "}\n"
     "}\n",
     0, 0, hint_reason::none, 0},
    {"condition_over_lines_closes_in_place",
     well_kept + "proc second {b} {\n"
                 "    if {$b &&\n"
                 "            $b > 1} {\n"
                 "        puts yes\n"
                 "    }\n"
                 "    ]\n"
                 "}\n",
     0, 0, hint_reason::none, 0},
};

class Hints : public ::testing::TestWithParam<hint_case> {};

TEST_P(Hints, FirstDiagnostic)
{
    const hint_case &c = GetParam();
    for (scanner_kind kind : {scanner_kind::fast, scanner_kind::plain}) {
        options o;
        o.hints = true;
        o.repair = false; // the indentation alone
        o.scanner = kind;
        std::vector<diagnostic> ds = check(c.script, o);
        ASSERT_FALSE(ds.empty()) << "the fault must draw a report";
        const hint &h = ds.front().likely;
        EXPECT_EQ(h.at.line, c.line) << hint_text(h);
        EXPECT_EQ(h.at.column, c.column) << hint_text(h);
        EXPECT_EQ(h.reason, c.reason) << hint_text(h);
        EXPECT_EQ(h.opener.line, c.opener) << hint_text(h);
        std::vector<diagnostic> without = check(c.script);
        ASSERT_EQ(without.size(), ds.size()) << "hints change no report";
        for (const diagnostic &d : without)
            EXPECT_EQ(d.likely.at.line, 0) << "no hint unless asked for";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Hints, ::testing::ValuesIn(hint_cases),
                         [](const ::testing::TestParamInfo<hint_case> &i) { return std::string(i.param.name); });

// Closers scattered at random indentations before the fault: the indentation has not earned
// trust, and the report comes without a hint rather than with a wrong one.
TEST(HintsTrust, IrregularIndentationGivesNoHint)
{
    std::mt19937 rng(11);
    std::string script;
    for (int i = 0; i < 12; ++i) {
        script += "proc p" + std::to_string(i) + " {} {\n";
        script += "    if {$x} {\n        puts " + std::to_string(i) + "\n";
        script += std::string(rng() % 3 * 3 + 1, ' ') + "}\n";
        script += std::string(rng() % 2 * 5, ' ') + "}\n";
    }
    script += "proc last {} {\n    puts x\n    }\n    puts y\n}\n";
    std::vector<diagnostic> ds = check(script, {.hints = true, .repair = false});
    ASSERT_FALSE(ds.empty());
    EXPECT_EQ(ds.front().likely.at.line, 0) << hint_text(ds.front().likely);
}

TEST(HintsTrust, CorrectScriptsGetNoHintsAndWarningsNone)
{
    options o;
    o.hints = true;
    EXPECT_TRUE(check(well_kept + well_kept, o).empty());
    std::vector<diagnostic> ds = check(well_kept + "puts \"a\"b\n", o);
    ASSERT_EQ(ds.size(), 1u);
    EXPECT_EQ(ds[0].kind, diagnostic_kind::extra_after_string);
    EXPECT_EQ(ds[0].likely.at.line, 0);
}

// A stream that cannot go back to its start: the hints are then read from the first line on,
// and must come out as the hints read only once a report asks for them.
class one_way_buffer : public std::streambuf {
public:
    explicit one_way_buffer(std::string s) : s_(std::move(s)) { setg(s_.data(), s_.data(), s_.data() + s_.size()); }

protected:
    pos_type seekoff(off_type, std::ios_base::seekdir, std::ios_base::openmode) override { return pos_type(-1); }
    pos_type seekpos(pos_type, std::ios_base::openmode) override { return pos_type(-1); }

private:
    std::string s_;
};

std::string generated_script(std::mt19937 &rng)
{
    static const std::vector<std::string> pieces = {
        "proc p {a} {\n", "    if {$a} {\n", "        puts x\n", "    }\n", "}\n", "    set y [list a\n",
        "    ]\n", "# a comment {\n", "    \"str\n", "\"\n", "\t\t}\n", "  {\n", "\\\n", "\n"};
    std::string s;
    for (std::size_t i = 0, n = 1 + rng() % 120; i < n; ++i)
        s += pieces[rng() % pieces.size()];
    return s;
}

TEST(HintsRead, LazilyTheSameAsAllAlong)
{
    std::mt19937 rng(3);
    options o;
    o.hints = true;
    o.repair = false; // a stream read once is never repaired
    for (int round = 0; round < 400; ++round) {
        std::string script = generated_script(rng);
        collecting_sink lazy, eager;
        checker(o, lazy).check(script);
        one_way_buffer buf(script);
        std::istream in(&buf);
        checker(o, eager).check(in);
        ASSERT_EQ(lazy.diagnostics.size(), eager.diagnostics.size()) << script;
        for (std::size_t i = 0; i < lazy.diagnostics.size(); ++i) {
            const diagnostic &a = lazy.diagnostics[i], &b = eager.diagnostics[i];
            ASSERT_EQ(a.kind, b.kind) << script;
            ASSERT_EQ(a.at, b.at) << script;
            ASSERT_EQ(a.likely.at, b.likely.at) << script;
            ASSERT_EQ(a.likely.reason, b.likely.reason) << script;
        }
    }
}

// In the text format a hint follows its report, and only a report.
TEST(HintsText, AHintLineFollowsItsReport)
{
    std::mt19937 rng(5);
    for (int round = 0; round < 200; ++round) {
        std::string out = run_in_process({"--hints"}, generated_script(rng));
        std::istringstream lines(out);
        std::string line, before;
        while (std::getline(lines, line)) {
            if (line.starts_with("  hint: line ")) {
                ASSERT_FALSE(before.empty()) << out;
                EXPECT_FALSE(before.starts_with("  hint:")) << out;
                EXPECT_FALSE(before.starts_with(" ")) << "after a report, not a listing line:\n" << out;
            }
            before = line;
        }
    }
    EXPECT_EQ(run_in_process({"--hints"}, well_kept + "proc second {b} {\n    set x 1\n    }\n    set y 2\n}\n"),
              "Unmatching } : line 10 char 1\n"
              "  hint: line 8 char 1: one edit here makes the whole input check clean; repair: delete line 8\n")
        << "the repair (deleting line 8) places the fault, and the hint line names it";
}

// The repair's edit places the fault, and the fix follows the other fields.
TEST(HintsJson, LikelyAndFixFieldsAfterTheOthers)
{
    temp_dir dir;
    dir.write("f.tcl", well_kept + "proc second {b} {\n    if {$b}\n        puts yes\n    }\n    puts done\n}\n");
    process_result r = run_binary({"--format=json", "f.tcl"}, "", dir.path);
    EXPECT_EQ(r.out, "[\n"
                     "  {\"file\": \"f.tcl\", \"line\": 11, \"column\": 1, \"severity\": \"error\", \"code\": "
                     "\"unmatched-closer\", \"message\": \"Unmatching }\", \"likely\": {\"line\": 7, \"column\": 12, "
                     "\"reason\": \"one edit here makes the whole input check clean\"}, \"fix\": {\"description\": "
                     "\"insert { at the end of line 7\", \"edits\": [{\"line\": 7, \"column\": 12, \"end_line\": 7, "
                     "\"end_column\": 12, \"text\": \" {\"}]}}\n"
                     "]\n");
}

} // namespace
