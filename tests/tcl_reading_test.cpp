// Tcl's reading rules: tables of scripts with the break Tcl meets, the bodies read as scripts,
// and on generated and real scripts the verdicts of tclsh itself (`info complete`, and the
// parse errors its compiler meets), where tclsh is installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <span>
#include <sstream>

#include "harness.h"
#include "tcl/reading.h"

namespace {

using namespace delimcheck::tcl;

// The output of a shell command, and whether it exited 0.
bool shell(const std::string &command, std::string &out)
{
    out.clear();
    FILE *p = popen(command.c_str(), "r");
    if (p == nullptr)
        return false;
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    return pclose(p) == 0;
}

bool have_tclsh()
{
    std::string out;
    return shell("command -v tclsh >/dev/null 2>&1", out);
}

// Whether tclsh can load the package.
bool have_tcl_package(const std::string &name)
{
    std::string out;
    return have_tclsh() && shell("echo 'package require " + name + "' | tclsh >/dev/null 2>&1", out);
}

struct tcl_verdict {
    bool complete = false;
    std::string error; // Tcl's message for the first parse error, "ok" when none
};

// Tcl's verdicts on the texts, through the oracle script: compiled, or with "run", run.
std::vector<tcl_verdict> ask_tcl(const std::vector<std::string> &texts, const std::string &mode = "")
{
    temp_dir dir;
    std::string cases;
    for (const std::string &t : texts)
        cases += std::to_string(t.size()) + "\n" + t;
    std::string file = dir.write("cases", cases);
    std::string out;
    bool ok = shell("tclsh '" DELIMCHECK_SOURCE_DIR "/tests/tcl/oracle.tcl' '" + file + "' " + mode, out);
    EXPECT_TRUE(ok);
    std::vector<tcl_verdict> verdicts;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::size_t tab = line.find('\t');
        verdicts.push_back({line.substr(0, tab) == "1", tab == std::string::npos ? "" : line.substr(tab + 1)});
    }
    EXPECT_EQ(verdicts.size(), texts.size());
    verdicts.resize(texts.size());
    return verdicts;
}

std::string message_of(const reading_break &b) { return b ? std::string(break_message(b.kind)) : "ok"; }

// Whether Tcl's message is the reader's: Tcl adds to some a guess after a colon.
bool same_error(const std::string &tcl, const reading_break &b)
{
    std::string mine = message_of(b);
    return tcl == mine || (tcl.starts_with(mine) && tcl[mine.size()] == ':');
}

// A script at the level it is sourced at: the break, where its opener stands and where
// reading stops, and `info complete`.
struct script_case {
    const char *text;
    break_kind kind;
    std::size_t opener, at;
    bool complete;
};

const script_case script_cases[] = {
    {"set a {b}\n", break_kind::none, 0, 0, true},
    {"set a {b}c\n", break_kind::extra_after_brace, 6, 9, true},
    {"set a \"b\"c\n", break_kind::extra_after_quote, 6, 9, true},
    {"set a {b\n", break_kind::missing_close_brace, 6, 9, false},
    {"set a \"b\n", break_kind::missing_quote, 6, 9, false},
    {"set a [b\n", break_kind::missing_close_bracket, 6, 9, false},
    {"set a $b(c d\n", break_kind::missing_paren, 8, 13, false},
    {"set a ${b\n", break_kind::missing_variable_brace, 6, 10, false},
    // The first break ends reading: a later unclosed brace does not make it incomplete.
    {"set a {b}c\nset d {\n", break_kind::extra_after_brace, 6, 9, true},
    // In brackets a word may end at the ], and a comment runs past a ] to its line's end.
    {"set a [list {b}]\n", break_kind::none, 0, 0, true},
    {"set a [list \"b\"]\n", break_kind::none, 0, 0, true},
    {"set a [# c]\n]\n", break_kind::none, 0, 0, true},
    {"set a {b}]\n", break_kind::extra_after_brace, 6, 9, true},
    // A # is a comment only where a command begins; a quote or brace in one is nothing.
    {"# a \"b {c\nset d e\n", break_kind::none, 0, 0, true},
    {"set a # {\n", break_kind::missing_close_brace, 8, 10, false},
    {"set a b; # {\n", break_kind::none, 0, 0, true},
    // A comment goes on past a backslash-newline, not past an escaped backslash.
    {"# a \\\n{\nset b c\n", break_kind::none, 0, 0, true},
    {"# a \\\\\n{\n", break_kind::missing_close_brace, 7, 9, false},
    // Braces and quotes inside a bare word are plain bytes; escaped ones count nowhere.
    {"set a b{c\"d\n", break_kind::none, 0, 0, true},
    {"set a {b\\}c}\n", break_kind::none, 0, 0, true},
    {"set a \"b\\\"c\"\n", break_kind::none, 0, 0, true},
    {"set a \\{\n", break_kind::none, 0, 0, true},
    // A quoted word ends at its quote wherever it stands; brackets in it nest scripts.
    {"set a \"b [list \"c\"] d\"\n", break_kind::none, 0, 0, true},
    {"set a \"b [list c\"\n", break_kind::missing_close_bracket, 9, 18, false},
    // {*} expands the word after it; alone it is a braced word.
    {"list {*}{a b} {*}\n", break_kind::none, 0, 0, true},
    {"list {*}\"a\"b\n", break_kind::extra_after_quote, 8, 11, true},
    // An index runs past blanks to its ); ${...} takes anything up to its }.
    {"set a $b(c d)\n", break_kind::none, 0, 0, true},
    {"set a ${b c[}\n", break_kind::none, 0, 0, true},
    {"set a $(x\n", break_kind::missing_paren, 7, 10, false},
    {"set a $\n", break_kind::none, 0, 0, true},
    {"set a $::b::c(d\n", break_kind::missing_paren, 13, 16, false},
    // A backslash-newline at the very end waits for more; one followed by blanks does not.
    {"set a \\\n", break_kind::none, 0, 0, false},
    {"set a b\\\n", break_kind::none, 0, 0, false},
    {"set a \\\n  ", break_kind::none, 0, 0, true},
    {"set a b\\", break_kind::none, 0, 0, true},
    {"", break_kind::none, 0, 0, true},
};

