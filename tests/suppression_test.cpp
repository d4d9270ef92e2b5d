// Directives and selection between the checker and a format: what each marks, and what it must
// leave alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "check/suppression.h"
#include "delimcheck/checker.h"

namespace {

using namespace delimcheck;
using checking::code_bit;
using checking::selection;

// Each finding as "line:code", with " (in source)" or " (external)" when it is suppressed.
std::vector<std::string> run(const std::string &script, const selection &s = {}, checking::code_set here = 0,
                             std::size_t piece = 3)
{
    collecting_sink got;
    checking::suppressing_sink filter(got);
    filter.begin_input(s, here, [&](checking::directive_reader &r) {
        // In small pieces: a directive split between reads must still be read.
        for (std::size_t i = 0; i < script.size(); i += piece)
            r.feed(std::string_view(script).substr(i, piece));
    });
    checker c(options{}, filter);
    c.check(script);
    filter.end_input();
    std::vector<std::string> lines;
    for (const diagnostic &d : got.diagnostics) {
        std::string l = std::to_string(d.at.line) + ":" + std::string(code(d.kind));
        if (d.suppressed == suppression::in_source)
            l += " (in source)";
        else if (d.suppressed == suppression::external)
            l += " (external)";
        lines.push_back(l);
    }
    return lines;
}

using findings = std::vector<std::string>;

struct directive_case {
    const char *name;
    std::string script;
    findings expected;
};

TEST(Directives, CoverTheirLines)
{
    const directive_case cases[] = {
        {"none", "set a ]\n", {"1:unmatched-closer"}},
        {"own line covers the next", "# delimcheck: ignore\nset a ]\nset b ]\n",
         {"2:unmatched-closer (in source)", "3:unmatched-closer"}},
        {"after ;# covers its own line", "set a ] ;# delimcheck: ignore\nset b ]\n",
         {"1:unmatched-closer (in source)", "2:unmatched-closer"}},
        {"with no blank after ;", "set a ];#delimcheck:ignore\n", {"1:unmatched-closer (in source)"}},
        {"named code only", "# delimcheck: ignore=extra-after-string\nset a ]\n", {"2:unmatched-closer"}},
        {"one of two codes", "# delimcheck: ignore=wrong-closer, unmatched-closer\nset a ]\n",
         {"2:unmatched-closer (in source)"}},
        {"a reason after --", "# delimcheck: ignore=unmatched-closer -- Tcl keeps it\nset a ]\n",
         {"2:unmatched-closer (in source)"}},
        {"whole file from the top", "#!/usr/bin/tclsh\n# delimcheck: ignore-file=unmatched-closer\n\nset a ]\n"
                                    "puts \"x\"y\nset b ]\n",
         {"4:unmatched-closer (in source)", "5:extra-after-string", "6:unmatched-closer (in source)"}},
        {"whole file after a command is malformed", "set x 1\n# delimcheck: ignore-file\nset a ]\n",
         {"3:unmatched-closer", "2:bad-directive"}},
        {"a missing closer at its opener's line", "# delimcheck: ignore=missing-closer\nproc p {} {\nset a 1\n",
         {"3:missing-closer (in source)"}},
        {"a missing closer at the end", "proc p {} {\nset a 1 ;# delimcheck: ignore\n",
         {"2:missing-closer (in source)"}},
        {"a directive in a string is no comment", "puts \"# delimcheck: ignore\"\nset a ]\n", {"2:unmatched-closer"}},
        {"marker in a word is no directive", "set a ] ;# see delimcheck:ignore\n",
         {"1:unmatched-closer"}},
        {"brackets make it malformed", "# delimcheck: ignore[wrong-closer]\nset a ]\n",
         {"2:unmatched-closer", "1:bad-directive"}},
        {"an unknown code is malformed", "# delimcheck: ignore=no-such-code\nset a ]\n",
         {"2:unmatched-closer", "1:bad-directive"}},
        {"an unknown verb is malformed", "# delimcheck: disable\nset a ]\n", {"2:unmatched-closer", "1:bad-directive"}},
        {"codes without = are malformed", "# delimcheck: ignore unmatched-closer\nset a ]\n",
         {"2:unmatched-closer", "1:bad-directive"}},
        {"CRLF line ends", "# delimcheck: ignore\r\nset a ]\r\n", {"2:unmatched-closer (in source)"}},
    };
    for (const directive_case &c : cases) {
        EXPECT_EQ(run(c.script), c.expected) << c.name;
        EXPECT_EQ(run(c.script, {}, 0, 1 << 20), c.expected) << c.name << ", read at once";
    }
}

TEST(Directives, UnusedOnesReportedOnlyWhenAsked)
{
    const std::string script = "# delimcheck: ignore\nset a 1\n# delimcheck: ignore\nset b ]\n";
    EXPECT_EQ(run(script), findings({"4:unmatched-closer (in source)"}));
    selection s;
    s.report_unused_directives = true;
    EXPECT_EQ(run(script, s), findings({"4:unmatched-closer (in source)", "1:unused-directive"}));
    // A clean input is read for its directives only when unused ones are asked for.
    EXPECT_EQ(run("# delimcheck: ignore\nset a 1\n", s), findings({"1:unused-directive"}));
    EXPECT_EQ(run("# delimcheck: bogus\nset a 1\n"), findings({}));
}

TEST(Selection, MarksWhatTheSettingsLeaveOut)
{
    const std::string script = "set a ]\nputs \"x\"y\nproc p {\n";
    struct row {
        const char *name;
        selection s;
        checking::code_set here;
        findings expected;
    };
    selection only_missing;
    only_missing.selected = code_bit(diagnostic_kind::missing_closer);
    selection ignore_extra;
    ignore_extra.ignored = code_bit(diagnostic_kind::extra_after_string);
    selection errors;
    errors.threshold = severity::error;
    const row rows[] = {
        {"all", {}, 0, {"1:unmatched-closer", "2:extra-after-string", "3:missing-closer"}},
        {"select", only_missing, 0,
         {"1:unmatched-closer (external)", "2:extra-after-string (external)", "3:missing-closer"}},
        {"ignore", ignore_extra, 0, {"1:unmatched-closer", "2:extra-after-string (external)", "3:missing-closer"}},
        {"severity", errors, 0, {"1:unmatched-closer", "2:extra-after-string (external)", "3:missing-closer"}},
        {"per file", {}, code_bit(diagnostic_kind::unmatched_closer),
         {"1:unmatched-closer (external)", "2:extra-after-string", "3:missing-closer"}},
    };
    for (const row &r : rows)
        EXPECT_EQ(run(script, r.s, r.here), r.expected) << r.name;
}

TEST(Selection, CodeLists)
{
    struct row {
        const char *text;
        bool ok;
        checking::code_set set;
        const char *bad;
    };
    const row rows[] = {
        {"wrong-closer", true, code_bit(diagnostic_kind::wrong_closer), ""},
        {" wrong-closer , missing-closer ", true,
         code_bit(diagnostic_kind::wrong_closer) | code_bit(diagnostic_kind::missing_closer), ""},
        {"wrong-closer,", false, 0, ""},
        {"", false, 0, ""},
        {"wrong-closer,WRONG", false, 0, "WRONG"},
    };
    for (const row &r : rows) {
        checking::code_set set = 0;
        std::string bad;
        EXPECT_EQ(checking::parse_codes(r.text, set, bad), r.ok) << r.text;
        EXPECT_EQ(set, r.set) << r.text;
        EXPECT_EQ(bad, r.bad) << r.text;
    }
    EXPECT_EQ(checking::code_list(code_bit(diagnostic_kind::missing_closer) | code_bit(diagnostic_kind::wrong_closer)),
              "wrong-closer,missing-closer");
}

} // namespace

