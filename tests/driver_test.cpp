// Options, headers, the operand walk and the inputs that cannot be read, through the binary.
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "harness.h"

namespace {

struct driver_fixture : ::testing::Test {
    temp_dir dir;
    process_result run(const std::vector<std::string> &args, const std::string &input = "")
    {
        return run_binary(args, input, dir.path);
    }
};

using Driver = driver_fixture;

TEST_F(Driver, StandardInputHasNoHeader)
{
    process_result r = run({}, "}\n");
    EXPECT_EQ(r.out, "Unmatching } : line 1 char 1\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST_F(Driver, QuietMakesNoDifferenceOnStandardInput)
{
    EXPECT_EQ(run({"-q"}, "}\n").out, "Unmatching } : line 1 char 1\n");
}

TEST_F(Driver, CleanFileGetsItsHeaderUnlessQuiet)
{
    dir.write("clean", "{ a }\n");
    EXPECT_EQ(run({"clean"}).out, "File clean:\n");
    EXPECT_EQ(run({"-q", "clean"}).out, "");
}

TEST_F(Driver, HeaderOncePerFileBeforeItsReports)
{
    dir.write("bad", "}\n{\n");
    std::string expected = "File bad:\nUnmatching } : line 1 char 1\n} missing, opened on line 2 char 1\n";
    EXPECT_EQ(run({"bad"}).out, expected);
    EXPECT_EQ(run({"-q", "bad"}).out, expected);
}

TEST_F(Driver, MissingFileThenGoodFile)
{
    dir.write("b", "]\n");
    EXPECT_EQ(run({"a", "b"}).out, "File a:\nCannot be accessed!!\nFile b:\nUnmatching ] : line 1 char 1\n");
    EXPECT_EQ(run({"-q", "a", "b"}).out, "File a:\nCannot be accessed!!\nFile b:\nUnmatching ] : line 1 char 1\n");
    dir.write("c", "ok\n");
    EXPECT_EQ(run({"-q", "a", "c"}).out, "File a:\nCannot be accessed!!\n");
    EXPECT_EQ(run({"a", "c"}).status, 0);
}

TEST_F(Driver, DirectoryCannotBeAccessed)
{
    mkdir((dir.path + "/sub").c_str(), 0755);
    EXPECT_EQ(run({"sub"}).out, "File sub:\nCannot be accessed!!\n");
    EXPECT_EQ(run({"-q", "sub"}).out, "File sub:\nCannot be accessed!!\n");
}

TEST_F(Driver, SameOperandTwice)
{
    dir.write("f", "{\n");
    std::string once = "File f:\n} missing, opened on line 1 char 1\n";
    EXPECT_EQ(run({"f", "f"}).out, once + once);
}

TEST_F(Driver, OptionsStopAtFirstOperand)
{
    dir.write("f", "(\n");
    dir.write("-s", "{\n");
    std::string dash_s = "File -s:\n} missing, opened on line 1 char 1\n";
    EXPECT_EQ(run({"f", "-s"}).out, "File f:\n" + dash_s);
    EXPECT_EQ(run({"--", "-s"}).out, dash_s);
}

TEST_F(Driver, LoneDashNamesAFile)
{
    EXPECT_EQ(run({"-"}, "}\n").out, "File -:\nCannot be accessed!!\n");
    dir.write("-", "}\n");
    EXPECT_EQ(run({"-"}, "").out, "File -:\nUnmatching } : line 1 char 1\n");
}

TEST_F(Driver, OptionsAfterOperandAreNotOptions)
{
    dir.write("f", "{\n}\n");
    // Without the POSIX stop at the first operand, -s would list the lines of f.
    process_result r = run({"f", "-s"});
    EXPECT_EQ(r.out, "File f:\nFile -s:\nCannot be accessed!!\n");
}

TEST_F(Driver, UnknownLetterIsIgnored)
{
    std::string input = "{ (\n}\n";
    process_result plain = run({"-s"}, input);
    process_result stray = run({"-xs"}, input);
    EXPECT_EQ(stray.out, plain.out);
    EXPECT_NE(stray.err, "");
    EXPECT_EQ(stray.err.find('\n'), stray.err.size() - 1) << "one diagnostic line";
    EXPECT_EQ(stray.status, 0);
}

TEST_F(Driver, ListingOptionsImplyTheOnesBelow)
{
    std::string input = "{\n  {\n    ( [\n  }\n}{\n    \"a\n\" ]\n";
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> same = {
        {{"-j"}, {"-jlms"}}, {{"-j"}, {"-s", "-l", "-j"}}, {{"-s", "-m"}, {"-m"}},
        {{"-ml"}, {"-l"}},   {{"-l", "-l"}, {"-l"}},       {{"-mm"}, {"-sm"}},
    };
    for (const auto &[a, b] : same)
        EXPECT_EQ(run(a, input).out, run(b, input).out) << a[0] << " vs " << b[0];
}

TEST_F(Driver, WarningsNeverBringOutTheHeader)
{
    dir.write("w", "a\\ \n}\n");
    EXPECT_EQ(run({"-qe", "w"}).out,
              "\\ followed by blank space at the end of line 1.\nFile w:\nUnmatching } : line 2 char 1\n");
    dir.write("x", "\"a\"b\n");
    EXPECT_EQ(run({"-q", "x"}).out, "Extra characters after string : line 1 char 3\n");
    EXPECT_EQ(run({"x"}).out, "File x:\nExtra characters after string : line 1 char 3\n");
}

TEST_F(Driver, EmptyFile)
{
    dir.write("empty", "");
    EXPECT_EQ(run({"empty"}).out, "File empty:\n");
    EXPECT_EQ(run({"-q", "empty"}).out, "");
}

TEST_F(Driver, OperandNamesWithSpacesAndHighBytes)
{
    dir.write("with space", "}\n");
    dir.write("caf\xc3\xa9\xff", "}\n");
    EXPECT_EQ(run({"with space"}).out, "File with space:\nUnmatching } : line 1 char 1\n");
    EXPECT_EQ(run({"caf\xc3\xa9\xff"}).out, "File caf\xc3\xa9\xff:\nUnmatching } : line 1 char 1\n");
}

// Reading /proc/self/mem at offset 0 fails with EIO: a read error, not an end of file.
TEST_F(Driver, ReadErrorIsReportedAndFailsTheRun)
{
    dir.write("next", "}\n");
    process_result r = run({"/proc/self/mem", "next"});
    EXPECT_EQ(r.out, "File /proc/self/mem:\nFile next:\nUnmatching } : line 1 char 1\n");
    EXPECT_EQ(r.err, "delimcheck: error reading /proc/self/mem: Input/output error\n");
    EXPECT_EQ(r.status, 2);
}

// With both streams in one file, the line on standard error stands between the output of the
// input it is about and that of the next, however the output is gathered and however many jobs.
TEST_F(Driver, ReadErrorLineStandsInPlaceAmongTheOutput)
{
    dir.write("first", "{\n");
    dir.write("next", "}\n");
    for (const char *jobs : {"--jobs=1", "--jobs=2"}) {
        std::string command = "cd '" + dir.path + "' && " DELIMCHECK_BINARY " " + jobs +
                              " first /proc/self/mem next > both 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 2 << 8) << jobs;
        EXPECT_EQ(slurp(dir.path + "/both"), "File first:\n"
                                             "} missing, opened on line 1 char 1\n"
                                             "File /proc/self/mem:\n"
                                             "delimcheck: error reading /proc/self/mem: Input/output error\n"
                                             "File next:\n"
                                             "Unmatching } : line 1 char 1\n")
            << jobs;
    }
}

TEST_F(Driver, StateDoesNotLeakBetweenInputs)
{
    dir.write("open", "{ \"a\n# (");
    dir.write("next", "(\n}\n");
    // In the string the '#' opens no hash line, so the '(' is tracked.
    EXPECT_EQ(run({"open", "next"}).out, "File open:\n"
                                         ") missing, opened on line 2 char 3\n"
                                         "\" missing, opened on line 1 char 3\n"
                                         "} missing, opened on line 1 char 1\n"
                                         "File next:\n"
                                         "Unmatching } : line 2 char 1\n");
}

} // namespace

namespace {

// A UTF-8 byte-order mark at the start of an input is no part of its first line: the reports
// and their columns are those of the text without it, from a file or from a pipe. A mark
// anywhere else, or a part of one, is ordinary bytes.
TEST_F(Driver, AByteOrderMarkIsNoPartOfLineOne)
{
    const std::string mark = "\xEF\xBB\xBF";
    const struct {
        const char *name;
        std::string text;
        std::string reports; // the text format's, after the header line
    } cases[] = {
        {"mark_then_fault", mark + "set a {b\nputs x\n", "} missing, opened on line 1 char 7\n"},
        {"mark_then_closer", mark + "}\n", "Unmatching } : line 1 char 1\n"},
        {"mark_alone", mark, ""},
        {"mark_on_line_two", "set a b\n" + mark + "}\n", "Unmatching } : line 2 char 4\n"},
        {"two_marks", mark + mark + "}", "Unmatching } : line 1 char 4\n"},
        {"part_of_a_mark", "\xEF\xBB}", "Unmatching } : line 1 char 3\n"},
        {"no_mark", "}", "Unmatching } : line 1 char 1\n"},
    };
    for (const auto &c : cases) {
        dir.write("f.tcl", c.text);
        EXPECT_EQ(run({"f.tcl"}).out, "File f.tcl:\n" + c.reports) << c.name;
        EXPECT_EQ(run({}, c.text).out, c.reports) << c.name << " on standard input";
    }
    // The repair's columns are the reports'; the file keeps its mark.
    dir.write("f.tcl", mark + "set a {b\nputs x\n");
    process_result fixed = run({"--fix", "--unsafe-fixes", "f.tcl"});
    EXPECT_EQ(fixed.err, "delimcheck: fixed f.tcl: delete the { at line 1 char 7\ndelimcheck: 1 file fixed\n");
    EXPECT_EQ(slurp(dir.path + "/f.tcl"), mark + "set a b\nputs x\n");
    dir.write("f.tcl", mark + "set a {b\nputs x\n");
    // Whether this repair is safe is the search's business, not this test's: the mark goes.
    std::string diff = run({"--diff", "f.tcl"}).out;
    if (diff.starts_with("--- f.tcl\tunsafe\n"))
        diff.erase(9, 7);
    EXPECT_EQ(diff, "--- f.tcl\n+++ f.tcl\n@@ -1,2 +1,2 @@\n-" + mark + "set a {b\n+" + mark +
                                                 "set a b\n puts x\n");
    EXPECT_NE(run({"--format=pretty", "f.tcl"}).out.find("    1 | set a {b\n      |       ^ { opened here"), std::string::npos)
        << "the pretty format shows line 1 without the mark, and its caret under the {";
}

} // namespace
