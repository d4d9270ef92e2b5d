// Which repairs are safe to write unasked: those the search is sure of that mend code Tcl
// itself cannot read or run, where it breaks, and nothing else. The repairs here are made by
// hand and marked sure, so that only the judgement of Tcl's reading is tested.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>

#include "check/repair_safety.h"
#include "delimcheck/checker.h"
#include "harness.h"
#include "scan/byte_source.h"

namespace {

using namespace delimcheck;

struct safety_case {
    const char *why;
    const char *input;
    text_edit edit;
    bool safe;
};

const safety_case safety_cases[] = {
    {"a lost } of a procedure", "proc p {} {\n  if {$x} {\n    y\n}\nproc q {} {\n  z\n}\n",
     {{4, 1}, {4, 1}, "  }\n"}, true},
    {"a lost ] in a procedure's body", "proc p {} {\n  set a [list b\n}\n", {{2, 16}, {2, 16}, "]"}, true},
    {"a lost ] in a body in a body", "proc p {} {\n  foreach x $l {\n    set a [list $x\n  }\n}\n",
     {{3, 19}, {3, 19}, "]"}, true},
    {"extra characters after a close-brace", "if {$x} {puts a}}\n", {{1, 17}, {1, 18}, ""}, true},
    {"extra characters after a close-quote", "puts \"a\"\"\n", {{1, 9}, {1, 10}, ""}, true},
    {"a lost quote", "puts \"a b\nputs c\n", {{1, 10}, {1, 10}, "\""}, true},
    {"a lost } at the end without a newline", "proc p {} {\n  x", {{2, 4}, {2, 4}, "\n}"}, true},
    // Tcl reads these fine: the rules' report is not Tcl's.
    {"a stray } read as a word", "puts a }\n", {{1, 8}, {1, 9}, ""}, false},
    {"a ] lost in data", "set doc {\n  set a [list b\n}\n", {{2, 16}, {2, 16}, "]"}, false},
    {"a quote in a string map", "string map {{\"\"} {\"}} $s\n", {{1, 19}, {1, 19}, "\""}, false},
    {"a quote in a comment", "# don't \"quote\nputs a\n", {{1, 9}, {1, 9}, "\""}, false},
    {"a body of a command not known to run it", "after idle {\n  set b [c\n}\n", {{2, 11}, {2, 11}, "]"}, false},
    {"a lost ] in a body of switch", "switch $x {\n  a {set b [c}\n}\n", {{2, 14}, {2, 14}, "]"}, true},
    // Tcl breaks, but the edit is not where, or leaves a break, or lands in a comment.
    {"an edit before the break", "# note\nlist {b\n", {{1, 7}, {1, 7}, " \\"}, false},
    {"a break left after the edit", "proc p {} {\n  set a [b\n}\nproc q {} {\n  set c [d\n}\n",
     {{2, 11}, {2, 11}, "]"}, false},
    {"a brace put into a comment", "proc p {} {\n  # {\n  x\n}\n", {{2, 6}, {2, 6}, "}"}, false},
    {"a brace put into data", "proc p {} {\n  set a {{b}\n  x\n}\n", {{2, 12}, {2, 12}, "}"}, false},
    {"a break after a ^Z, where source stops", "puts a\n\x1aproc p {} {\n", {{2, 12}, {2, 12}, "}"}, false},
    {"a break before a ^Z", "proc p {} {\n\x1a}\n", {{2, 1}, {2, 1}, "}\n"}, true},
    {"an edit outside the input", "proc p {} {\n", {{9, 1}, {9, 1}, "}"}, false},
    // Tcl reads the result, but refuses to run what the edit leaves.
    {"an if left without its body", "proc p {} {\n  if {$x} {\n    y\n}\n", {{2, 11}, {2, 12}, ""}, false},
    {"a proc left without its body", "proc p {a {b} {\n  y\n}\n", {{1, 14}, {1, 15}, ""}, false},
    // A condition on one line is code; over lines, a newline in its brackets ends a command.
    {"a { put into a condition", "proc p {} {\n  if {[se{t a 1]} {\n    y\n  }\n}\n", {{2, 10}, {2, 11}, ""}, true},
    {"a condition over lines", "proc p {} {\n  if {[catch {\n    y\n  ]} {\n    z\n  }\n}\n",
     {{2, 14}, {2, 15}, ""}, false},
};

class repair_safety : public ::testing::TestWithParam<safety_case> {};

TEST_P(repair_safety, IsSafeOnlyWhereTclBreaksAndTheEditMendsIt)
{
    const safety_case &c = GetParam();
    repair fix{"", {c.edit}, true};
    EXPECT_EQ(checking::repair_is_safe(c.input, fix), c.safe) << c.why;
    // Never safe unless sure.
    fix.sure = false;
    EXPECT_FALSE(checking::repair_is_safe(c.input, fix)) << c.why;
    // Read from a source, as the checker does.
    fix.sure = true;
    scan::memory_source src(c.input);
    EXPECT_EQ(checking::repair_is_safe(src, fix), c.safe) << c.why;
}

INSTANTIATE_TEST_SUITE_P(table, repair_safety, ::testing::ValuesIn(safety_cases),
                         [](const ::testing::TestParamInfo<safety_case> &i) { return case_name(i.param.why); });

// The scripts installed with Tcl and its packages are valid: whatever the search's certainty,
// no repair of one is safe. The scripts are found where tclsh looks for packages.
TEST(repair_safety, NoRepairOfAnInstalledScriptIsSafe)
{
    FILE *p = popen("echo 'foreach d [concat [list [info library]] $auto_path] {puts $d}' | tclsh 2>/dev/null", "r");
    std::string dirs;
    if (p != nullptr) {
        char buf[4096];
        for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
            dirs.append(buf, n);
        pclose(p);
    }
    std::set<std::string> files;
    std::istringstream lines(dirs);
    for (std::string dir; std::getline(lines, dir);) {
        std::error_code ec;
        if (dir.find("/tcltk") == std::string::npos || !std::filesystem::is_directory(dir, ec))
            continue;
        for (auto it = std::filesystem::recursive_directory_iterator(dir, ec);
             !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
            if (it->path().extension() == ".tcl" && it->is_regular_file(ec))
                files.insert(std::filesystem::canonical(it->path(), ec).string());
    }
    if (files.empty())
        GTEST_SKIP() << "no Tcl scripts installed where tclsh looks";
    options o;
    o.hints = true;
    int repaired = 0;
    for (const std::string &f : files) {
        std::string text = slurp(f);
        for (const diagnostic &d : check(text, o)) {
            if (d.fix.empty())
                continue;
            ++repaired;
            repair sure = d.fix;
            sure.sure = true;
            EXPECT_FALSE(checking::repair_is_safe(text, sure)) << f << ": " << d.fix.description;
        }
    }
    RecordProperty("scripts", static_cast<int>(files.size()));
    RecordProperty("repaired", repaired);
}

TEST(repair_safety, NoEditIsNeverSafe)
{
    repair none;
    none.sure = true;
    EXPECT_FALSE(checking::repair_is_safe("proc p {} {\n", none));
}

} // namespace
