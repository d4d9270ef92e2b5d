// The long options through the binary: help and version, usage errors, the exit status for
// gates, the compiler format, whole trees, lists of names and parallel runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <sstream>

#include "driver/cli.h"
#include "harness.h"

namespace {

struct cli_fixture : ::testing::Test {
    temp_dir dir;
    process_result run(const std::vector<std::string> &args, const std::string &input = "")
    {
        return run_binary(args, input, dir.path);
    }
    void mkdir_p(const std::string &path) { ::mkdir((dir.path + "/" + path).c_str(), 0755); }
    void link(const std::string &target, const std::string &name)
    {
        ASSERT_EQ(::symlink(target.c_str(), (dir.path + "/" + name).c_str()), 0);
    }
};

using Cli = cli_fixture;

std::size_t lines_of(const std::string &s) { return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n')); }

TEST_F(Cli, HelpListsEveryOptionOnStandardOutput)
{
    process_result r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(r.out.starts_with("usage: delimcheck ")) << r.out;
    for (const delimcheck::driver::option_row &o : delimcheck::driver::option_table()) {
        std::string spelled = o.name == nullptr ? std::string("-") + o.letter + " " : std::string("--") + o.name;
        if (o.value != nullptr)
            spelled += std::string("=") + o.value;
        EXPECT_NE(r.out.find("\n  " + spelled), std::string::npos) << spelled;
        EXPECT_NE(r.out.find(o.help), std::string::npos) << spelled;
        if (o.name != nullptr && o.usage == nullptr) {
            EXPECT_NE(r.out.find("[" + spelled + "]"), std::string::npos) << spelled << " in the usage lines";
        }
    }
    EXPECT_EQ(run({"-s", "--help"}).out, r.out) << "and checks nothing";
    for (std::size_t at = 0, end; at < r.out.size(); at = end + 1) {
        end = r.out.find('\n', at);
        EXPECT_LE(end - at, 100u) << r.out.substr(at, end - at);
    }
}

// Every row of the table is an option of the parser: a letter or a long name, with a value
// where it takes one, that leaves the operands alone.
TEST(OptionTable, EveryRowIsAnOptionOfTheParser)
{
    std::set<std::string> seen;
    for (const delimcheck::driver::option_row &o : delimcheck::driver::option_table()) {
        ASSERT_TRUE((o.letter == 0) != (o.name == nullptr)) << "a letter or a long name, not both";
        ASSERT_NE(o.handle, nullptr);
        std::string spelled = o.name == nullptr ? std::string("-") + o.letter : std::string("--") + o.name;
        EXPECT_TRUE(seen.insert(spelled).second) << spelled << " twice";
        if (spelled == "--lsp" || spelled == "--stdio")
            continue; // it stands alone, and is tested so
        std::vector<std::string> args{"delimcheck", spelled};
        if (o.value != nullptr)
            args.back() += spelled == "--format" ? "=text" : spelled == "--color" ? "=never" : spelled == "--jobs" ? "=2" : "=x";
        if (spelled == "--select" || spelled == "--ignore")
            args.back() = spelled + "=wrong-closer";
        if (spelled == "--severity")
            args.back() = spelled + "=error";
        if (spelled == "--show-suppressed")
            args.emplace_back("--format=json");
        if (spelled == "--include" || spelled == "--exclude" || spelled == "--hidden")
            args.emplace_back("--recursive");
        if (spelled == "--null")
            args.emplace_back("--files-from=x");
        if (spelled == "--unsafe-fixes")
            args.emplace_back("--fix");
        if (spelled == "--color")
            args.emplace_back("--format=pretty");
        args.emplace_back("f.tcl");
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        testing::internal::CaptureStderr();
        delimcheck::driver::cli_result r =
            delimcheck::driver::parse_command_line(static_cast<int>(args.size()), argv.data(), stderr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << spelled;
        EXPECT_NE(r.action, delimcheck::driver::cli_action::usage_error) << spelled << ": " << r.error;
        EXPECT_EQ(r.config.operands, std::vector<std::string>{"f.tcl"}) << spelled;
    }
}

// Every option of the table is in the README's table and has its paragraph in the manual page,
// and the README's usage lines are --help's.
TEST(Docs, EveryOptionIsDocumented)
{
    const std::string readme = slurp(DELIMCHECK_SOURCE_DIR "/README.md");
    const std::string manual = slurp(DELIMCHECK_SOURCE_DIR "/docs/delimcheck.1");
    ASSERT_FALSE(readme.empty());
    ASSERT_FALSE(manual.empty());
    const std::string synopsis = manual.substr(0, manual.find("\n.SH DESCRIPTION"));
    auto roff = [](const std::string &s) {
        std::string out;
        for (char c : s)
            out += c == '-' ? std::string("\\-") : std::string(1, c);
        return out;
    };
    for (const delimcheck::driver::option_row &o : delimcheck::driver::option_table()) {
        if (o.name == nullptr) {
            std::string letter = std::string("-") + o.letter;
            EXPECT_NE(readme.find("| `" + letter + "` |"), std::string::npos) << letter << " in the README";
            EXPECT_NE(manual.find("\n.B " + roff(letter) + "\n"), std::string::npos) << letter << " in the manual";
            continue;
        }
        std::string name = std::string("--") + o.name;
        EXPECT_NE(readme.find("`" + name + (o.value != nullptr ? "=" : "")), std::string::npos) << name << " in the README";
        EXPECT_NE(manual.find(o.value != nullptr ? "\n.BI " + roff(name) + "=" : "\n.B " + roff(name) + "\n"),
                  std::string::npos)
            << name << " in the manual";
        if (o.usage == nullptr || *o.usage != '\0' || name == "--null") {
            EXPECT_NE(synopsis.find("[ " + roff(name) + (o.value != nullptr ? "=" : " ]")), std::string::npos)
                << name << " in the manual's synopsis";
        }
    }
    EXPECT_NE(readme.find("```\n" + delimcheck::driver::usage_text() + "```\n"), std::string::npos)
        << "the README's usage lines are --help's:\n" << delimcheck::driver::usage_text();
}

TEST_F(Cli, Version)
{
    process_result r = run({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("delimcheck ")) << r.out;
    EXPECT_EQ(lines_of(r.out), 1u);
}

// A bad long option or value: one line on standard error, status 2, and nothing checked.
TEST_F(Cli, UsageErrorsStopBeforeAnythingIsChecked)
{
    dir.write("bad.tcl", "}\n");
    const std::vector<std::vector<std::string>> cases = {
        {"--format=xml"}, {"--format"},  {"--no-such-option"}, {"--help=yes"},      {"--jobs=0"},
        {"--jobs=two"},   {"--jobs="},   {"--files-from="},    {"-s", "--format=gcc"}, {"--format=json", "-j"},
        {"--diff", "--format=gcc"}, {"--diff", "-l"}, {"--color=maybe"}, {"--color"}, {"--fix", "-"},
    };
    for (std::vector<std::string> args : cases) {
        args.push_back("bad.tcl");
        process_result r = run(args, "}\n");
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_EQ(r.out, "") << args[0];
        EXPECT_EQ(lines_of(r.err), 1u) << args[0] << ": " << r.err;
        EXPECT_TRUE(r.err.starts_with("delimcheck: ")) << r.err;
    }
    EXPECT_NE(run({"--format=xml"}).err.find("'xml'"), std::string::npos);
}

// Standard input cannot be rewritten: --fix with nothing named is refused before anything is
// read; a list of names on standard input is fine.
TEST_F(Cli, FixRefusesStandardInput)
{
    process_result r = run({"--fix"}, "proc a {\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "delimcheck: --fix rewrites files and cannot rewrite standard input: name the files; see "
                     "delimcheck --help\n");
    dir.write("clean.tcl", "set a b\n");
    EXPECT_EQ(run({"--fix", "--files-from=-"}, "clean.tcl\n").status, 0);
    EXPECT_EQ(run({"--fix", "--help"}).status, 0) << "--help still helps";
}

// The server takes its options and its documents from the client, so --lsp stands alone: with
// a file or any other option it is a usage error, before any message is read.
TEST_F(Cli, LspStandsAlone)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--lsp", "bad.tcl"}, {"--lsp", "-c"}, {"-x", "--lsp"}, {"--format=json", "--lsp"}, {"--lsp", "--hints"},
        {"--lsp", "--version"},
    };
    const std::string body = R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})";
    const std::string initialize = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    for (const std::vector<std::string> &args : cases) {
        process_result r = run(args, initialize);
        EXPECT_EQ(r.status, 2) << args[0] << ' ' << args[1];
        EXPECT_EQ(r.out, "") << args[0] << ' ' << args[1];
        EXPECT_NE(r.err.find("--lsp"), std::string::npos) << r.err;
    }
    process_result alone = run({"--lsp"}, initialize);
    EXPECT_EQ(alone.status, 1) << "the input ended without shutdown";
    EXPECT_TRUE(alone.out.starts_with("Content-Length: ")) << alone.out;

