// The repair of the first fault: a table of scripts with one fault of each kind and the edit
// that mends it, inputs that get none, and on generated scripts a fix that always checks clean.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <random>
#include <sstream>
#include <streambuf>
#include <unistd.h>

#include "delimcheck/checker.h"
#include "harness.h"

namespace {

using namespace delimcheck;

// The input with the fix's edits applied; positions count lines and byte columns from 1.
std::string apply_fix(std::string_view text, const repair &fix)
{
    std::vector<std::size_t> starts = {0};
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n')
            starts.push_back(i + 1);
    auto offset = [&](position p) {
        EXPECT_GE(p.line, 1);
        EXPECT_LE(static_cast<std::size_t>(p.line), starts.size() + (text.ends_with('\n') ? 0 : 1));
        std::size_t at = static_cast<std::size_t>(p.line) <= starts.size() ? starts[p.line - 1] : text.size();
        return std::min(at + static_cast<std::size_t>(p.column - 1), text.size());
    };
    std::string out(text);
    for (auto e = fix.edits.rbegin(); e != fix.edits.rend(); ++e)
        out.replace(offset(e->from), offset(e->to) - offset(e->from), e->text);
    return out;
}

options with_hints()
{
    options o;
    o.hints = true;
    return o;
}

// Two procedures closed in place, so that the indentation has earned some trust.
const std::string well_kept = "proc first {a} {\n"
                              "    if {$a} {\n"
                              "        puts yes\n"
                              "    }\n"
                              "}\n";

struct repair_case {
    const char *name;
    std::string script;
    std::string description;
    text_edit edit;
};

void PrintTo(const repair_case &c, std::ostream *os) { *os << c.name; }

const std::vector<repair_case> repair_cases = {
    {"closing_brace_lost",
     well_kept + "proc second {b} {\n"  // 6
                 "    foreach x $b {\n" // 7
                 "        puts $x\n"    // 8
                 "\n"                   // 9: its } was here
                 "    puts done\n"      // 10
                 "}\n",
     "insert } before line 9", {{9, 1}, {9, 1}, "    }\n"}},
    {"opening_brace_lost",
     well_kept + "proc second {b} {\n" // 6
                 "    if {$b}\n"       // 7: its { was here
                 "        puts yes\n"
                 "    }\n"
                 "    puts done\n"
                 "}\n",
     "insert { at the end of line 7", {{7, 12}, {7, 12}, " {"}},
    {"stray_closing_line",
     well_kept + "proc second {b} {\n" // 6
                 "    set x 1\n"       // 7
                 "    }\n"             // 8: stray
                 "    set y 2\n"
                 "}\n",
     "delete line 8", {{8, 1}, {9, 1}, ""}},
    {"bracket_lost", "set x [lindex $list 0\nputs $x\n", "insert ] at line 1 char 22", {{1, 22}, {1, 22}, "]"}},
    {"bracket_lost_before_a_brace",
     well_kept + "proc second {b} {\n"
                 "    if {[llength $b} {\n" // 7
                 "        puts yes\n"
                 "    }\n"
                 "}\n",
     "insert ] at line 7 char 20", {{7, 20}, {7, 20}, "]"}},
    // A command in brackets mostly had arguments, and a body or a ; follows it.
    {"bracket_lost_before_a_body", "foreach s [lsort -unique $names {\n    puts $s\n}\n",
     "insert ] at line 1 char 32", {{1, 32}, {1, 32}, "]"}},
    {"bracket_lost_before_a_semicolon", "set v [dict get $d key ;# the value\nputs $v\n",
     "insert ] at line 1 char 23", {{1, 23}, {1, 23}, "]"}},
    {"bracket_lost_after_an_expression", "lappend v [expr {$x * 2} $y\nputs $v\n", "insert ] at line 1 char 25",
     {{1, 25}, {1, 25}, "]"}},
    {"bracket_of_joined_lines_lost", "set l [list a \\\n    b c\nputs $l\n", "insert ] at line 2 char 8",
     {{2, 8}, {2, 8}, "]"}},
    // A literal before a ] mostly ends the command around the bracket, not the one in it.
    {"bracket_lost_before_a_literal", "if {![package vsatisfies [package provide Tcl 8.6]} {return}\nputs a\n",
     "insert ] at line 1 char 46", {{1, 46}, {1, 46}, "]"}},
    {"bracket_lost_before_break", "foreach {a b} [split $pair , break\nputs $a\n", "insert ] at line 1 char 29",
     {{1, 29}, {1, 29}, "]"}},
    {"bracket_lost_after_a_block", "set t [time {\n    work\n} 10\nputs $t\n", "insert ] at line 3 char 5",
     {{3, 5}, {3, 5}, "]"}},
    {"closing_quote_lost", "puts \"hello world\nputs done\n", "insert \" at line 1 char 18",
     {{1, 18}, {1, 18}, "\""}},
    // A string of blanks kept all but the one before the next word, and all at a line's end.
    {"closing_quote_of_blanks_lost", "set pad [string repeat \"  $n]\nputs $pad\n", "insert \" at line 1 char 26",
     {{1, 26}, {1, 26}, "\""}},
    {"closing_quote_of_blanks_at_the_end_lost", "set title \" \nputs $title\n", "insert \" at line 1 char 13",
     {{1, 13}, {1, 13}, "\""}},
    {"closing_quote_of_a_continued_string_lost",
     "proc p {} {\n    return -code error \"wrong # args:\\\n        should be p x\n}\n",
     "insert \" at line 3 char 22", {{3, 22}, {3, 22}, "\""}},
    {"closing_quote_in_code_commented_out_lost", "#puts \"value: $x\nputs a\n", "insert \" at line 1 char 17",
     {{1, 17}, {1, 17}, "\""}},
    {"closing_quote_in_a_comment_lost", "# See the file \"license.terms for details.\nputs a\n",
     "insert \" at line 1 char 30", {{1, 30}, {1, 30}, "\""}},
    {"brace_added_in_a_line",
     well_kept + "proc second {b} {\n"
                 "    set x {1\n" // 7
                 "    set y 2\n"
                 "}\n",
     "delete the { at line 7 char 11", {{7, 11}, {7, 12}, ""}},
    // Of braces alike, one inside a word is the likeliest put in by mistake.
    {"brace_added_inside_a_word",
     well_kept + "proc second {b} {\n"
                 "    if {$b} {puts ye{s}\n" // 7
                 "    puts done\n"
                 "}\n",
     "delete the { at line 7 char 21", {{7, 21}, {7, 22}, ""}},
    {"closing_brace_added_in_a_line",
     well_kept + "proc second {b} {\n"
                 "    set x }1\n" // 7
                 "    set y 2\n"
                 "}\n",
     "delete the } at line 7 char 11", {{7, 11}, {7, 12}, ""}},
    {"last_brace_lost_without_newline", "proc a {} {\n    puts 1", "insert } after line 2",
     {{2, 11}, {2, 11}, "\n}"}},
    {"long_line_ends_in_crlf",
     "proc a {} {\r\n    if {$x} {\r\n        puts " + std::string(5000, 'x') + "\r\n}\r\n",
     "insert } before line 4", {{4, 1}, {4, 1}, "    }\r\n"}},
    {"lines_end_in_crlf", "proc a {} {\r\n    if {$x} {\r\n        puts 1\r\n\r\n}\r\n", "insert } before line 4",
     {{4, 1}, {4, 1}, "    }\r\n"}},
};

class Repairs : public ::testing::TestWithParam<repair_case> {};

TEST_P(Repairs, FirstFaultMended)
{
    const repair_case &c = GetParam();
    for (scanner_kind kind : {scanner_kind::fast, scanner_kind::plain}) {
        options o = with_hints();
        o.scanner = kind;
        std::vector<diagnostic> ds = check(c.script, o);
        ASSERT_FALSE(ds.empty()) << "the fault must draw a report";
        const repair &fix = ds.front().fix;
        EXPECT_EQ(fix.description, c.description);
        ASSERT_EQ(fix.edits.size(), 1u) << fix.description;
        EXPECT_EQ(fix.edits[0], c.edit) << fix.description;
        EXPECT_TRUE(check(apply_fix(c.script, fix), o).empty()) << apply_fix(c.script, fix);
        for (const diagnostic &d : ds) {
            if (severity_of(d.kind) != severity::error)
                continue;
            EXPECT_EQ(d.likely.at, c.edit.from) << "every error is placed at the repair";
            EXPECT_EQ(d.likely.reason, hint_reason::repaired);
        }
        for (std::size_t i = 1; i < ds.size(); ++i)
            EXPECT_TRUE(ds[i].fix.empty()) << "only the first fault carries the repair";
        std::vector<diagnostic> plain = check(c.script);
        ASSERT_EQ(plain.size(), ds.size()) << "the repair changes no report";
        for (std::size_t i = 0; i < ds.size(); ++i) {
            EXPECT_EQ(plain[i].kind, ds[i].kind);
            EXPECT_EQ(plain[i].at, ds[i].at);
            EXPECT_TRUE(plain[i].fix.empty()) << "no repair without hints";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Repairs, ::testing::ValuesIn(repair_cases),
                         [](const ::testing::TestParamInfo<repair_case> &i) { return std::string(i.param.name); });

// No fix where nothing is wrong, where no single edit mends the input, or where it was not
// asked for.
TEST(RepairNone, CleanInputsAndFaultsNoEditMends)
{
    EXPECT_TRUE(check(well_kept, with_hints()).empty());
    struct {
        const char *name;
        std::string script;
    } cases[] = {
        {"two stray closers", "}\n}\n"},
        {"two faults far apart", well_kept + "set x [a\n" + well_kept + "puts \"b\n"},
        {"a warning no edit here removes", "puts \"a\"b\nset x [y\n"},
    };
    for (const auto &c : cases) {
        std::vector<diagnostic> ds = check(c.script, with_hints());
        ASSERT_FALSE(ds.empty()) << c.name;
        for (const diagnostic &d : ds) {
            EXPECT_TRUE(d.fix.empty()) << c.name << ": " << d.fix.description;
            EXPECT_NE(d.likely.reason, hint_reason::repaired) << c.name;
        }
    }
    options off = with_hints();
    off.repair = false;
    std::vector<diagnostic> ds = check(repair_cases[0].script, off);
    ASSERT_FALSE(ds.empty());
    EXPECT_TRUE(ds.front().fix.empty());
    EXPECT_EQ(ds.front().likely.reason, hint_reason::dedent_without_close) << "the indentation alone";
}

// A stream that cannot go back to its start is read once, with the hints, and not repaired;
// a file is repaired as the same bytes in memory are.
class one_way_buffer : public std::streambuf {
public:
    explicit one_way_buffer(std::string s) : s_(std::move(s)) { setg(s_.data(), s_.data(), s_.data() + s_.size()); }

private:
    std::string s_;
};

TEST(RepairSources, OnlyInputsThatCanBeReadAgain)
{
    const repair_case &c = repair_cases[0];
    one_way_buffer buf(c.script);
    std::istream in(&buf);
    collecting_sink once;
    checker(with_hints(), once).check(in);
    ASSERT_FALSE(once.diagnostics.empty());
    EXPECT_TRUE(once.diagnostics.front().fix.empty());

    temp_dir dir;
    int fd = open(dir.write("f.tcl", c.script).c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    collecting_sink from_file;
    check_result r = checker(with_hints(), from_file).check_fd(fd);
    close(fd);
    EXPECT_EQ(r.read_error, 0);
    ASSERT_FALSE(from_file.diagnostics.empty());
    EXPECT_EQ(from_file.diagnostics.front().fix.description, c.description);
    ASSERT_EQ(from_file.diagnostics.front().fix.edits.size(), 1u);
    EXPECT_EQ(from_file.diagnostics.front().fix.edits[0], c.edit);
}

// What comes before the first fault is passed on once, in its place, and the reports are those
// of a check without hints, listing included.
TEST(RepairReports, SameReportsAndListingAsWithoutHints)
{
    const std::string script = "puts a\\ \n" + repair_cases[0].script; // a warning with -e
    for (const char *listing : {"-s", "-m", "-l", "-j"}) {
        std::string with = run_in_process({"-e", listing, "--hints"}, script);
        std::string without = run_in_process({"-e", listing}, script);
        std::istringstream lines(with);
        std::string kept, line;
        while (std::getline(lines, line))
            if (!line.starts_with("  hint: "))
                kept += line + "\n";
        EXPECT_EQ(kept, without) << listing;
        EXPECT_NE(with.find("  hint: line 10 char 1: one edit here"), std::string::npos) << with;
    }
}

std::string generated_script(std::mt19937 &rng)
{
    static const std::vector<std::string> pieces = {
        "proc p {a} {\n", "    if {$a} {\n", "        puts x\n", "    }\n", "}\n", "    set y [list a\n",
        "    ]\n", "# a comment {\n", "    \"str\n", "\"\n", "\t\t}\n", "  {\n", "\\\n", "\n", "set x [y]\n",
        "puts \"a b\"\n", "\r\n", "  set z {a b}\n"};
    std::string s;
    for (std::size_t i = 0, n = 1 + rng() % 60; i < n; ++i)
        s += pieces[rng() % pieces.size()];
    return s;
}

// A script of nested blocks, indented as people indent them, with one fault put in.
std::string faulty_script(std::mt19937 &rng)
{
    static const std::vector<std::string> simple = {"set x [list a b]", "puts \"a b\"", "incr i",
                                                    "set y [expr {$x + 1}]", "# a note"};
    static const std::vector<std::string> openers = {"if {$x} {", "foreach i $l {", "proc p {a} {", "while 1 {"};
    std::string s;
    std::vector<std::string> open;
    for (int i = 0, n = 8 + static_cast<int>(rng() % 30); i < n; ++i) {
        std::string indent(4 * open.size(), ' ');
        unsigned r = rng() % 6;
        if (r < 2 && open.size() < 4) {
            s += indent + openers[rng() % openers.size()] + "\n";
            open.push_back(indent);
        } else if (r < 3 && !open.empty()) {
            s += open.back() + "}\n";
            open.pop_back();
        } else {
            s += indent + simple[rng() % simple.size()] + "\n";
        }
    }
    for (; !open.empty(); open.pop_back())
        s += open.back() + "}\n";
    // One fault: a delimiter lost, or a brace added.
    const char lost[] = "{}[]\"";
    std::size_t at = rng() % s.size();
    if (rng() % 3 == 0) {
        s.insert(at, 1, rng() % 2 ? '{' : '}');
        return s;
    }
    char c = lost[rng() % 5];
    std::size_t p = s.find(c, at);
    if (p == std::string::npos)
        p = s.find(c);
    if (p != std::string::npos)
        s.erase(p, 1);
    return s;
}

// Whatever the input and the options, a fix stands on the first fault only and checks clean.
TEST(RepairProperty, AFixAlwaysChecksClean)
{
    std::mt19937 rng(17);
    int fixed = 0, faulty = 0;
    for (int round = 0; round < 1200; ++round) {
        std::string script = round % 2 ? generated_script(rng) : faulty_script(rng);
        options o = with_hints();
        o.hash_lines = rng() % 4 != 0;
        o.balancing = rng() % 4 != 0;
        o.report_in_string = rng() % 4 != 0;
        o.any_quote_opens = rng() % 8 == 0;
        std::vector<diagnostic> ds = check(script, o);
        faulty += round % 2 == 0 && !ds.empty();
        for (std::size_t i = 0; i < ds.size(); ++i) {
            if (ds[i].fix.empty())
                continue;
            fixed += round % 2 == 0;
            for (std::size_t j = 0; j < i; ++j)
                EXPECT_EQ(severity_of(ds[j].kind), severity::warning) << "on the first fault:\n" << script;
            EXPECT_TRUE(check(apply_fix(script, ds[i].fix), o).empty())
                << ds[i].fix.description << "\n" << script;
        }
    }
    EXPECT_GT(fixed * 4, faulty * 3) << "one fault in a script indented as people do is mostly mended";
}

} // namespace
