// A repair as lines: the lines its edits change, the input they make, and the unified diff
// that patch applies; edits that do not fit the input are refused, not guessed at.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "format/output.h"
#include "format/repair_text.h"
#include "harness.h"

namespace {

using namespace delimcheck::format;
using delimcheck::repair;
using delimcheck::text_edit;

struct repair_case {
    const char *name;
    std::string before;
    std::vector<text_edit> edits;
    std::string after;
    std::string diff; // of a file named f
};

std::string twenty_lines()
{
    std::string s;
    for (int i = 1; i <= 20; ++i)
        s += "l" + std::to_string(i) + "\n";
    return s;
}

const std::vector<repair_case> repair_cases = {
    {"insert_a_line", "a\nb\nc\nd\ne\n", {{{3, 1}, {3, 1}, "}\n"}}, "a\nb\n}\nc\nd\ne\n",
     "--- f\n+++ f\n@@ -1,5 +1,6 @@\n a\n b\n+}\n c\n d\n e\n"},
    {"replace_a_byte", "if {\n  x ]\n}\n", {{{2, 5}, {2, 6}, ")"}}, "if {\n  x )\n}\n",
     "--- f\n+++ f\n@@ -1,3 +1,3 @@\n if {\n-  x ]\n+  x )\n }\n"},
    {"delete_a_line", "a\n}\nb\n", {{{2, 1}, {3, 1}, ""}}, "a\nb\n", "--- f\n+++ f\n@@ -1,3 +1,2 @@\n a\n-}\n b\n"},
    {"after_the_last_line", "a {\n  b\n", {{{3, 1}, {3, 1}, "}\n"}}, "a {\n  b\n}\n",
     "--- f\n+++ f\n@@ -1,2 +1,3 @@\n a {\n   b\n+}\n"},
    // The bytes say it: an insertion at the end of a last line without a newline joins it.
    {"after_a_last_line_without_newline", "a {\n  b", {{{3, 1}, {3, 1}, "\n}\n"}}, "a {\n  b\n}\n",
     "--- f\n+++ f\n@@ -1,2 +1,3 @@\n a {\n-  b\n\\ No newline at end of file\n+  b\n+}\n"},
    {"remove_the_last_newline", "a\nb\n", {{{2, 2}, {3, 1}, ""}}, "a\nb",
     "--- f\n+++ f\n@@ -1,2 +1,2 @@\n a\n-b\n+b\n\\ No newline at end of file\n"},
    {"into_an_empty_input", "", {{{1, 1}, {1, 1}, "}\n"}}, "}\n", "--- f\n+++ f\n@@ -0,0 +1,1 @@\n+}\n"},
    {"edits_far_apart_make_two_hunks", twenty_lines(), {{{2, 1}, {2, 1}, "{\n"}, {{18, 4}, {18, 4}, "}"}},
     "l1\n{\nl2\nl3\nl4\nl5\nl6\nl7\nl8\nl9\nl10\nl11\nl12\nl13\nl14\nl15\nl16\nl17\nl18}\nl19\nl20\n",
     "--- f\n+++ f\n@@ -1,4 +1,5 @@\n l1\n+{\n l2\n l3\n l4\n"
     "@@ -15,6 +16,6 @@\n l15\n l16\n l17\n-l18\n+l18}\n l19\n l20\n"},
    {"edits_near_make_one_hunk", twenty_lines(), {{{5, 1}, {5, 1}, "{\n"}, {{10, 1}, {11, 1}, ""}},
     "l1\nl2\nl3\nl4\n{\nl5\nl6\nl7\nl8\nl9\nl11\nl12\nl13\nl14\nl15\nl16\nl17\nl18\nl19\nl20\n",
     "--- f\n+++ f\n@@ -2,12 +2,12 @@\n l2\n l3\n l4\n+{\n l5\n l6\n l7\n l8\n l9\n-l10\n l11\n l12\n l13\n"},
    {"two_edits_on_one_line", "x ( y ]\n", {{{1, 3}, {1, 4}, "["}, {{1, 8}, {1, 8}, " ;"}}, "x [ y ] ;\n",
     "--- f\n+++ f\n@@ -1,1 +1,1 @@\n-x ( y ]\n+x [ y ] ;\n"},
    {"an_edit_that_changes_nothing", "a\n", {{{1, 1}, {1, 2}, "a"}}, "a\n", ""},
};

void PrintTo(const repair_case &c, std::ostream *os) { *os << c.name; }

class RepairText : public ::testing::TestWithParam<repair_case> {};

TEST_P(RepairText, ChangesAfterAndDiff)
{
    const repair_case &c = GetParam();
    text_lines input(c.before);
    std::vector<line_change> changes;
    ASSERT_TRUE(line_changes(input, repair{"", c.edits}, changes));
    std::string after;
    ASSERT_TRUE(apply_changes(input, changes, after));
    EXPECT_EQ(after, c.after);
    std::string diff;
    string_destination dest(diff);
    output out(dest);
    unified_diff(out, "f", input, changes);
    out.flush();
    EXPECT_EQ(diff, c.diff);
}

INSTANTIATE_TEST_SUITE_P(Cases, RepairText, ::testing::ValuesIn(repair_cases),
                         [](const ::testing::TestParamInfo<repair_case> &i) { return std::string(i.param.name); });

// Places the input does not have, and edits that cross or go backwards.
TEST(RepairText, EditsThatDoNotFitAreRefused)
{
    const std::string input = "ab\ncd\n";
    const std::vector<std::vector<text_edit>> cases = {
        {{{1, 5}, {1, 5}, "x"}},                           // past the end of line 1 and its newline
        {{{4, 1}, {4, 1}, "x"}},                           // two lines past the last
        {{{3, 2}, {3, 2}, "x"}},                           // after the last line, not at column 1
        {{{0, 1}, {1, 1}, "x"}},                           // line 0
        {{{1, 0}, {1, 1}, "x"}},                           // column 0
        {{{2, 2}, {1, 1}, ""}},                            // an end before its start
        {{{2, 1}, {2, 2}, "x"}, {{1, 1}, {1, 2}, "y"}},    // out of order
        {{{1, 1}, {2, 2}, "x"}, {{2, 1}, {2, 3}, "y"}},    // overlapping
        {{{1, 2}, {1, 2}, "x"}, {{30, 1}, {30, 1}, "y"}},  // the second one far past the end
    };
    for (const std::vector<text_edit> &edits : cases) {
        text_lines lines(input);
        std::vector<line_change> changes;
        EXPECT_FALSE(line_changes(lines, repair{"", edits}, changes))
            << edits.front().from.line << ':' << edits.front().from.column;
    }
}

// What patch makes of a unified diff of one file, as plainly as it can be said: the lines
// before each hunk copied, the hunk's context and added lines taken, its removed lines
// skipped, and a line marked as without a newline stripped of it.
std::string patched(const std::string &old, const std::string &diff)
{
    std::vector<std::string> old_lines;
    for (std::size_t i = 0; i < old.size();) {
        std::size_t end = std::min(old.find('\n', i), old.size() - 1) + 1;
        old_lines.push_back(old.substr(i, end - i));
        i = end;
    }
    std::string result;
    std::size_t next = 0;
    char last = 0;
    bool old_ended = false, new_ended = false; // a line without a newline ends its side
    std::istringstream in(diff);
    std::string line;
    std::getline(in, line); // ---
    std::getline(in, line); // +++
    while (std::getline(in, line)) {
        if (line.starts_with("@@ -")) {
            std::size_t start = std::stoul(line.substr(4)), comma = line.find(',');
            std::size_t count = std::stoul(line.substr(comma + 1));
            for (std::size_t first = count == 0 ? start : start - 1; next < first && next < old_lines.size(); ++next)
                result += old_lines[next];
        } else if (line.starts_with("\\")) {
            old_ended |= last != '+';
            new_ended |= last != '-';
            if (last != '-' && !result.empty() && result.back() == '\n')
                result.pop_back();
        } else {
            last = line[0];
            if ((last != '+' && old_ended) || (last != '-' && new_ended))
                return "a line after the last one of its side";
            if (last != '-')
                result += line.substr(1) + "\n";
            if (last != '+')
                ++next;
        }
    }
    for (; next < old_lines.size(); ++next)
        result += old_lines[next];
    return result;
}

// Random texts and random edits in order, made by line and by byte: the two must agree, and so
// must what the diff of the changes makes of the text.
TEST(RepairText, LinesAgreeWithBytes)
{
    std::mt19937 random(20261210);
    auto below = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const std::string pieces[] = {"", "a", "{", "}", " ", "\n", "\n", "set x 1\n", "\t"};
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (std::size_t n = below(12); n > 0; --n)
            text += pieces[below(std::size(pieces))];
        std::vector<std::size_t> starts{0};
        for (std::size_t i = 0; i < text.size(); ++i)
            if (text[i] == '\n')
                starts.push_back(i + 1);
        if (starts.back() == text.size() && starts.size() > 1)
            starts.pop_back(); // the line after a last newline is no line
        const bool end_on_next_line = random() % 2 == 0;
        auto place = [&](std::size_t offset) {
            std::size_t line = static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), offset) -
                                                        starts.begin());
            // The end of the input is the line after the last one; when that line has no
            // newline, the end of that line too (one of the two in a round, so that no edit ends
            // before it starts).
            if (offset == text.size() && !text.empty() && (text.back() == '\n' || end_on_next_line))
                return delimcheck::position{static_cast<std::int64_t>(starts.size()) + 1, 1};
            return delimcheck::position{static_cast<std::int64_t>(line),
                                        static_cast<std::int64_t>(offset - starts[line - 1]) + 1};
        };
        std::vector<std::size_t> cuts;
        for (std::size_t n = 2 * (1 + below(3)); n > 0; --n)
            cuts.push_back(below(text.size() + 1));
        std::sort(cuts.begin(), cuts.end());
        repair r;
        std::string expected;
        std::size_t done = 0;
        for (std::size_t i = 0; i + 1 < cuts.size(); i += 2) {
            std::string insert = pieces[below(std::size(pieces))];
            r.edits.push_back({place(cuts[i]), place(cuts[i + 1]), insert});
            expected += text.substr(done, cuts[i] - done) + insert;
            done = cuts[i + 1];
        }
        expected += text.substr(done);
        text_lines input(text);
        std::vector<line_change> changes;
        ASSERT_TRUE(line_changes(input, r, changes)) << round;
        std::string after;
        ASSERT_TRUE(apply_changes(input, changes, after));
        ASSERT_EQ(after, expected) << "round " << round << ": " << text;
        std::string diff;
        string_destination dest(diff);
        output out(dest);
        unified_diff(out, "f", input, changes);
        out.flush();
        EXPECT_EQ(diff.empty(), after == text) << round;
        if (!diff.empty()) {
            ASSERT_EQ(patched(text, diff), expected) << "round " << round << ":\n" << diff;
        }
    }
}

