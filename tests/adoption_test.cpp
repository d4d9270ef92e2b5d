// Adopting the checker on a tree: project files found per directory, selection and directives
// through every format, and the one-line errors of bad settings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>

#include "harness.h"

namespace {

const std::string script = "set a ]\nputs \"x\"y\nproc p {\n"; // unmatched-closer, extra-after-string, missing-closer

const std::string all_three = "Unmatching ] : line 1 char 7\nExtra characters after string : line 2 char 8\n"
                              "} missing, opened on line 3 char 8\n";

// A tree with a project file at its top and another, nearer one below it:
//   delimcheck.toml         ignore extra-after-string
//   a.tcl
//   sub/.delimcheck.toml    select missing-closer; deep/* ignores it again
//   sub/b.tcl  sub/deep/c.tcl
struct tree {
    temp_dir dir;
    tree()
    {
        ::mkdir((dir.path + "/sub").c_str(), 0700);
        ::mkdir((dir.path + "/sub/deep").c_str(), 0700);
        dir.write("delimcheck.toml", "ignore = [\"extra-after-string\"]\n");
        dir.write("sub/.delimcheck.toml", "select = [\"missing-closer\"]\n[per-file-ignores]\n\"deep/*\" = [\"missing-closer\"]\n");
        for (const char *name : {"a.tcl", "sub/b.tcl", "sub/deep/c.tcl"})
            dir.write(name, script);
    }
};

TEST(ProjectFile, EachInputTakesTheNearest)
{
    tree t;
    struct row {
        std::vector<std::string> args;
        std::string out;
    };
    const row rows[] = {
        {{"a.tcl", "sub/b.tcl", "sub/deep/c.tcl"},
         "File a.tcl:\nUnmatching ] : line 1 char 7\n} missing, opened on line 3 char 8\n"
         "File sub/b.tcl:\n} missing, opened on line 3 char 8\nFile sub/deep/c.tcl:\n"},
        {{"--isolated", "a.tcl"}, "File a.tcl:\n" + all_three},
        {{"--config=sub/.delimcheck.toml", "a.tcl"}, "File a.tcl:\n} missing, opened on line 3 char 8\n"},
        // The command line wins over the file.
        {{"--select=extra-after-string", "sub/b.tcl"}, "File sub/b.tcl:\nExtra characters after string : line 2 char 8\n"},
        {{"--severity=error", "--ignore=missing-closer", "a.tcl"}, "File a.tcl:\nUnmatching ] : line 1 char 7\n"},
        {{"-q", "--recursive", "."}, "File ./a.tcl:\nUnmatching ] : line 1 char 7\n} missing, opened on line 3 char 8\n"
                                     "File ./sub/b.tcl:\n} missing, opened on line 3 char 8\n"},
    };
    for (const row &r : rows) {
        process_result p = run_binary(r.args, "", t.dir.path);
        EXPECT_EQ(p.out, r.out) << r.args.front();
        EXPECT_EQ(p.err, "") << r.args.front();
    }
    process_result shown = run_binary({"--show-settings", "sub/deep/c.tcl"}, "", t.dir.path);
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.out.find("# project file: " + t.dir.path + "/sub/.delimcheck.toml\n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("select = [\"missing-closer\"]\n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("# per-file-ignores that match this file: [\"missing-closer\"]\n"), std::string::npos)
        << shown.out;
}

// The walk of a directory operand takes the endings and skips of that directory's project file,
// under the command line's.
TEST(ProjectFile, WalkKeys)
{
    temp_dir dir;
    ::mkdir((dir.path + "/vendor").c_str(), 0700);
    ::mkdir((dir.path + "/.hid").c_str(), 0700);
    for (const char *name : {"a.tcl", "b.exp", "c.sdc", "vendor/d.tcl", ".hid/e.tcl"})
        dir.write(name, "set a ]\n");
    struct row {
        std::string toml;
        std::vector<std::string> args;
        std::string files; // the inputs reported, in order
    };
    const row rows[] = {
        {"", {}, "./a.tcl ./vendor/d.tcl "},
        {"extend-include = [\"*.exp\"]\nexclude = [\"vendor\"]\n", {}, "./a.tcl ./b.exp "},
        {"include = [\"*.sdc\"]\nhidden = true\n", {}, "./c.sdc "},
        {"include = [\"*.sdc\"]\n", {"--include=*.exp"}, "./b.exp "},
        {"hidden = true\n", {"--exclude=vendor"}, "./.hid/e.tcl ./a.tcl "},
    };
    for (const row &r : rows) {
        dir.write("delimcheck.toml", r.toml);
        std::vector<std::string> args = r.args;
        for (const char *a : {"--format=gcc", "--recursive", "."})
            args.emplace_back(a);
        std::string files;
        process_result p = run_binary(args, "", dir.path);
        for (std::size_t at = 0; at < p.out.size(); at = p.out.find('\n', at) + 1)
            if (p.out.compare(p.out.find(':', at), 7, ":1:7: e") == 0) // the report, not its notes
                files += p.out.substr(at, p.out.find(':', at) - at) + " ";
        EXPECT_EQ(files, r.files) << r.toml << p.err;
    }
}

// A project file met on the way down governs the walk below it, as the nearest one does for
// each input's checking: its own keys, not merged with those above, its globs from its place.
TEST(ProjectFile, NestedWalkKeys)
{
    temp_dir dir;
    for (const char *d : {"gen", "lib", "lib/gen", "lib/old", "lib/part", "lib/part/keep", "lib/part/skip"})
        ::mkdir((dir.path + "/" + d).c_str(), 0700);
    for (const char *name : {"a.tcl", "gen/g.tcl", "lib/gen/h.tcl", "lib/old/o.tcl", "lib/part/keep/k.tcl",
                             "lib/part/skip/s.tcl", "lib/x.exp"})
        dir.write(name, "set a ]\n");
    dir.write("delimcheck.toml", "exclude = [\"gen\"]\n");
    dir.write("lib/delimcheck.toml", "extend-include = [\"*.exp\"]\nexclude = [\"old\", \"part/skip\"]\n");
    struct row {
        std::vector<std::string> args;
        std::string files; // the inputs reported, in order
    };
    const row rows[] = {
        {{"."}, "./a.tcl ./lib/gen/h.tcl ./lib/part/keep/k.tcl ./lib/x.exp "},
        {{"lib"}, "lib/gen/h.tcl lib/part/keep/k.tcl lib/x.exp "},
        {{"lib/part"}, "lib/part/keep/k.tcl "},
        {{"--isolated", "."},
         "./a.tcl ./gen/g.tcl ./lib/gen/h.tcl ./lib/old/o.tcl ./lib/part/keep/k.tcl ./lib/part/skip/s.tcl "},
        {{"--config=delimcheck.toml", "."}, "./a.tcl ./lib/old/o.tcl ./lib/part/keep/k.tcl ./lib/part/skip/s.tcl "},
        // The command line wins over every project file.
        {{"--exclude=gen", "."}, "./a.tcl ./lib/old/o.tcl ./lib/part/keep/k.tcl ./lib/part/skip/s.tcl ./lib/x.exp "},
    };
    for (const row &r : rows) {
        std::vector<std::string> args{"--format=gcc", "--recursive"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        std::string files;
        process_result p = run_binary(args, "", dir.path);
        for (std::size_t at = 0; at < p.out.size(); at = p.out.find('\n', at) + 1)
            if (p.out.compare(p.out.find(':', at), 7, ":1:7: e") == 0)
                files += p.out.substr(at, p.out.find(':', at) - at) + " ";
        EXPECT_EQ(files, r.files) << r.args.front() << p.err;
    }
}

TEST(ProjectFile, BadOnesAreOneLineUsageErrors)
{
    struct row {
        const char *name;
        std::string content;
        std::string err; // after "delimcheck: DIR/delimcheck.toml"
    };
    const row rows[] = {
        {"not TOML", "select = [\n", ":1:12: "},
        {"unknown key", "\nselects = []\n", ":2:1: unknown key 'selects'\n"},
        {"wrong type", "hash-lines = \"no\"\n", ":1:14: 'hash-lines' takes true or false\n"},
        {"unknown code", "ignore = [\"wrong-closer\", \"bogus\"]\n",
         ":1:27: 'ignore' takes codes such as \"wrong-closer\", not 'bogus'\n"},
        {"a comma list in one string", "ignore = [\"wrong-closer,missing-closer\"]\n", ":1:11: 'ignore' takes codes"},
        {"bad severity", "severity = \"info\"\n", ":1:12: 'severity' takes \"error\" or \"warning\"\n"},
        {"per-file-ignores not a table", "per-file-ignores = [\"x\"]\n", ":1:20: 'per-file-ignores' takes a table"},
    };
    for (const row &r : rows) {
        temp_dir dir;
        dir.write("delimcheck.toml", r.content);
        dir.write("a.tcl", script);
        process_result p = run_binary({"a.tcl"}, "", dir.path);
        EXPECT_EQ(p.status, 2) << r.name;
        EXPECT_EQ(p.out, "") << r.name << ": nothing is checked";
        EXPECT_EQ(p.err.rfind("delimcheck: " + dir.path + "/delimcheck.toml" + r.err, 0), 0u) << r.name << ": " << p.err;
        EXPECT_EQ(std::count(p.err.begin(), p.err.end(), '\n'), 1) << r.name << ": " << p.err;
    }
    temp_dir dir;
    dir.write("a.tcl", script);
    process_result missing = run_binary({"--config=none.toml", "a.tcl"}, "", dir.path);
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "delimcheck: " + dir.path + "/none.toml: cannot be read: No such file or directory\n");
    for (const char *bad : {"--select=bogus", "--ignore=wrong-closer,", "--severity=info", "--select="}) {
        process_result p = run_binary({bad, "a.tcl"}, "", dir.path);
        EXPECT_EQ(p.status, 2) << bad;
        EXPECT_EQ(p.out, "") << bad;
        EXPECT_EQ(std::count(p.err.begin(), p.err.end(), '\n'), 1) << bad << ": " << p.err;
    }
}

// One finding accepted by a directive, one left: each format shows what it should of each.
TEST(Suppressed, InEveryFormat)
{
    temp_dir dir;
    dir.write("a.tcl", "set a ] ;# delimcheck: ignore=unmatched-closer\nset b ]\n");
    dir.write("clean.tcl", "# delimcheck: ignore\nset a ]\n");
    struct row {
        std::vector<std::string> args;
        std::vector<std::string> present, absent;
    };
    const row rows[] = {
        {{"-q", "a.tcl", "clean.tcl"}, {"File a.tcl:\nUnmatching ] : line 2 char 7\n"}, {"line 1 char", "clean.tcl"}},
        {{"--format=gcc", "a.tcl"}, {"a.tcl:2:7: error: Unmatching ]"}, {"a.tcl:1:"}},
        {{"--format=github", "a.tcl"}, {"line=2,col=7"}, {"line=1,"}},
        {{"--format=pretty", "--color=never", "a.tcl"}, {"a.tcl:2:7"}, {"a.tcl:1:7"}},
        {{"--format=json", "a.tcl"}, {"\"line\": 2"}, {"\"line\": 1", "suppressed"}},
        {{"--format=json", "--show-suppressed", "a.tcl"}, {"\"line\": 1, \"column\": 7", "\"suppressed\": \"inSource\""}, {}},
        {{"--format=sarif", "a.tcl"}, {"\"startLine\": 1", "\"suppressions\": [{\"kind\": \"inSource\"}]"}, {"external"}},
        {{"--format=sarif", "--ignore=unmatched-closer", "a.tcl"}, {"\"suppressions\": [{\"kind\": \"external\"}]"},
         {"inSource"}},
    };
    for (const row &r : rows) {
        process_result p = run_binary(r.args, "", dir.path);
        for (const std::string &s : r.present)
            EXPECT_NE(p.out.find(s), std::string::npos) << r.args.front() << " lacks " << s << ":\n" << p.out;
        for (const std::string &s : r.absent)
            EXPECT_EQ(p.out.find(s), std::string::npos) << r.args.front() << " has " << s << ":\n" << p.out;
    }
    // --status counts what is reported only.
    EXPECT_EQ(run_binary({"--status", "clean.tcl"}, "", dir.path).status, 0);
    EXPECT_EQ(run_binary({"--status", "a.tcl"}, "", dir.path).status, 1);
    EXPECT_EQ(run_binary({"--status", "--ignore=unmatched-closer", "a.tcl"}, "", dir.path).status, 0);
}

// A small file is read whole once, a large one as it streams and again for its directives:
// the same directive accepts the same finding in both, near the start or the end, and a
// byte-order mark before it changes nothing.
TEST(Suppressed, InSmallAndLargeFiles)
{
    temp_dir dir;
    const std::string filler(400u << 10, '\n'); // past what is read whole
    const std::string head = "set a ] ;# delimcheck: ignore\nset b ]\n";
    const std::string tail = "set c ]\nset d ] ;# delimcheck: ignore\n";
    struct row {
        const char *name;
        std::string text;
        const char *out;
    } rows[] = {
        {"small.tcl", head, "File small.tcl:\nUnmatching ] : line 2 char 7\n"},
        {"large.tcl", head + filler, "File large.tcl:\nUnmatching ] : line 2 char 7\n"},
        {"large_end.tcl", filler + tail, "File large_end.tcl:\nUnmatching ] : line 409601 char 7\n"},
        {"bom.tcl", "\xEF\xBB\xBF" + head, "File bom.tcl:\nUnmatching ] : line 2 char 7\n"},
        {"bom_large.tcl", "\xEF\xBB\xBF" + head + filler, "File bom_large.tcl:\nUnmatching ] : line 2 char 7\n"},
    };
    for (const row &r : rows) {
        dir.write(r.name, r.text);
        EXPECT_EQ(run_binary({r.name}, "", dir.path).out, r.out) << r.name;
    }
}

TEST(Suppressed, StandardInputFromAPipe)
{
    // Read through the directive reader as it is checked: a pipe cannot be read again.
    EXPECT_EQ(run_binary({}, "set a ] ;# delimcheck: ignore\nset b ]\n").out, "Unmatching ] : line 2 char 7\n");
    EXPECT_EQ(run_binary({"--report-unused-directives"}, "# delimcheck: ignore\nset b 1\n# delimcheck: nonsense\n").out,
              "Directive suppresses nothing : line 1 char 1\nMalformed directive : line 3 char 1\n");
}

// After --fix, what is left in the file is reported as a check of it would: what the user
// accepted stays accepted, by whatever said so.
TEST(Suppressed, StayAcceptedAfterAFix)
{
    const std::string blank = "set b x\\ \nset a 1\n}\n"; // -e warns of line 1; line 3 is fixed
    const std::string warned = "File a.tcl:\n\\ followed by blank space at the end of line 1.\n";
    struct row {
        std::vector<std::string> args;
        std::string script, project; // project: delimcheck.toml, when not empty
        std::string out;
        int status;
    };
    const row rows[] = {
        {{"-e"}, blank, "", warned, 1},
        {{}, blank, "backslash-blank = true\n", warned, 1}, // the input's own options, not the run's
        {{"-e", "--ignore=backslash-blank"}, blank, "", "File a.tcl:\n", 0},
        {{"-e", "--select=unmatched-closer"}, blank, "", "File a.tcl:\n", 0},
        {{"-e", "--severity=error"}, blank, "", "File a.tcl:\n", 0},
        {{"-e"}, "# delimcheck: ignore=backslash-blank\n" + blank, "", "File a.tcl:\n", 0},
        {{"-e"}, blank, "ignore = [\"backslash-blank\"]\n", "File a.tcl:\n", 0},
        {{"-e"}, blank, "[per-file-ignores]\n\"a.tcl\" = [\"backslash-blank\"]\n", "File a.tcl:\n", 0},
        {{"-e", "--format=json"}, blank, "ignore = [\"backslash-blank\"]\n", "[\n]\n", 0},
        // Malformed and unused directives are found in the fixed file too.
        {{"-e", "--report-unused-directives"}, "# delimcheck: ignore=wrong-closer\n# delimcheck: nonsense\n" + blank, "",
         "File a.tcl:\n\\ followed by blank space at the end of line 3.\n"
         "Directive suppresses nothing : line 1 char 1\nMalformed directive : line 2 char 1\n",
         1},
    };
    for (const row &r : rows) {
        temp_dir dir;
        dir.write("a.tcl", r.script);
        if (!r.project.empty())
            dir.write("delimcheck.toml", r.project);
        std::vector<std::string> args = r.args;
        for (const char *a : {"--fix", "--unsafe-fixes", "--status", "a.tcl"})
            args.push_back(a);
        process_result p = run_binary(args, "", dir.path);
        std::string fixed = r.script.substr(0, r.script.size() - 2);
        EXPECT_EQ(slurp(dir.path + "/a.tcl"), fixed) << args.front() << " " << r.project;
        EXPECT_EQ(p.out, r.out) << args.front() << " " << r.project;
        EXPECT_EQ(p.status, r.status) << args.front() << " " << r.project;
    }
}

// Under --fix, an input with more findings than are held is checked once more for them: through
// the selection and the directives too, so that its output is the plain check's.
TEST(Suppressed, StayAcceptedPastTheFindingsHeld)
{
    temp_dir dir;
    std::string many = "set b ] ;# delimcheck: ignore\n";
    for (int i = 0; i < 5000; ++i)
        many += "set a ]\nputs \"x\"y\n";
    dir.write("many.tcl", many);
    for (std::vector<std::string> args : {std::vector<std::string>{}, {"--ignore=unmatched-closer"}, {"--severity=error"}}) {
        args.push_back("many.tcl");
        process_result plain = run_binary(args, "", dir.path);
        args.insert(args.begin(), "--fix");
        process_result fixed = run_binary(args, "", dir.path);
        EXPECT_EQ(fixed.out, plain.out) << args[1];
        EXPECT_EQ(slurp(dir.path + "/many.tcl"), many) << "no single edit mends it";
    }
}

// A named FIFO is read once, and its directives with it, as a pipe on standard input is; with
// --diff its bytes are held, and an accepted fault is offered no repair, as in a file.
TEST(Suppressed, NamedFifo)
{
    struct row {
        std::vector<std::string> args;
        std::string script, out;
    };
    const row rows[] = {
        {{}, "set a ] ;# delimcheck: ignore\nset b ]\n", "File in:\nUnmatching ] : line 2 char 7\n"},
        {{"--report-unused-directives"}, "# delimcheck: ignore\nset b 1\n# delimcheck: nonsense\n",
         "File in:\nDirective suppresses nothing : line 1 char 1\nMalformed directive : line 3 char 1\n"},
        {{"--diff"}, "set a 1\n} ;# delimcheck: ignore\n", ""},
        {{"--diff"}, "set a 1\n}\n", "--- in\tunsafe\n+++ in\n@@ -1,2 +1,1 @@\n set a 1\n-}\n"},
        {{"--statistics"}, "set a ] ;# delimcheck: ignore\nset b ]\n", "1  unmatched-closer  A closing delimiter with nothing open\n"},
    };
    for (const row &r : rows) {
        for (bool fifo : {false, true}) {
            temp_dir dir;
            dir.write("script", r.script);
            std::string command = "cd '" + dir.path + "' && ";
            command += fifo ? "mkfifo in && { cat script > in & } && " : "cp script in && ";
            command += "timeout 20 '" + std::string(DELIMCHECK_BINARY) + "'";
            for (const std::string &a : r.args)
                command += " " + a;
            command += " in > out";
            int status = std::system(command.c_str());
            ASSERT_TRUE(WIFEXITED(status)) << command;
            EXPECT_EQ(slurp(dir.path + "/out"), r.out) << command;
        }
    }
}

TEST(Statistics, CountsPerCodeMostFirst)
{
    temp_dir dir;
    dir.write("a.tcl", "set a ]\nset b ]\nputs \"x\"y\n");
    dir.write("b.tcl", "set a ] ;# delimcheck: ignore\nproc p {\n");
    process_result p = run_binary({"--statistics", "--status", "a.tcl", "b.tcl"}, "", dir.path);
    EXPECT_EQ(p.out, "2  unmatched-closer    A closing delimiter with nothing open\n"
                     "1  extra-after-string  A closing quote followed by a stray character\n"
                     "1  missing-closer      An opener left open at the end of the input\n");
    EXPECT_EQ(p.status, 1);
    EXPECT_EQ(run_binary({"--statistics", "--format=json", "a.tcl"}, "", dir.path).status, 2);
}

} // namespace