    // A read that fails is said, and is not taken for the end of the messages.
    temp_dir d;
    std::string command = std::string("'") + DELIMCHECK_BINARY + "' --lsp < / 2> '" + d.path + "/err'";
    int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
    EXPECT_EQ(slurp(d.path + "/err"), std::string("delimcheck: error reading standard input: ") + std::strerror(EISDIR) + "\n");
}

// The letters are read before the first operand only, as POSIX says; a long option is taken
// wherever it stands, so that a gate written "delimcheck *.tcl --status" is one; "--" ends
// every option.
TEST_F(Cli, LongOptionsAfterOperands)
{
    dir.write("f", "{\n");
    dir.write("--status", "}\n");
    dir.write("-s", "]\n");
    const struct {
        std::vector<std::string> args;
        std::string out;
        int status;
    } cases[] = {
        {{"f", "--status"}, "File f:\n} missing, opened on line 1 char 1\n", 1},
        {{"f", "--format", "gcc"},
         "f:1:2: error: } missing, opened on line 1 char 1\nf:1:1: note: likely fault: one edit here makes the whole "
         "input check clean\nf:1:1: note: { opened here, never closed\nf:1:1: note: delete the { at line 1 char 1\n",
         0},
        {{"f", "--statu"}, "File f:\n} missing, opened on line 1 char 1\n", 1},
        {{"--", "--status"}, "File --status:\nUnmatching } : line 1 char 1\n", 0},
        {{"f", "--", "--status"}, "File f:\n} missing, opened on line 1 char 1\nFile --status:\nUnmatching } : line 1 char 1\n", 0},
        {{"f", "-s"}, "File f:\n} missing, opened on line 1 char 1\nFile -s:\nUnmatching ] : line 1 char 1\n", 0},
        {{"f", "-s", "--status"}, "File f:\n} missing, opened on line 1 char 1\nFile -s:\nUnmatching ] : line 1 char 1\n", 1},
        {{"--status", "f", "--", "-s"}, "File f:\n} missing, opened on line 1 char 1\nFile -s:\nUnmatching ] : line 1 char 1\n", 1},
    };
    for (const auto &c : cases) {
        process_result r = run(c.args);
        std::string name;
        for (const std::string &a : c.args)
            name += a + " ";
        EXPECT_EQ(r.out, c.out) << name;
        EXPECT_EQ(r.status, c.status) << name;
    }
    process_result bad = run({"f", "--statuz"});
    EXPECT_EQ(bad.status, 2) << "an unknown long option after an operand is a usage error too";
    EXPECT_EQ(bad.out, "");
    process_result stray = run({"-x", "--status"}, "}\n");
    EXPECT_EQ(stray.status, 1) << "an unknown letter is only a diagnostic";
    EXPECT_EQ(lines_of(stray.err), 1u);
    EXPECT_EQ(run({"--form=gcc"}, "}\n").out,
              "-:1:1: error: Unmatching }\n-:1:1: note: likely fault: one edit here makes the whole input check clean\n"
              "-:1:1: note: delete line 1\n")
        << "a unique prefix names the option";
}