// patch reads a name up to a blank, unless it is quoted with C escapes.
TEST(RepairText, DiffHeadersQuoteNamesThatNeedIt)
{
    const struct {
        const char *name, *header;
    } cases[] = {
        {"dir/plain-name_1.tcl", "dir/plain-name_1.tcl"},
        {"a b.tcl", "\"a b.tcl\""},
        {"q\"t\\u.tcl", "\"q\\\"t\\\\u.tcl\""},
        {"tab\tnl\n\x01\xc3\xa9", "\"tab\\tnl\\n\\001\\303\\251\""},
    };
    for (const auto &c : cases) {
        text_lines input("a\n");
        std::vector<line_change> changes{{1, {"a\n"}, {"b\n"}}};
        std::string diff;
        string_destination dest(diff);
        output out(dest);
        unified_diff(out, c.name, input, changes);
        out.flush();
        EXPECT_EQ(diff, std::string("--- ") + c.header + "\n+++ " + c.header + "\n@@ -1,1 +1,1 @@\n-a\n+b\n") << c.name;
    }
}

// An unsafe repair's diff says so in its first header line, and patch itself applies it as
// it applies any other: with plain and quoted names, in one file of several.
TEST(RepairText, UnsafeMarkKeepsTheDiffWhatPatchApplies)
{
    const struct {
        const char *name;
        bool unsafe;
    } files[] = {{"plain.tcl", true}, {"a b.tcl", true}, {"q\"t.tcl", false}};
    temp_dir dir;
    const std::string before = "proc p {} {\n  x\n", after = "proc p {} {\n  x\n}\n";
    std::string diffs;
    for (const auto &f : files) {
        dir.write(f.name, before);
        text_lines input(before);
        std::vector<line_change> changes;
        ASSERT_TRUE(line_changes(input, repair{"", {{{3, 1}, {3, 1}, "}\n"}}}, changes));
        std::string diff;
        string_destination dest(diff);
        output out(dest);
        unified_diff(out, f.name, input, changes, f.unsafe);
        out.flush();
        std::string first = diff.substr(0, diff.find('\n'));
        EXPECT_EQ(first.ends_with("\tunsafe"), f.unsafe) << first;
        EXPECT_EQ(diff.substr(diff.find('\n') + 1).find("unsafe"), std::string::npos) << "only the first line";
        diffs += diff;
    }
    dir.write("all.diff", diffs);
    std::string command = "cd '" + dir.path + "' && command -v patch >/dev/null && patch -p0 --batch < all.diff";
    int status = std::system(command.c_str());
    if (WIFEXITED(status) && WEXITSTATUS(status) == 1 && std::system("command -v patch >/dev/null") != 0)
        GTEST_SKIP() << "patch is not installed";
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << diffs;
    for (const auto &f : files)
        EXPECT_EQ(slurp(dir.path + "/" + f.name), after) << f.name;
}

TEST(TextLines, LinesInAnyOrder)
{
    text_lines lines("one\ntwo\n\nlast");
    std::string text;
    for (auto [n, expected] : std::vector<std::pair<int, const char *>>{
             {2, "two\n"}, {4, "last"}, {1, "one\n"}, {3, "\n"}, {2, "two\n"}})
        EXPECT_TRUE(lines.line(n, text) && text == expected) << n;
    EXPECT_FALSE(lines.line(5, text));
    EXPECT_FALSE(lines.line(0, text));
    EXPECT_FALSE(text_lines("").line(1, text));
    EXPECT_FALSE(text_lines("a\n").line(2, text));
}

} // namespace
