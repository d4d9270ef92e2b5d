// The repair search as a whole: one measure of a line's text for the lexer, the hints and the
// repair; line endings of every kind; a bound that cuts the least likely edits; and the rule
// that each repair names.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "delimcheck/checker.h"
#include "harness.h"
#include "scan/text.h"

namespace {

using namespace delimcheck;

options with_hints()
{
    options o;
    o.hints = true;
    return o;
}

std::string replace_all(const std::string &s, std::string_view from, std::string_view to)
{
    // Built anew rather than replaced in place, which g++ 12 at -O2 takes for an overlapping copy.
    std::string out;
    std::size_t done = 0;
    for (std::size_t at; (at = s.find(from, done)) != std::string::npos; done = at + from.size())
        out.append(s, done, at - done).append(to);
    return out.append(s, done);
}

// The same lines with other endings: every "\n" as "\r\n", or only those of odd (or even) lines.
std::string crlf(const std::string &s) { return replace_all(s, "\n", "\r\n"); }
std::string mixed(const std::string &s, int odd = 1)
{
    std::string out;
    int line = 1;
    for (char c : s) {
        if (c == '\n' && line++ % 2 == odd)
            out += '\r';
        out += c;
    }
    return out;
}

// The input with the fix's edits applied; positions count lines and byte columns from 1.
std::string apply_fix(std::string_view text, const repair &fix)
{
    std::vector<std::size_t> starts = {0};
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n')
            starts.push_back(i + 1);
    auto offset = [&](position p) {
        std::size_t at = static_cast<std::size_t>(p.line) <= starts.size() ? starts[p.line - 1] : text.size();
        return std::min(at + static_cast<std::size_t>(p.column - 1), text.size());
    };
    std::string out(text);
    for (auto e = fix.edits.rbegin(); e != fix.edits.rend(); ++e)
        out.replace(offset(e->from), offset(e->to) - offset(e->from), e->text);
    return out;
}

TEST(LineText, OneMeasureOfBlanksAndWidths)
{
    struct {
        std::string_view line;
        std::int32_t width;
        bool blank;
        std::size_t content_end;
    } cases[] = {
        {"", 0, true, 0},
        {"\r", 0, true, 0},
        {"  \t\r", 8, true, 0},
        {"\tset x 1\r", 8, false, 8},
        {"  \tx", 8, false, 4},
        {"        \tx", 16, false, 10},
        {"   }  ", 3, false, 4},
        {"x\r\r", 0, false, 2}, // a carriage return inside a line is content
    };
    for (const auto &c : cases) {
        EXPECT_EQ(scan::indent_width(c.line), c.width) << c.line;
        EXPECT_EQ(scan::is_blank_line(c.line), c.blank) << c.line;
        EXPECT_EQ(scan::content_end(c.line), c.content_end) << c.line;
    }
    std::vector<std::string_view> lines;
    scan::for_each_line("a\r\n\nb", [&](std::string_view l, std::int64_t n) {
        EXPECT_EQ(n, static_cast<std::int64_t>(lines.size()) + 1);
        lines.push_back(l);
    });
    EXPECT_EQ(lines, (std::vector<std::string_view>{"a\r", "", "b"}));
}

// Procedures whose bodies hold blank lines, one of them missing the } of its loop: however
// the lines end, the hint and the repair are those of the same script with newlines.
const std::string loop_unclosed = "proc p0 {a} {\n"
                                  "    set x 1\n"
                                  "\n"
                                  "    if {$a} {\n"
                                  "        puts yes\n"
                                  "    }\n"
                                  "\n"
                                  "    return $x\n"
                                  "}\n"
                                  "\n"
                                  "proc p1 {a} {\n"
                                  "    foreach k $a {\n"  // 12
                                  "        set y [list $k]\n"
                                  "\n"
                                  "        puts $y\n"    // 15
                                  "\n"                   // 16: its } was here
                                  "    return\n"
                                  "}\n"
                                  "\n"
                                  "proc p2 {} {\n"
                                  "    set z {a b}\n"
                                  "\n"
                                  "    return $z\n"
                                  "}\n";

TEST(LineEndings, BlankLinesOfEveryEndingAreBlank)
{
    struct {
        const char *name;
        std::string script;
        std::string inserted;
    } cases[] = {
        {"lf", loop_unclosed, "    }\n"},
        {"crlf", crlf(loop_unclosed), "    }\r\n"},
        // The new line ends as line 15, after which it goes, does.
        {"mixed_odd_lines_crlf", mixed(loop_unclosed, 1), "    }\r\n"},
        {"mixed_even_lines_crlf", mixed(loop_unclosed, 0), "    }\n"},
    };
    for (const auto &c : cases) {
        for (scanner_kind kind : {scanner_kind::fast, scanner_kind::plain}) {
            options o = with_hints();
            o.scanner = kind;
            std::vector<diagnostic> ds = check(c.script, o);
            ASSERT_FALSE(ds.empty()) << c.name;
            const repair &fix = ds.front().fix;
            EXPECT_EQ(fix.description, "insert } before line 16") << c.name;
            ASSERT_EQ(fix.edits.size(), 1u) << c.name;
            EXPECT_EQ(fix.edits[0].text, c.inserted) << c.name << ": the line ends as the lines around it";
            EXPECT_TRUE(check(apply_fix(c.script, fix), o).empty()) << c.name;
            options off = o;
            off.repair = false;
            std::vector<diagnostic> hinted = check(c.script, off);
            ASSERT_FALSE(hinted.empty());
            EXPECT_EQ(hinted.front().likely.at.line, 16) << c.name << ": the indentation alone, blank lines skipped";
        }
    }
}

// A file whose lines end in a carriage return alone is one line to the checker: it gets no
// repair, which the indentation of that one line would only guess.
TEST(LineEndings, CarriageReturnsAloneGetNoRepairAcrossLines)
{
    std::string cr = replace_all(loop_unclosed, "\n", "\r");
    std::vector<diagnostic> ds = check(cr, with_hints());
    ASSERT_FALSE(ds.empty());
    for (const diagnostic &d : ds)
        EXPECT_TRUE(d.fix.empty()) << d.fix.description << ": the indentation of one line is no guide";
    std::string lf_then_cr = loop_unclosed.substr(0, 40) + replace_all(loop_unclosed.substr(40), "\n", "\r");
    for (const diagnostic &d : check(lf_then_cr, with_hints()))
        EXPECT_TRUE(d.fix.empty()) << d.fix.description;
}

// A stray { on a line of its own: deleted, whether the line is indented or not and however it
// ends.
TEST(LineEndings, StrayOpenerAloneOnALine)
{
    const std::string before = "proc a {x} {\n    if {$x} {\n        puts 1\n    }\n";
    const std::string after = "    return 2\n}\n";
    for (const std::string &stray : {std::string("{\n"), std::string("\t{\n"), std::string("    {\n")})
        for (bool ends_crlf : {false, true}) {
            std::string script = before + stray + after;
            if (ends_crlf)
                script = crlf(script);
            std::vector<diagnostic> ds = check(script, with_hints());
            ASSERT_FALSE(ds.empty()) << script;
            EXPECT_EQ(ds.front().fix.description.rfind("delete the { at line 5", 0), 0u)
                << ds.front().fix.description << "\n" << script;
        }
}

// Many clean lines full of delimiters before the fault make many edits; the bound keeps the
// cheapest, not the first made.
TEST(RepairBound, CutsByCostNotByLineOrder)
{
    std::string script;
    for (int i = 0; i < 20; ++i) {
        script += "proc p" + std::to_string(i) + " {a} {\n    if {$a} {\n        puts yes\n    }\n}\n";
        for (int j = 0; j < 10; ++j)
            script += "# [a [b [c {a} {a} [d {a} [e\n";
    }
    script += "proc last {b} {\n"  // 301
              "    foreach x $b {\n"
              "        puts $x\n"
              "\n"                 // 304: its } was here
              "    puts done\n"
              "}\n";
    std::vector<diagnostic> ds = check(script, with_hints());
    ASSERT_FALSE(ds.empty());
    EXPECT_EQ(ds.front().fix.description, "insert } before line 304");
}

// Each repair names the rule that proposed it.
TEST(RepairRule, EachRepairNamesItsRule)
{
    struct {
        std::string script, rule;
    } cases[] = {
        {loop_unclosed, "close-line"},
        {"proc a {} {\n    if {$x}\n        puts 1\n    }\n}\n", "open-at-end"},
        {"set x 1\n}\nset y 2\n", "delete-lone-closer"},
        {"proc a {} {\n    set x {1\n    set y 2\n}\n", "delete-brace"},
        {"set x [lindex $l 0\nputs $x\n", "close-bracket"},
        {"puts \"hello\nputs done\n", "close-quote"},
        {"set t [time {\n    work\n} 10\nputs $t\n", "close-block-in-bracket"},
        {"set l [list a \\\n    b c\nputs $l\n", "close-joined"},
    };
    for (const auto &c : cases) {
        std::vector<diagnostic> ds = check(c.script, with_hints());
        ASSERT_FALSE(ds.empty()) << c.script;
        EXPECT_EQ(ds.front().fix.rule, c.rule) << ds.front().fix.description << "\n" << c.script;
    }
}

// Edits of every delimiter, and one typed for another: each script holds one real-life
// mistake, and the repair is the edit that undoes it.
TEST(RepairEdits, EveryDelimiterAndOneForAnother)
{
    const std::string kept = "proc first {a} {\n    if {$a} {\n        puts yes\n    }\n}\n";
    struct {
        const char *name;
        std::string script, description, rule;
    } cases[] = {
        {"stray_bracket", kept + "proc v {x} {\n    set val [string range $x 1 end]]\n    return $val\n}\n",
         "delete the ] at line 7 char 35", "delete-surplus"},
        {"doubled_bracket", kept + "set name \"item_[[gen_id]\"\nputs $name\n", "delete the [ at line 6 char 16",
         "delete-surplus"},
        {"stray_paren_in_condition",
         kept + "proc w {name} {\n    if { $name eq \"\") } {\n        return\n    }\n}\n",
         "delete the ) at line 7 char 21", "delete-surplus"},
        {"paren_for_bracket", kept + "set t $content(mime_type]\nputs $t\n", "replace the ] at line 6 char 25 by )",
         "replace-delimiter"},
        {"paren_for_brace", kept + "proc u {a} {\n    if ($a} {\n        puts a\n    }\n}\n",
         "replace the ( at line 7 char 8 by {", "replace-delimiter"},
        {"closer_for_its_opener", kept + "set u \"$user_info)username)-%\"\nputs $u\n",
         "replace the ) at line 6 char 18 by (", "replace-delimiter"},
        {"bracket_for_brace_before_a_body",
         kept + "if {[tk windowingsystem] eq \"aqua\"] {\n    set x 1\n}\n",
         "replace the ] at line 6 char 35 by }", "replace-delimiter"},
        // A braced word that begins a line lost its }, rather than got a { too many.
        {"brace_of_a_list_element_lost",
         kept + "set fields {\n    {group_id:integer,notnull}\n    {member_state \"approved\"\n}\n",
         "insert } at line 8 char 29", "close-brace-in-line"},
        {"paren_lost", kept + "set y [expr {sqrt(1.0-$k*sin($u)}]\nputs $y\n", "insert ) at line 6 char 33",
         "close-paren"},
    };
    for (const auto &c : cases) {
        std::vector<diagnostic> ds = check(c.script, with_hints());
        ASSERT_FALSE(ds.empty()) << c.name;
        const repair &fix = ds.front().fix;
        EXPECT_EQ(fix.description, c.description) << c.name;
        EXPECT_EQ(fix.rule, c.rule) << c.name;
        EXPECT_TRUE(check(apply_fix(c.script, fix), with_hints()).empty()) << c.name;
    }
}

// A repair is sure when no other clean edit comes near it; where two edits mend the input
// equally well, neither is.
TEST(RepairSure, OnlyWhereNoOtherEditComesNear)
{
    struct {
        const char *name;
        std::string script;
        bool sure;
        const char *fix = nullptr; // its description, where the test says
    } cases[] = {
        {"lost_closer_of_a_block", loop_unclosed, true},
        // Any place in the line after the word checks clean: a guess, however likely.
        {"lost_bracket_in_a_line", "set x [lindex $l 0\nputs $x\n", false},
        // One place only, yet a lost ] of a continued command was as often a line off.
        {"lost_bracket_of_a_continued_command", "proc p {} {\n    set a [list x \\\n        y\n    return $a\n}\n",
         false},
        // Either brace of the line may be the one put in.
        {"one_of_two_braces", "proc a {} {\n    set x {a {b}\n    set y 2\n}\n", false},
        // The same text whichever of the two is deleted.
        {"doubled_bracket", "set v [string range $x 1 end]]\nputs $v\n", true},
        // Of two braces of a line, one inside a name is the one put in.
        {"brace_inside_a_name", "proc p {w} {\n    if {[se{t x [$w cget -o]] ne \"\"} {\n        y\n    }\n}\n", true,
         "delete the { at line 2 char 12"},
        // The other brace would leave a proc without its body, which Tcl refuses to run.
        {"other_edit_refused_by_tcl", "namespace eval n {\n    proc no-op {args {}\n    proc q {} {}\n}\n", true,
         "delete the { at line 2 char 16"},
        // A line left with the blanks of a lost }: its own tabs or spaces, whatever the width.
        {"blanks_left_by_a_lost_closer_tab", "proc p {} {\n\tif {$x} {\n\t\ty\n\t\n}\n", true,
         "insert } at the end of line 4"},
        {"blanks_left_by_a_lost_closer_odd", "proc p {} {\n    if {$x} {\n        y\n       \n}\n", true,
         "insert } at the end of line 4"},
    };
    for (const auto &c : cases) {
        std::vector<diagnostic> ds = check(c.script, with_hints());
        ASSERT_FALSE(ds.empty()) << c.name;
        ASSERT_FALSE(ds.front().fix.empty()) << c.name;
        EXPECT_EQ(ds.front().fix.sure, c.sure) << c.name << ": " << ds.front().fix.description;
        EXPECT_TRUE(ds.front().fix.sure || !ds.front().fix.safe) << c.name << ": only a sure repair is safe";
        if (c.fix != nullptr) {
            EXPECT_EQ(ds.front().fix.description, c.fix) << c.name;
        }
    }
}

options apart()
{
    options o = with_hints();
    o.repair_apart = true;
    return o;
}

// In an input with several faults, each error gets the repair of its own fault: that repair
// mends its reports and leaves the others as they stood; without the option, none is offered.
TEST(RepairApart, EachFaultGetsItsOwnRepair)
{
    const std::string kept = "proc first {a} {\n    if {$a} {\n        puts yes\n    }\n}\n";
    struct {
        const char *name;
        std::string script;
        std::vector<std::string> fixes; // of the errors in order
    } cases[] = {
        {"two_lost_closers_at_the_end", kept + "set x [a\n" + kept + "puts \"b\n",
         {"insert \" at line 12 char 8", "insert ] at line 6 char 9"}},
        {"an_old_finding_before_the_fault", "set y [list }\n" + kept + "proc second {b} {\n    set z [string range $b 1\n}\n",
         {"replace the } at line 1 char 13 by ]", "insert ] at line 8 char 29"}},
    };
    for (const auto &c : cases) {
        std::vector<diagnostic> ds = check(c.script, apart());
        std::vector<diagnostic> errors;
        for (const diagnostic &d : ds)
            if (severity_of(d.kind) == severity::error)
                errors.push_back(d);
        ASSERT_EQ(errors.size(), c.fixes.size()) << c.name;
        for (std::size_t i = 0; i < errors.size(); ++i) {
            const diagnostic &d = errors[i];
            EXPECT_EQ(d.fix.description, c.fixes[i]) << c.name << " " << i;
            EXPECT_EQ(d.likely.reason, hint_reason::repaired_apart) << c.name;
            ASSERT_FALSE(d.fix.empty()) << c.name;
            EXPECT_EQ(d.likely.at, d.fix.edits.front().from);
            // What is left: the other errors, as they were.
            std::vector<diagnostic> after = check(apply_fix(c.script, d.fix), options{});
            std::vector<diagnostic> others;
            for (const diagnostic &e : errors)
                if (&e != &d)
                    others.push_back(e);
            ASSERT_EQ(after.size(), others.size()) << c.name;
            for (std::size_t k = 0; k < after.size(); ++k) {
                EXPECT_EQ(after[k].kind, others[k].kind) << c.name;
                EXPECT_EQ(after[k].expected, others[k].expected) << c.name;
                EXPECT_EQ(after[k].opener.line, others[k].opener.line) << c.name;
            }
        }
        for (const diagnostic &d : check(c.script, with_hints()))
            EXPECT_TRUE(d.fix.empty()) << c.name << ": only when asked for";
    }
}

// On generated scripts, a repair found apart never adds a report and always mends some.
TEST(RepairApart, NeverAddsAReport)
{
    std::mt19937 rng(23);
    static const std::vector<std::string> pieces = {
        "proc p {a} {\n", "    if {$a} {\n", "        puts x\n", "    }\n", "}\n", "    set y [list a\n",
        "# a comment {\n", "    \"str\n", "set x [y]\n", "puts \"a b\"\n", "  set z {a b}\n", "set q )\n"};
    int offered = 0;
    for (int round = 0; round < 300; ++round) {
        std::string s;
        for (std::size_t i = 0, n = 2 + rng() % 30; i < n; ++i)
            s += pieces[rng() % pieces.size()];
        std::vector<diagnostic> plain = check(s, options{});
        for (const diagnostic &d : check(s, apart())) {
            if (d.fix.empty())
                continue;
            ++offered;
            std::vector<diagnostic> after = check(apply_fix(s, d.fix), options{});
            EXPECT_LT(after.size(), plain.size()) << d.fix.description << "\n" << s;
            for (const diagnostic &left : after) {
                bool stood = false;
                for (const diagnostic &before : plain)
                    stood = stood || (before.kind == left.kind && before.got == left.got);
                EXPECT_TRUE(stood) << d.fix.description << "\n" << s;
            }
        }
    }
    EXPECT_GT(offered, 50);
}

// Through the binary: --diff gives what patch applies, and --fix writes the same, with the
// file's own line endings.
TEST(LineEndingsCli, DiffAndFixKeepTheEndings)
{
    struct {
        const char *name;
        std::string script;
    } cases[] = {{"crlf.tcl", crlf(loop_unclosed)}, {"mixed.tcl", mixed(loop_unclosed)}, {"lf.tcl", loop_unclosed}};
    for (const auto &c : cases) {
        temp_dir dir, scripts;
        dir.write(c.name, c.script);
        std::vector<diagnostic> ds = check(c.script, with_hints());
        ASSERT_FALSE(ds.empty());
        std::string repaired = apply_fix(c.script, ds.front().fix);
        process_result diff = run_binary({"--diff", c.name}, "", dir.path);
        EXPECT_EQ(diff.status, 0) << diff.err;
        std::string patch = scripts.write("d.diff", diff.out);
        std::string command = "command -v patch >/dev/null || exit 77; cd '" + dir.path +
                              "' && patch -p0 --batch --quiet < '" + patch + "'";
        int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 77)
            GTEST_SKIP() << "patch is not installed";
        ASSERT_EQ(WEXITSTATUS(status), 0) << diff.out;
        EXPECT_EQ(slurp(dir.path + "/" + c.name), repaired) << c.name;

        dir.write(c.name, c.script);
        process_result fix = run_binary({"--fix", c.name}, "", dir.path);
        EXPECT_EQ(fix.status, 0) << fix.err;
        EXPECT_EQ(slurp(dir.path + "/" + c.name), repaired) << c.name;
        EXPECT_EQ(run_binary({"--status", c.name}, "", dir.path).status, 0);
    }
}

// A file whose lines end in a carriage return alone is one line to the checker: --diff offers
// nothing for it and --fix leaves it as it was, rather than write across its lines.
TEST(LineEndingsCli, CarriageReturnsAloneAreLeftAlone)
{
    temp_dir dir;
    std::string cr = replace_all(loop_unclosed, "\n", "\r");
    dir.write("cr.tcl", cr);
    process_result diff = run_binary({"--diff", "cr.tcl"}, "", dir.path);
    EXPECT_EQ(diff.status, 0) << diff.err;
    EXPECT_EQ(diff.out, "");
    run_binary({"--fix", "cr.tcl"}, "", dir.path);
    EXPECT_EQ(slurp(dir.path + "/cr.tcl"), cr);
}

} // namespace