// Options that mean nothing without another, which would be silently ignored.
TEST_F(Cli, OptionsThatNeedAnother)
{
    dir.write("a.tcl", "}\n");
    const struct {
        std::vector<std::string> args;
        std::string err;
    } cases[] = {
        {{"--null", "a.tcl"}, "delimcheck: option '--null' needs --files-from; see delimcheck --help\n"},
        {{"--color=never", "a.tcl"}, "delimcheck: option '--color' needs --format=pretty; see delimcheck --help\n"},
        {{"--format=gcc", "--color=always", "a.tcl"}, "delimcheck: option '--color' needs --format=pretty; see delimcheck --help\n"},
        {{"--unsafe-fixes", "a.tcl"}, "delimcheck: option '--unsafe-fixes' needs --fix; see delimcheck --help\n"},
    };
    for (const auto &c : cases) {
        process_result r = run(c.args);
        EXPECT_EQ(r.err, c.err) << c.args[0];
        EXPECT_EQ(r.out, "") << c.args[0];
        EXPECT_EQ(r.status, 2) << c.args[0];
    }
    EXPECT_EQ(run({"--format=pretty", "--color=never", "a.tcl"}).status, 0);
}

struct status_case {
    const char *name;
    std::vector<std::string> args;
    int without, with; // the status without and with --status
};