class script_reading : public ::testing::TestWithParam<script_case> {};

TEST_P(script_reading, MeetsTheBreakTclMeets)
{
    const script_case &c = GetParam();
    reading_break b = read_script(c.text);
    EXPECT_EQ(b.kind, c.kind) << c.text;
    if (c.kind != break_kind::none) {
        EXPECT_EQ(b.opener, c.opener) << c.text;
        EXPECT_EQ(b.at, c.at) << c.text;
    }
    EXPECT_EQ(complete(c.text), c.complete) << c.text;
}

INSTANTIATE_TEST_SUITE_P(table, script_reading, ::testing::ValuesIn(script_cases),
                         [](const ::testing::TestParamInfo<script_case> &i) {
                             return std::to_string(i.index) + "_" + case_name(i.param.text).substr(0, 32);
                         });

TEST(script_reading_oracle, TheTableIsWhatTclSays)
{
    if (!have_tclsh())
        GTEST_SKIP() << "tclsh is not installed";
    std::vector<std::string> texts;
    for (const script_case &c : script_cases)
        texts.emplace_back(c.text);
    std::vector<tcl_verdict> tcl = ask_tcl(texts);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(tcl[i].complete, script_cases[i].complete) << texts[i];
        EXPECT_TRUE(same_error(tcl[i].error, read_script(texts[i]))) << texts[i] << ": tclsh says " << tcl[i].error;
    }
}

// The whole reading: which braced words are read as scripts. The break is that of the body
// when the command runs its body, none when it does not.
struct body_case {
    const char *text;
    break_kind kind;
};