namespace {

// The marker search compares vectors of bytes: a marker astride two of them, at the very end of
// the bytes, or behind near misses that pass its first and last byte must still be found first.
TEST(Directives, MarkerFoundWhereverItStands)
{
    const std::string marker = "delimcheck:";
    struct filler {
        const char *name;
        std::string bytes;
    };
    const std::vector<filler> fillers = {
        {"plain", std::string(300, 'x')},
        // Each near miss starts with 'd' and has ':' ten bytes on, as the marker does.
        {"near misses", [] {
             std::string s;
             while (s.size() < 300)
                 s += "delimcheckx:delimcheck;:dxxxxxxxxx:deli:check:";
             return s;
         }()},
        {"marker less its last byte", [] {
             std::string s;
             while (s.size() < 300)
                 s += "delimcheck ";
             return s;
         }()},
    };
    for (simd_level level : {simd_level::scalar, simd_level::sse2, simd_level::avx2, simd_level::best})
        for (const filler &f : fillers)
            for (std::size_t size : {0, 5, 10, 11, 12, 63, 64, 74, 75, 127, 128, 140, 200, 300}) {
                const std::string base = f.bytes.substr(0, size);
                EXPECT_EQ(checking::find_marker(base, level), base.find(marker))
                    << f.name << ", " << size << " bytes, none added, level " << static_cast<int>(level);
                for (std::size_t at = 0; at <= size; ++at) {
                    std::string s = base;
                    s.insert(at, marker);
                    // The second copy is never the one found.
                    s += marker;
                    ASSERT_EQ(checking::find_marker(s, level), s.find(marker))
                        << f.name << ", " << size << " bytes, marker at " << at << ", level "
                        << static_cast<int>(level);
                }
            }
}

} // namespace