TEST_F(Cli, ExitStatusForGates)
{
    dir.write("clean.tcl", "proc a {} {\n    set b [c \"d\"]\n}\n");
    dir.write("bad.tcl", "proc a {} {\n");
    dir.write("warned.tcl", "puts \"a\"b\n");
    mkdir_p("sub");
    const std::vector<status_case> cases = {
        {"clean", {"clean.tcl"}, 0, 0},
        {"report", {"clean.tcl", "bad.tcl"}, 0, 1},
        {"warning_alone", {"warned.tcl"}, 0, 1},
        {"missing_file", {"clean.tcl", "missing.tcl"}, 0, 2},
        {"missing_outranks_report", {"bad.tcl", "missing.tcl"}, 0, 2},
        {"directory", {"sub"}, 0, 2},
        {"read_error", {"/proc/self/mem"}, 2, 2},
    };
    for (const status_case &c : cases) {
        std::vector<std::string> with = c.args;
        with.insert(with.begin(), "--status");
        process_result plain = run(c.args), gated = run(with);
        EXPECT_EQ(plain.status, c.without) << c.name;
        EXPECT_EQ(gated.status, c.with) << c.name;
        EXPECT_EQ(gated.out, plain.out) << c.name << ": --status changes the status only";
    }
    EXPECT_EQ(run({"--status", "-q"}, "set a b\n").status, 0);
    EXPECT_EQ(run({"--status", "-q"}, "set a {\n").status, 1) << "standard input";
}