const body_case body_cases[] = {
    {"proc p {} {set a [b}\n", break_kind::missing_close_bracket},
    {"::proc p {} {set a [b}\n", break_kind::missing_close_bracket},
    {"proc p {} {set a {b}c}\n", break_kind::extra_after_brace},
    {"proc p {a {b c}} {list $a}\n", break_kind::none},
    {"namespace eval n {set a \"b\"c}\n", break_kind::extra_after_quote},
    {"catch {set a [b} r\n", break_kind::missing_close_bracket},
    {"set r [catch {set a [b}]\n", break_kind::missing_close_bracket},
    {"eval {set a [b}\n", break_kind::missing_close_bracket},
    {"uplevel #0 {set a [b}\n", break_kind::missing_close_bracket},
    {"uplevel $l {set a [b}\n", break_kind::none},
    {"time {set a [b} 10\n", break_kind::missing_close_bracket},
    {"while {$x} {set a [b}\n", break_kind::missing_close_bracket},
    {"for {set i [x} {$i} {incr i} {}\n", break_kind::missing_close_bracket},
    {"for {} {$i} {incr [i} {}\n", break_kind::missing_close_bracket},
    {"for {} {$i} {} {set a [b}\n", break_kind::missing_close_bracket},
    {"for {} {[} {} {}\n", break_kind::none}, // a condition is an expression, not read
    {"foreach x $l {set a [b}\n", break_kind::missing_close_bracket},
    {"foreach x $l y $m {set a [b}\n", break_kind::missing_close_bracket},
    {"foreach x $l y {set a [b}\n", break_kind::none}, // a list, not a body
    {"lmap x $l {set a [b}\n", break_kind::missing_close_bracket},
    {"if {$x} {set a [b}\n", break_kind::missing_close_bracket},
    {"if {$x} then {a} elseif {$y} {b} else {set a [b}\n", break_kind::missing_close_bracket},
    {"if {$x} {a} elseif {$y} then {set a [b}\n", break_kind::missing_close_bracket},
    {"if {$x} {a} {set a [b}\n", break_kind::missing_close_bracket},
    {"if {$x} {a} else {b} {set a [b}\n", break_kind::none}, // no shape of if: nothing read
    {"try {set a [b} on error {m} {c}\n", break_kind::missing_close_bracket},
    {"try {a} trap {X} {m o} {set a [b}\n", break_kind::missing_close_bracket},
    {"try {a} on error m {b} finally {set a [b}\n", break_kind::missing_close_bracket},
    {"try {a} finally {b} {set a [b}\n", break_kind::none},
    {"dict for {k v} $d {set a [b}\n", break_kind::missing_close_bracket},
    {"dict map {k v} $d {set a [b}\n", break_kind::missing_close_bracket},
    {"dict with d k {set a [b}\n", break_kind::missing_close_bracket},
    {"dict update d k v {set a [b}\n", break_kind::missing_close_bracket},
    {"dict update d k {set a [b}\n", break_kind::none},
    {"dict set d {set a [b}\n", break_kind::none},
    {"oo::class create C {\n  method m {} {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"oo::class create C {\n  constructor {} {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"oo::class create C {\n  destructor {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"oo::class create C {\n  variable {set a [b}\n}\n", break_kind::none},
    {"oo::class create C {\n  set a {b}c\n}\n", break_kind::extra_after_brace}, // a script all the same
    {"oo::define C {\n  method m {} {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"oo::define C method m {} {set a [b}\n", break_kind::missing_close_bracket},
    {"oo::objdefine o method m {} {set a [b}\n", break_kind::missing_close_bracket},
    {"oo::define\n", break_kind::none},                           // fewer words than the class
    {"oo::objdefine\n  {\n", break_kind::missing_close_brace},
    {"method m {} {set a [b}\n", break_kind::none},            // not in a definition
    {"proc p {} {\n  method m {} {set a [b}\n}\n", break_kind::none},
    {"oo::class create C {\n  proc p {} {set a [b}\n}\n", break_kind::none}, // no proc in a definition
    {"oo::define C {\n  typemethod m {} {set a [b}\n}\n", break_kind::none},    // snit's, not TclOO's
    // snit's and [incr Tcl]'s classes, whose definitions are scripts too.
    {"snit::type T {\n  method m {} {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"::snit::widget W {\n  typemethod m {} {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"snit::widgetadaptor W {\n  onconfigure -o {v} {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"snit::type T {\n  oncget -o {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"snit::type T {\n  typeconstructor {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"snit::type T {\n  proc p {} {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"snit::type T {\n  constructor {args} {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"snit::type T {\n  option -o {set a [b}\n}\n", break_kind::none}, // a default value
    {"snit::type T {\n  set a {b}c\n}\n", break_kind::extra_after_brace},
    {"snit::method T m {} {set a [b}\n", break_kind::missing_close_bracket},
    {"snit::typemethod T m {} {set a [b}\n", break_kind::missing_close_bracket},
    {"snit::macro M {} {set a [b}\n", break_kind::missing_close_bracket},
    {"snit::type T {} {set a [b}\n", break_kind::none}, // no shape of snit::type
    {"itcl::class C {\n  method m {} {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"itcl::class C {\n  private method m {} {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"itcl::class C {\n  public proc p {} {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"itcl::class C {\n  constructor {} {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"itcl::class C {\n  constructor {} {init} {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"itcl::class C {\n  destructor {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"itcl::class C {\n  method m {}\n  common c {set a [b}\n}\n", break_kind::none},
    {"itcl::class C {\n  typemethod m {} {set a [b}\n}\n", break_kind::none}, // snit's word
    {"itcl::body C::m {} {set a [b}\n", break_kind::missing_close_bracket},
    {"itcl::configbody C::o {set a [b}\n", break_kind::missing_close_bracket},
    // Bodies within bodies, at any depth.
    {"proc p {} {\n  if {$x} {\n    foreach y $l {\n      set a [b\n    }\n  }\n}\n",
     break_kind::missing_close_bracket},
    // Data, and code that another command might run, is left alone.
    {"set doc {set a [b}\n", break_kind::none},
    {"switch $x {a {set a [b}}\n", break_kind::missing_close_bracket},
    {"switch -exact -- $x {\n  a - b {c}\n  default {set a [b}\n}\n", break_kind::missing_close_bracket},
    {"switch -regexp -matchvar m $x a {set a [b}\n", break_kind::missing_close_bracket},
    {"switch $x a {b} c {set a [b}\n", break_kind::missing_close_bracket},
    {"switch $x {{set a [b} c}\n", break_kind::none},              // a pattern, not a body
    {"switch $x {a {b} c}\n", break_kind::none},                   // no body for c: Tcl refuses
    {"switch $x {a {b}c d {set a [b}}\n", break_kind::none},       // not a list
    {"switch $x {a \"set a \\[b\"}\n", break_kind::none},         // a body that is not braced
    {"switch -bogus $x {a {set a [b}}\n", break_kind::none},       // an option switch refuses
    {"switch $x {# c d\n a {set a [b}}\n", break_kind::none},      // # is a pattern: pairs shift
    {"switch $x {# c\n a {set a [b}}\n", break_kind::missing_close_bracket}, // as Tcl pairs them
    {"proc p {} {set a [b} extra\n", break_kind::none},
    {"after 10 {set a [b}\n", break_kind::none},
    {"{*}$p {set a [b}\n", break_kind::none},
    {"proc {*}$args {set a [b}\n", break_kind::none},
    {"proc p {} \"set a \\[b\"\n", break_kind::none},
    {"# proc p {} {set a [b}\n", break_kind::none},
    // A break in the script itself ends it; bodies before it are still read.
    {"proc p {} {set a [b}\nset c {d}e\n", break_kind::missing_close_bracket},
    {"set c {d}e\nproc p {} {set a [b}\n", break_kind::extra_after_brace},
};

class body_reading : public ::testing::TestWithParam<body_case> {};

TEST_P(body_reading, ReadsTheBodiesTheCommandRuns)
{
    const body_case &c = GetParam();
    EXPECT_EQ(read_where_run(c.text).first.kind, c.kind) << c.text;
}

INSTANTIATE_TEST_SUITE_P(table, body_reading, ::testing::ValuesIn(body_cases),
                         [](const ::testing::TestParamInfo<body_case> &i) {
                             return std::to_string(i.index) + "_" + case_name(i.param.text).substr(0, 32);
                         });

// Commands that Tcl reads but refuses to run for their shape: a repair that leaves one has
// traded a parse error for another error.
struct shape_case {
    const char *text;
    bool misshapen;
    const char *at = ""; // where the command Tcl refuses begins
};

const shape_case shape_cases[] = {
    {"if {0}\n", true},
    {"if {0} then\n", true},
    {"if {0} {a} elseif {1}\n", true},
    {"if {0} {a} else\n", true},
    {"if {0} {a} {b} {c}\n", true},
    {"if {0} {a} elseif {1} {b} else {c}\n", false},
    {"if {0} {a} {b}\n", false},
    {"while {0}\n", true},
    {"while {0} {a}\n", false},
    {"for {} {0} {}\n", true},
    {"for {} {0} {} {a}\n", false},
    {"foreach x {}\n", true},
    {"foreach x {} y {}\n", true},
    {"foreach x {} y\n", false}, // y is the body
    {"foreach x {} y {} {a}\n", false},
    {"lmap x {}\n", true},
    {"proc p {}\n", true},
    {"proc p {} {a} {b}\n", true},
    {"proc p {} {a}\n", false},
    {"proc p {} {\n  if {1}\n}\np\n", true, "if"},
    {"proc p {} {\n  while {1} {\n    foreach x {}\n  }\n}\np\n", true, "foreach"},
    {"set d {if {0}}\n", false}, // data
    {"# if {0}\n", false},
    {"if {*}$args\n", false}, // expansion: the shape is not known
    {"{} a\n", true},
    {"{set a b}\n", true},
    {"{a} b\n", false},
    {"namespace eval n\n", true},
    {"namespace eval n {a} {b}\n", false}, // its words are joined
};

TEST(body_reading, TellsCommandsTclRefusesForTheirShape)
{
    std::vector<std::string> texts;
    for (const shape_case &c : shape_cases) {
        reading r = read_where_run(c.text);
        EXPECT_FALSE(r.first) << c.text;
        EXPECT_EQ(r.misshapen != std::string_view::npos, c.misshapen) << c.text;
        if (c.misshapen) {
            EXPECT_EQ(r.misshapen, std::string_view(c.text).find(c.at)) << c.text;
        }
        texts.push_back(c.text);
    }
    if (!have_tclsh())
        GTEST_SKIP() << "tclsh is not installed";
    // Tcl agrees, but for braced names: the oracle's unknown runs any command it does not know.
    std::vector<tcl_verdict> tcl = ask_tcl(texts, "run");
    for (std::size_t i = 0; i < texts.size(); ++i)
        if (!texts[i].starts_with("{") && !texts[i].starts_with("if {*}")) {
            EXPECT_EQ(tcl[i].error != "ok", shape_cases[i].misshapen) << texts[i] << "\ntclsh: " << tcl[i].error;
        }
}

TEST(body_reading, TheEarliestBreakIsFirst)
{
    // A body's break stands before the script's own.
    std::string text = "proc p {} {set a [b}\nset c {d}e\n";
    reading r = read_where_run(text);
    EXPECT_EQ(r.first.kind, break_kind::missing_close_bracket);
    EXPECT_EQ(r.first.opener, text.find('['));
    EXPECT_EQ(r.first.at, text.find("}\n"));
}

// Nesting costs no stack; bodies nested too deep are not read, which keeps the work on any
// input a bounded multiple of its size, and says no break rather than guess.
TEST(body_reading, DeepNestingIsReadInBoundedWork)
{
    auto nested = [](int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i)
            text += "catch {";
        text += "set a [b";
        for (int i = 0; i < depth; ++i)
            text += "}";
        return text;
    };
    EXPECT_EQ(read_where_run(nested(48)).first.kind, break_kind::missing_close_bracket);
    EXPECT_FALSE(read_where_run(nested(49)).first);
    EXPECT_FALSE(read_where_run(nested(200000)).first);
    EXPECT_EQ(read_script(std::string(300000, '[')).kind, break_kind::missing_close_bracket);
    EXPECT_EQ(read_script(std::string(300000, '{')).kind, break_kind::missing_close_brace);
    std::string quotes;
    for (int i = 0; i < 100000; ++i)
        quotes += "[\"";
    EXPECT_EQ(read_script(quotes).kind, break_kind::missing_quote);
}

// Any bytes at all: a break, when there is one, lies within the text, its opener before where
// reading stops, and every probe gets a role; the whole reading and the script's agree on
// whether the script itself breaks first.
TEST(body_reading, AnyBytesReadWithinBounds)
{
    std::mt19937 rng(5);
    const std::string alphabet = std::string("{}[]\"$()\\;#\n \t\r\0\x1a*:ab", 22) + "proc if switch for {*}";
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        int n = std::uniform_int_distribution<int>(0, 60)(rng);
        for (int i = 0; i < n; ++i)
            text += alphabet[std::uniform_int_distribution<std::size_t>(0, alphabet.size() - 1)(rng)];
        std::vector<std::size_t> probes;
        for (std::size_t i = 0; i < text.size(); i += 3)
            probes.push_back(i);
        reading r = read_where_run(text, probes);
        EXPECT_EQ(r.roles.size(), probes.size());
        reading_break b = read_script(text);
        if (r.first) {
            EXPECT_LE(r.first.opener, r.first.at) << ::testing::PrintToString(text);
            EXPECT_LE(r.first.at, text.size()) << ::testing::PrintToString(text);
        }
        if (b) {
            EXPECT_TRUE(r.first) << ::testing::PrintToString(text);
            EXPECT_LE(r.first.at, b.at) << ::testing::PrintToString(text);
        }
    }
}

// A byte of a text, found by the text near it, and how it should be read.
struct role_probe {
    std::string_view near;
    std::size_t plus;
    byte_role role;
};

void expect_roles(const std::string &text, std::span<const role_probe> probes)
{
    std::vector<std::size_t> offsets;
    for (const role_probe &p : probes)
        offsets.push_back(text.find(p.near) + p.plus);
    reading r = read_where_run(text, offsets);
    EXPECT_FALSE(r.first);
    ASSERT_EQ(r.roles.size(), offsets.size());
    for (std::size_t i = 0; i < offsets.size(); ++i)
        EXPECT_EQ(r.roles[i], probes[i].role) << probes[i].near << " +" << probes[i].plus;
}

// How each probed byte is read: code, comment, or a word that is not run here.
TEST(body_reading, TellsCodeFromCommentsAndData)
{
    const role_probe probes[] = {
        {"proc", 0, byte_role::code},   {"{\n  #", 0, byte_role::code},   {"\"b", 0, byte_role::comment},
        {"\"d\"", 0, byte_role::code},  {"\"d\"", 2, byte_role::code},    {"}\nset", 0, byte_role::code},
        {"\"g", 0, byte_role::literal}, {"g}", 1, byte_role::code},       {"# h", 4, byte_role::comment},
    };
    expect_roles("proc p {} {\n  # a \"b\n  set c \"d\"\n}\nset e {f \"g}\n# h }\n", probes);
}

// In switch's list, the bodies and the braces and blanks between them are code, as a script's
// are: a brace put back there closes a body. The patterns are data.
TEST(body_reading, ReadsSwitchsListAsCodeButItsPatterns)
{
    const role_probe probes[] = {
        {"a {\n", 0, byte_role::literal},  {"a {\n", 2, byte_role::code}, {"set b", 0, byte_role::code},
        {"}\n    \"d", 0, byte_role::code}, {"}\n    \"d", 1, byte_role::code}, {"\"d e", 1, byte_role::literal},
        {"\" -", 2, byte_role::literal},    {"{h}", 2, byte_role::code},     {"{b}}", 2, byte_role::literal},
    };
    expect_roles("proc p {x} {\n  switch -- $x {\n    a {\n      set b c\n    }\n"
                 "    \"d e\" -\n    default {h}\n  }\n}\nset l {a {b}}\n",
                 probes);
}

// The braced conditions of if, elseif, while and for, expr's braced argument and a procedure's
// arguments, each on one line, are read: code, though not as scripts. A braced word only passed
// on is data.
TEST(body_reading, ReadsConditionsAsCode)
{
    const role_probe probes[] = {
        {"$a > 1", 0, byte_role::code}, {"$b", 0, byte_role::code},     {"$c", 0, byte_role::code},
        {"$k < 3", 0, byte_role::code}, {"$e * 2", 0, byte_role::code}, {"$f + 1", 0, byte_role::literal},
        {"$g", 0, byte_role::literal},  {"$h", 0, byte_role::literal},  {"$i", 0, byte_role::literal},
        {"$j", 0, byte_role::literal},  {"$m", 0, byte_role::code},     {"{b {}}", 1, byte_role::code},
        {"{q {}}", 1, byte_role::literal}, {"{s}", 1, byte_role::literal},
    };
    // Over lines, a condition stays data: a newline in its brackets ends a command; so do
    // brackets where one does, but not where a backslash-newline continues the command.
    expect_roles("proc p {} {\n  if {$a > 1} {x} elseif {$b} {y}\n  while {$c} {z}\n"
                 "  for {set k 0} {$k < 3} {incr k} {w}\n  expr {$e * 2}\n  list {$f + 1}\n"
                 "  expr {$g} + 1\n  if {$h}\n  if {[catch \n$i]} {v}\n  set l [k -o\n    $j]\n  set l [k \\\n    $m]\n}\nproc r {a {b {}}} {\n}\nproc q {{q {}}\n  {s}} {}\n",
                 probes);
}

// Random scripts of commands that Tcl's compiler knows nothing of, so that the only parse
// errors it meets are the script's own; in two of three, one delimiter is then taken or one put in.
class script_maker {
public:
    // A plain maker uses no $ and no {*}, so that a script run with every command doing
    // nothing fails on nothing but its parse errors.
    explicit script_maker(std::uint32_t seed, bool plain = false) : rng_(seed), plain_(plain) {}

    std::string make()
    {
        std::string s;
        int commands = pick(1, 4);
        for (int i = 0; i < commands; ++i)
            command(s, 0);
        if (pick(0, 2) != 0)
            mutate(s);
        return s;
    }

private:
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    void command(std::string &s, int depth)
    {
        switch (pick(0, 5)) {
        case 0:
            s += "# c" + junk(depth) + "\n";
            return;
        case 1:
            s += "  ";
            break;
        default:
            break;
        }
        s += "cmd";
        int words = pick(0, 3);
        for (int i = 0; i < words; ++i) {
            s += pick(0, 5) == 0 ? " \\\n  " : " ";
            word(s, depth);
        }
        static const char *const ends[] = {"\n", ";", "; ", "\n\n", ";# e\n"};
        s += ends[pick(0, 4)];
    }

    void word(std::string &s, int depth)
    {
        switch (depth < 3 ? pick(0, 4) : pick(0, 1)) {
        case 0:
            s += bare();
            return;
        case 1:
            s += "{" + junk(depth) + "}";
            return;
        case 2:
            s += "\"" + bare() + " " + (pick(0, 1) ? bracket(depth) : bare()) + "\"";
            return;
        case 3:
            s += bracket(depth);
            return;
        default:
            s += (plain_ ? "" : "{*}") + bare();
            return;
        }
    }

    std::string bracket(int depth)
    {
        std::string s = "[";
        command(s, depth + 1);
        if (s.back() == '\n' || s.back() == ';')
            s.pop_back();
        return s + "]";
    }

    std::string bare()
    {
        static const char *const parts[] = {"a", "b1", "$v", "$a(x)", "$a($i)", "${v w}", "\\{", "\\}", "\\\"",
                                            "\\]", "\\[", "\\\\", "::x", "$::n::v", "x{y", "x\"y", "$", "#"};
        std::string s;
        int n = pick(1, 3);
        for (int i = 0; i < n;) {
            std::string_view part = parts[pick(0, static_cast<int>(std::size(parts)) - 1)];
            if (plain_ && part.find('$') != std::string_view::npos)
                continue;
            s += part;
            ++i;
        }
        return s;
    }

    // The inside of a braced word: anything, with its braces in pairs.
    std::string junk(int depth)
    {
        static const char *const parts[] = {"a", " ", "\n", "\"", "[", "]", "$x(", ")", "#", ";", "\\{", "\\\\",
                                            "\\\n", "\\\"", "b c"};
        std::string s;
        int n = pick(0, 5);
        for (int i = 0; i < n; ++i) {
            if (depth < 3 && pick(0, 4) == 0)
                s += "{" + junk(depth + 1) + "}";
            else if (std::string_view part = parts[pick(0, static_cast<int>(std::size(parts)) - 1)];
                     !plain_ || part.find('$') == std::string_view::npos)
                s += part;
        }
        return s;
    }

    void mutate(std::string &s)
    {
        const std::string delimiters = plain_ ? "{}[]\"()\\;#\n" : "{}[]\"()$\\;#\n";
        if (pick(0, 1) == 0) {
            std::vector<std::size_t> at;
            for (std::size_t i = 0; i < s.size(); ++i)
                if (delimiters.find(s[i]) != std::string::npos)
                    at.push_back(i);
            if (!at.empty())
                s.erase(at[static_cast<std::size_t>(pick(0, static_cast<int>(at.size()) - 1))], 1);
        } else {
            s.insert(static_cast<std::size_t>(pick(0, static_cast<int>(s.size()))), 1,
                     delimiters[static_cast<std::size_t>(pick(0, static_cast<int>(delimiters.size()) - 1))]);
        }
    }

    std::mt19937 rng_;
    bool plain_;
};

TEST(script_reading_oracle, AgreesWithTclOnGeneratedScripts)
{
    if (!have_tclsh())
        GTEST_SKIP() << "tclsh is not installed";
    script_maker maker(20261211);
    std::vector<std::string> texts;
    for (int i = 0; i < 4000; ++i)
        texts.push_back(maker.make());
    std::vector<tcl_verdict> tcl = ask_tcl(texts);
    int broken = 0, incomplete = 0, failures = 0;
    for (std::size_t i = 0; i < texts.size() && failures < 10; ++i) {
        reading_break b = read_script(texts[i]);
        broken += b ? 1 : 0;
        incomplete += tcl[i].complete ? 0 : 1;
        bool same = tcl[i].complete == complete(texts[i]) && same_error(tcl[i].error, b);
        EXPECT_TRUE(same) << ::testing::PrintToString(texts[i]) << "\ntclsh: complete " << tcl[i].complete << ", "
                          << tcl[i].error << "\nreader: complete " << complete(texts[i]) << ", " << message_of(b);
        failures += same ? 0 : 1;
        // The same script as a procedure's body breaks in the body, the same way.
        if (texts[i].find_first_of("{}\\") == std::string::npos) {
            std::string wrapped = "proc p {} {" + texts[i] + "}\n";
            EXPECT_EQ(read_where_run(wrapped).first.kind, b.kind) << wrapped;
        }
    }
    // The generator reaches both sides.
    EXPECT_GT(broken, 150);
    EXPECT_GT(incomplete, 100);
}

// Whether a braced word that holds the text and a newline ends at the brace after them: its
// braces pair up as Tcl counts them in a braced word, a backslash hiding the byte after it.
bool whole_body(const std::string &s)
{
    std::size_t depth = 1;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\')
            ++i;
        else if (s[i] == '{')
            ++depth;
        else if (s[i] == '}' && --depth == 0)
            return false;
    }
    return depth == 1;
}

// Scripts as bodies of each command that runs one, run by Tcl: where the reader says Tcl
// breaks, Tcl fails with that parse error as it runs the body; where it says not, Tcl meets no
// error at all. The scripts use no variable, so that a parse error is all they can fail on.
TEST(script_reading_oracle, BodiesBreakAsTclRunsThem)
{
    if (!have_tclsh())
        GTEST_SKIP() << "tclsh is not installed";
    static const char *const forms[][2] = {
        {"proc p {} {", "\n}\np\n"},
        {"namespace eval m {", "\n}\n"},
        {"set rc [catch {", "\n} r]\nif {$rc == 1} {error $r}\n"},
        {"eval {", "\n}\n"},
        {"uplevel #0 {", "\n}\n"},
        {"time {", "\n} 1\n"},
        {"set once 1\nwhile {$once} {set once 0\n", "\n}\n"},
        {"for {set k 0} {$k < 1} {incr k} {", "\n}\n"},
        {"for {", "\n} {0} {} {}\n"},
        {"foreach q {1} r {2} {", "\n}\n"},
        {"lmap q {1} {", "\n}\n"},
        {"if {1} {", "\n}\n"},
        {"if {0} {} elseif {1} then {", "\n}\n"},
        {"if {0} {} else {", "\n}\n"},
        {"if {0} {} {", "\n}\n"},
        {"try {", "\n} on ok {r o} {}\n"},
        {"try {} finally {", "\n}\n"},
        {"switch -- a {\n  a {", "\n}\n}\n"},
        {"switch -exact b a {} b {", "\n}\n"},
        {"dict for {k v} {a 1} {", "\n}\n"},
        {"set d {kk 1}\ndict with d {", "\n}\n"},
        {"oo::class create C {\n  method m {} {", "\n}\n}\n[C new] m\n"},
        {"oo::class create C {\n  constructor {} {", "\n}\n}\nC new\n"},
        {"oo::class create C\noo::define C method m {} {", "\n}\n[C new] m\n"},
    };
    std::vector<std::pair<std::string, std::string>> all;
    for (const auto &f : forms)
        all.emplace_back(f[0], f[1]);
    // The classes of tcllib's snit and of [incr Tcl], where they are installed.
    if (have_tcl_package("snit"))
        for (const auto &f : {std::pair<std::string, std::string>{"snit::type T {\n  method m {} {", "\n}\n}\n[T %AUTO%] m\n"},
                              {"snit::type T {\n  typeconstructor {", "\n}\n}\n"},
                              {"snit::type T {\n  proc p {} {", "\n}\n}\nT::p\n"},
                              {"snit::type T {}\nsnit::method T m {} {", "\n}\n[T %AUTO%] m\n"}})
            all.push_back(f);
    if (have_tcl_package("Itcl"))
        for (const auto &f : {std::pair<std::string, std::string>{"itcl::class C {\n  public method m {} {", "\n}\n}\n[C #auto] m\n"},
                              {"itcl::class C {\n  constructor {} {} {", "\n}\n}\nC #auto\n"},
                              {"itcl::class C {\n  method m {}\n}\nitcl::body C::m {} {", "\n}\n[C #auto] m\n"}})
            all.push_back(f);
    script_maker maker(1211, true);
    std::vector<std::string> texts;
    for (int i = 0; i < 3000; ++i) {
        std::string s = maker.make();
        if (!whole_body(s))
            continue;
        const auto &form = all[texts.size() % all.size()];
        texts.push_back(form.first + s + form.second);
    }
    std::vector<tcl_verdict> tcl = ask_tcl(texts, "run");
    int broken = 0, failures = 0;
    for (std::size_t i = 0; i < texts.size() && failures < 10; ++i) {
        reading_break b = read_where_run(texts[i]).first;
        bool same = b ? same_error(tcl[i].error, b) : tcl[i].error == "ok";
        broken += b ? 1 : 0;
        EXPECT_TRUE(same) << ::testing::PrintToString(texts[i]) << "\ntclsh: " << tcl[i].error
                          << "\nreader: " << message_of(b);
        failures += same ? 0 : 1;
    }
    EXPECT_GT(broken, 150);
}

// Tcl's own library, as installed with tclsh: every file reads clean, and with one delimiter
// taken out or put in, `info complete` agrees.
TEST(script_reading_oracle, AgreesWithTclOnItsOwnLibrary)
{
    if (!have_tclsh())
        GTEST_SKIP() << "tclsh is not installed";
    std::string library;
    ASSERT_TRUE(shell("echo 'puts [info library]' | tclsh", library));
    while (!library.empty() && library.back() == '\n')
        library.pop_back();
    std::vector<std::string> texts;
    for (const auto &e : std::filesystem::directory_iterator(library))
        if (e.path().extension() == ".tcl")
            texts.push_back(slurp(e.path().string()));
    if (texts.empty())
        GTEST_SKIP() << "no scripts in " << library;
    for (const std::string &t : texts)
        EXPECT_FALSE(read_where_run(t).first) << t.substr(0, 200);
    std::mt19937 rng(7);
    std::vector<std::string> mutated;
    for (const std::string &t : texts)
        for (int k = 0; k < 20 && !t.empty(); ++k) {
            std::string m = t;
            std::size_t at = std::uniform_int_distribution<std::size_t>(0, m.size() - 1)(rng);
            std::size_t d = m.find_first_of("{}[]\"", at);
            if (d == std::string::npos)
                continue;
            if (k % 2 == 0)
                m.erase(d, 1);
            else
                m.insert(d, 1, "{}[]\""[k % 5]);
            mutated.push_back(std::move(m));
        }
    std::vector<tcl_verdict> tcl = ask_tcl(mutated);
    for (std::size_t i = 0; i < mutated.size(); ++i)
        EXPECT_EQ(complete(mutated[i]), tcl[i].complete) << "case " << i;
}

} // namespace