TEST_F(Cli, GccFormat)
{
    dir.write("a b.tcl", "proc p {} {\n    set x [y\n}\n\"q\"r\n");
    dir.write("ok.tcl", "set a b\n");
    mkdir_p("sub");
    process_result r = run({"--format=gcc", "a b.tcl", "ok.tcl", "missing.tcl", "sub"});
    // The stray characters after the string stay: the repair mends the bracket apart from them.
    EXPECT_EQ(r.out, "a b.tcl:3:1: error: Expecting ] got } (balancing {})\n"
                     "a b.tcl:2:13: note: likely fault: one edit here mends this fault and leaves the others as "
                     "they are\n"
                     "a b.tcl:2:11: note: [ opened here, discarded\n"
                     "a b.tcl:2:13: note: insert ] at line 2 char 13\n"
                     "a b.tcl:4:3: warning: Extra characters after string\n"
                     "missing.tcl:1:1: error: Cannot be accessed: No such file or directory\n"
                     "sub:1:1: error: Cannot be accessed: Is a directory\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(run({"--format=gcc", "-q", "-e"}, "{\n  a\\ \n").out,
              "-:2:4: warning: \\ followed by blank space at the end of the line\n"
              "-:2:6: error: } missing, opened on line 1 char 1\n"
              "-:1:1: note: likely fault: one edit here makes the whole input check clean\n"
              "-:1:1: note: { opened here, never closed\n"
              "-:1:1: note: delete the { at line 1 char 1\n");
}

// A directory opens like a file and fails at its first read: every format says so, as a file
// that cannot be accessed, and --status counts it as one.
TEST_F(Cli, DirectoryOperandInEveryFormat)
{
    mkdir_p("sub");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"gcc", "sub:1:1: error: Cannot be accessed: Is a directory\n"},
        {"json", R"({"file": "sub", "line": 1, "column": 1, "severity": "error", "code": "cannot-access", )"
                 R"("message": "Cannot be accessed: Is a directory"})"},
        {"github", "::error file=sub,line=1,col=1::Cannot be accessed: Is a directory\n"},
        {"sarif", R"("ruleId": "cannot-access", "level": "error", "message": {"text": "Cannot be accessed: Is a directory"})"},
    };
    for (const auto &[format, expected] : cases) {
        process_result r = run({"--status", "--format=" + format, "sub"});
        EXPECT_NE(r.out.find(expected), std::string::npos) << format << ":\n" << r.out;
        EXPECT_EQ(r.status, 2) << format;
        EXPECT_EQ(r.err, "") << format;
    }
}

// The fixture that CI validates as a SARIF log draws every kind of diagnostic there is, so that
// every rule's result is in the log; standard input is no file below the source root.
TEST_F(Cli, SarifFixtureHasEveryKind)
{
    process_result r = run({"-e", "--format=sarif", DELIMCHECK_FIXTURES "/every_kind.tcl", "missing.tcl", "/proc/self/mem"});
    std::size_t rules = 0;
    for (std::size_t at = 0; (at = r.out.find("{\"id\": \"", at)) != std::string::npos; ++rules) {
        at += 8;
        std::string id = r.out.substr(at, r.out.find('"', at) - at);
        EXPECT_NE(r.out.find("\"ruleId\": \"" + id + "\""), std::string::npos) << id;
    }
    EXPECT_EQ(rules, 10u);
    std::string standard_input = run({"--format=sarif"}, "}\n").out;
    EXPECT_NE(standard_input.find(R"("artifactLocation": {"uri": "stdin:"})"), std::string::npos) << standard_input;
}

// The files of a tree, in name order at each level; links to directories are not followed.
TEST_F(Cli, RecursiveWalk)
{
    mkdir_p("t");
    mkdir_p("t/b");
    mkdir_p("t/a");
    dir.write("t/b/z.tcl", "}\n");
    dir.write("t/a/y.tk", "]\n");
    dir.write("t/a/notes.txt", "}\n");
    dir.write("t/m.test", "[\n");
    dir.write("t/pkg.tm", "{\n");
    dir.write("t/lib.TCL", "}\n");
    link("..", "t/b/up");
    link("../m.test", "t/a/same.tcl");
    link("nowhere", "t/a/gone.tcl");
    process_result r = run({"--recursive", "-q", "t", "t/a/notes.txt"});
    EXPECT_EQ(r.out, "File t/a/gone.tcl:\nCannot be accessed!!\n"
                     "File t/a/same.tcl:\n] missing, opened on line 1 char 1\n"
                     "File t/a/y.tk:\nUnmatching ] : line 1 char 1\n"
                     "File t/b/z.tcl:\nUnmatching } : line 1 char 1\n"
                     "File t/m.test:\n] missing, opened on line 1 char 1\n"
                     "File t/pkg.tm:\n} missing, opened on line 1 char 1\n"
                     "File t/a/notes.txt:\nUnmatching } : line 1 char 1\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(run({"--recursive", "--include=*.txt", "--include=*.TCL", "-q", "t/"}).out,
              "File t/a/notes.txt:\nUnmatching } : line 1 char 1\nFile t/lib.TCL:\nUnmatching } : line 1 char 1\n");
    EXPECT_EQ(run({"-q", "t"}).out, "File t:\nCannot be accessed!!\n") << "a directory without --recursive";
}

// Hidden names are left out of a walk unless --hidden; --exclude leaves out what its globs
// match, by name at any depth or by path below the operand. An operand is never left out.
TEST_F(Cli, RecursiveWalkSkipsHiddenAndExcluded)
{
    for (const char *d : {"t", "t/.git", "t/.git/hooks", "t/vendor", "t/lib", "t/lib/vendor", "t/lib/x"})
        mkdir_p(d);
    for (const char *f : {"t/a.tcl", "t/.b.tcl", "t/.git/c.tcl", "t/.git/hooks/d.tcl", "t/vendor/v.tcl",
                          "t/lib/vendor/w.tcl", "t/lib/x/y.tcl", "t/lib/x/y.gen.tcl"})
        dir.write(f, "{\n");
    auto files = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"-q", "--recursive"});
        process_result r = run(args);
        EXPECT_EQ(r.err, "");
        std::string names;
        for (std::size_t at = 0; (at = r.out.find("File ", at)) != std::string::npos; at += 5)
            names += r.out.substr(at + 5, r.out.find(":\n", at) - at - 5) + " ";
        return names;
    };
    const std::string visible = "t/a.tcl t/lib/vendor/w.tcl t/lib/x/y.gen.tcl t/lib/x/y.tcl t/vendor/v.tcl ";
    EXPECT_EQ(files({"t"}), visible);
    EXPECT_EQ(files({"--hidden", "t"}), "t/.b.tcl t/.git/c.tcl t/.git/hooks/d.tcl " + visible);
    EXPECT_EQ(files({"--exclude=vendor", "--exclude=*.gen.tcl", "t"}), "t/a.tcl t/lib/x/y.tcl ");
    EXPECT_EQ(files({"--exclude=lib/vendor", "t"}), "t/a.tcl t/lib/x/y.gen.tcl t/lib/x/y.tcl t/vendor/v.tcl ")
        << "a path below the operand names that one only";
    EXPECT_EQ(files({"--exclude=t", "--exclude=lib/*", "t/"}), "t/a.tcl t/vendor/v.tcl ")
        << "the operand's own name is not below it";
    EXPECT_EQ(files({"--hidden", "--exclude=hooks", "t/.git"}), "t/.git/c.tcl ");
    EXPECT_EQ(files({"t/.git", "t/.b.tcl"}), "t/.git/c.tcl t/.git/hooks/d.tcl t/.b.tcl ")
        << "hidden operands are walked and checked; only what is below them is skipped";
    EXPECT_EQ(run({"-q", "--recursive", "."}, "").out.find("/.git/"), std::string::npos) << "not even below .";
}

// Brace alternatives in --include and --exclude, as a shell expands them: nested, and a brace
// without a comma at its level is a byte to match.
TEST_F(Cli, BraceAlternativesInGlobs)
{
    for (const char *d : {"t", "t/x"})
        mkdir_p(d);
    for (const char *f : {"t/a.tcl", "t/b.tk", "t/c.tm", "t/d.txt", "t/e.tcl.bak", "t/{y}.tcl", "t/x/z.tcl"})
        dir.write(f, "{\n");
    const struct {
        std::vector<std::string> globs;
        std::string files;
    } cases[] = {
        {{"--include=*.{tcl,tk}"}, "t/a.tcl t/b.tk t/x/z.tcl t/{y}.tcl "},
        {{"--include=*.{t{cl,k},txt}"}, "t/a.tcl t/b.tk t/d.txt t/x/z.tcl t/{y}.tcl "},
        {{"--include={a,b,c}.*"}, "t/a.tcl t/b.tk t/c.tm "},
        {{"--include={y}.tcl"}, "t/{y}.tcl "},
        {{"--include=*.{tcl}"}, ""},
        {{"--exclude={x,*.tk}"}, "t/a.tcl t/c.tm t/{y}.tcl "},
        {{"--exclude=*.{tcl,tm}", "--include=*"}, "t/b.tk t/d.txt t/e.tcl.bak "},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args{"-q", "--recursive"};
        args.insert(args.end(), c.globs.begin(), c.globs.end());
        args.push_back("t");
        process_result r = run(args);
        std::string names;
        for (std::size_t at = 0; (at = r.out.find("File ", at)) != std::string::npos; at += 5)
            names += r.out.substr(at + 5, r.out.find(":\n", at) - at - 5) + " ";
        EXPECT_EQ(names, c.files) << c.globs[0];
    }
}

// A walk that finds nothing to check, or a list that names nothing, is a mistake: the run says
// so and fails, whatever else it checked.
TEST_F(Cli, AWalkThatFindsNoFile)
{
    mkdir_p("docs");
    mkdir_p("src");
    dir.write("docs/notes.txt", "}\n");
    dir.write("src/a.tcl", "set a b\n");
    process_result r = run({"--recursive", "docs", "src"});
    EXPECT_EQ(r.out, "File src/a.tcl:\n");
    EXPECT_EQ(r.err, "delimcheck: no file to check below docs (the walk takes *.tcl, *.tk, *.tm and *.test)\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(run({"--recursive", "--include=*.txt", "docs"}).status, 0);
    EXPECT_EQ(run({"--recursive", "--include=*.md", "docs"}).err,
              "delimcheck: no file to check below docs (the walk takes what --include names)\n");
    EXPECT_EQ(run({"--recursive", "src"}).status, 0);
    EXPECT_EQ(run({"--recursive", "--exclude=a.tcl", "src"}).status, 2) << "excluded is not found";
}

// A long option may be abbreviated; one that could be more than one names them all; an
// unknown letter is named as everything else is, by the program's name.
TEST_F(Cli, AbbreviationsAndStrayLetters)
{
    process_result ambiguous = run({"--h"});
    EXPECT_EQ(ambiguous.status, 2);
    EXPECT_EQ(ambiguous.out, "");
    EXPECT_EQ(ambiguous.err,
              "delimcheck: option '--h' is ambiguous; possibilities: --help --hidden --hints; see delimcheck --help\n");
    EXPECT_EQ(run({"--hi=1"}).err,
              "delimcheck: option '--hi=1' is ambiguous; possibilities: --hidden --hints; see delimcheck --help\n");
    EXPECT_EQ(run({"--he"}).status, 0) << "--help alone";
    EXPECT_EQ(run({"--zzz"}).err, "delimcheck: unrecognized option '--zzz'; see delimcheck --help\n");
    EXPECT_EQ(run({"--=x"}).err, "delimcheck: unrecognized option '--=x'; see delimcheck --help\n");
    process_result stray = run({"-xq"}, "}\n");
    EXPECT_EQ(stray.err, "delimcheck: invalid option -- 'x'\n");
    EXPECT_EQ(stray.out, "Unmatching } : line 1 char 1\n");
    EXPECT_EQ(stray.status, 0);
}

// The walk's options mean nothing without a walk.
TEST_F(Cli, WalkOptionsNeedRecursive)
{
    dir.write("a.tcl", "}\n");
    for (const char *option : {"--include=*.tcl", "--exclude=x", "--hidden"}) {
        process_result r = run({option, "a.tcl"});
        std::string name = std::string(option).substr(0, std::string(option).find('='));
        EXPECT_EQ(r.err, "delimcheck: option '" + name + "' needs --recursive; see delimcheck --help\n");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(run({option, "--recursive", "a.tcl"}).status, 0) << option;
    }
}

TEST_F(Cli, FilesFromAList)
{
    dir.write("one.tcl", "}\n");
    dir.write("two words.tcl", "{\n");
    mkdir_p("d");
    dir.write("d/three.tcl", "]\n");
    const std::string expected = "File one.tcl:\nUnmatching } : line 1 char 1\n"
                                 "File two words.tcl:\n} missing, opened on line 1 char 1\n";
    dir.write("list", "one.tcl\n\n\ntwo words.tcl");
    EXPECT_EQ(run({"-q", "--files-from=list"}).out, expected);
    dir.write("list0", std::string("one.tcl\0two words.tcl\0\0", 23));
    EXPECT_EQ(run({"-q", "--null", "--files-from=list0"}).out, expected);
    EXPECT_EQ(run({"-q", "--files-from=-"}, "one.tcl\ntwo words.tcl\n").out, expected) << "the list on standard input";
    EXPECT_EQ(run({"-q", "--files-from=list", "d/three.tcl"}).out,
              "File d/three.tcl:\nUnmatching ] : line 1 char 1\n" + expected)
        << "the operands come first";
    dir.write("dirs", "d\n");
    EXPECT_EQ(run({"-q", "--recursive", "--files-from=dirs"}).out, "File d/three.tcl:\nUnmatching ] : line 1 char 1\n");
    process_result empty = run({"--files-from=-"}, "\n\n");
    EXPECT_EQ(empty.status, 2) << "an empty list is a mistake, not a success";
    EXPECT_EQ(empty.out, "") << "and checks nothing, not standard input";
    EXPECT_EQ(empty.err, "delimcheck: the list on standard input names no file\n");
    dir.write("empty", "");
    EXPECT_EQ(run({"--files-from=empty", "one.tcl"}).err, "delimcheck: the list empty names no file\n");
    dir.write("crlf", "one.tcl\r\ntwo words.tcl\r\n");
    EXPECT_EQ(run({"-q", "--files-from=crlf"}).out, expected) << "a CR before the newline is no part of a name";
    dir.write("cr0", std::string("one.tcl\r\0", 9));
    EXPECT_EQ(run({"-q", "--null", "--files-from=cr0"}).out, "File one.tcl\r:\nCannot be accessed!!\n")
        << "but with --null, any byte but NUL is";
    process_result missing = run({"--files-from=nolist", "one.tcl"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "") << "nothing is checked when the list cannot be read";
    EXPECT_EQ(lines_of(missing.err), 1u);
    process_result unreadable = run({"-q", "--files-from=d", "one.tcl"});
    EXPECT_EQ(unreadable.out, "File one.tcl:\nUnmatching } : line 1 char 1\n") << "what came before the list is checked";
    EXPECT_EQ(unreadable.err, std::string("delimcheck: error reading the list d: ") + std::strerror(EISDIR) + "\n")
        << "and the list's failure is said once, not taken for an empty list";
    EXPECT_EQ(unreadable.status, 2);
}

// Many small inputs, read errors and unreadable files among them: any number of jobs gives
// the output and the status of one job, in every format.
TEST_F(Cli, ParallelOutputEqualsSequential)
{
    std::vector<std::string> names;
    for (int i = 0; i < 120; ++i) {
        std::string name = "f" + std::to_string(i) + ".tcl";
        std::string text;
        for (int k = 0; k < i % 7; ++k)
            text += std::string(static_cast<std::size_t>(k), ' ') + (i % 3 == 0 ? "{\n" : "}\n\"a\"b\n");
        if (i % 11 == 0)
            text = std::string(300000, 'x') + text; // a large one now and then
        dir.write(name, text);
        names.push_back(name);
        if (i % 17 == 5)
            names.push_back("missing" + std::to_string(i));
        if (i % 29 == 3)
            names.push_back("/proc/self/mem");
    }
    for (const std::vector<std::string> &opts : std::vector<std::vector<std::string>>{
             {}, {"-q"}, {"-l"}, {"--format=gcc"}, {"--format=json"}, {"--format=sarif"}, {"--format=github"}, {"--status"},
             {"--format=pretty"}, {"--diff"}}) {
        std::vector<std::string> one = opts, many = opts;
        one.push_back("--jobs=1");
        many.push_back("--jobs=4");
        one.insert(one.end(), names.begin(), names.end());
        many.insert(many.end(), names.begin(), names.end());
        process_result a = run(one), b = run(many);
        EXPECT_EQ(b.out, a.out) << (opts.empty() ? "text" : opts[0]);
        EXPECT_EQ(b.err, a.err) << (opts.empty() ? "text" : opts[0]);
        EXPECT_EQ(b.status, a.status) << (opts.empty() ? "text" : opts[0]);
        EXPECT_FALSE(a.out.empty());
    }
}

} // namespace
