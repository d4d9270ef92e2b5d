// --diff, --fix and the pretty format through the binary: the diff that patch applies, the
// files rewritten only when their repair leaves them clean, and what is said of each.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "harness.h"

namespace {

// Inputs whose first fault has a repair, the one a reader would make.
const std::vector<std::pair<std::string, std::string>> mendable = {
    {"lost.tcl", "proc p {x} {\n    if {$x} {\n        puts a\n    puts b\n}\n"},
    {"a b.tcl", "set a [list 1 2\nputs $a\n"},
    {"quote.tcl", "proc q {} {\n    puts \"x\n}\n"},
    {"stray.tcl", "set a 1\n}\nset b 2\n"},
};
// Three faults: no one edit makes it clean, so it is never touched.
const std::string many_faults = "proc p {} {\n    set a [list }\n    puts \"a\"b\n";
const std::string clean = "proc p {} {\n    return 1\n}\n";

struct repair_fixture : ::testing::Test {
    temp_dir dir;
    temp_dir scripts; // kept apart, so that dir holds the inputs only

    void SetUp() override
    {
        for (const auto &[name, text] : mendable)
            dir.write(name, text);
        dir.write("many.tcl", many_faults);
        dir.write("clean.tcl", clean);
    }
    process_result run(const std::vector<std::string> &args, const std::string &input = "")
    {
        return run_binary(args, input, dir.path);
    }
    // A shell script run in dir, with $BIN the binary; its exit status.
    int sh(const std::string &script)
    {
        std::string path = scripts.write("script.sh", script);
        std::string command = "cd '" + dir.path + "' && BIN='" + DELIMCHECK_BINARY + "' sh '" + path + "'";
        int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string file(const std::string &name) { return slurp(dir.path + "/" + name); }
    std::vector<std::string> names(bool with_others)
    {
        std::vector<std::string> n;
        for (const auto &m : mendable)
            n.push_back(m.first);
        if (with_others) {
            n.push_back("many.tcl");
            n.push_back("clean.tcl");
        }
        return n;
    }
};

using Repair = repair_fixture;

std::vector<std::string> with(std::vector<std::string> options, const std::vector<std::string> &names)
{
    options.insert(options.end(), names.begin(), names.end());
    return options;
}

std::vector<std::string> lines(const std::string &s)
{
    std::vector<std::string> v;
    std::istringstream in(s);
    for (std::string l; std::getline(in, l);)
        v.push_back(l);
    return v;
}

// Nothing but the diffs on standard output; patch -p0 applies them from where the command ran,
// and every input repaired checks clean, while the others stay as they were.
TEST_F(Repair, DiffIsWhatPatchApplies)
{
    ::mkdir((dir.path + "/sub").c_str(), 0755);
    dir.write("sub/s.tcl", "set a 1\n}\n");
    std::vector<std::string> inputs = names(true);
    inputs.push_back("./sub/s.tcl");
    process_result r = run(with({"--diff"}, inputs));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    // A repair that is not safe is marked after a tab on its first header line; a lone } that
    // Tcl reads as a word never makes a safe one.
    EXPECT_NE(r.out.find("--- ./sub/s.tcl\tunsafe\n"), std::string::npos) << r.out;
    std::string marked = r.out;
    for (std::size_t at; (at = r.out.find("\tunsafe\n")) != std::string::npos;)
        r.out.erase(at, 7);
    ASSERT_TRUE(r.out.starts_with("--- lost.tcl\n+++ lost.tcl\n@@ ")) << r.out;
    EXPECT_NE(r.out.find("--- \"a b.tcl\"\n+++ \"a b.tcl\"\n@@ "), std::string::npos) << "a quoted name";
    for (const std::string &l : lines(r.out))
        EXPECT_TRUE(l.starts_with("--- ") || l.starts_with("+++ ") || l.starts_with("@@ -") || l.starts_with(" ") ||
                    l.starts_with("-") || l.starts_with("+"))
            << l;
    EXPECT_NE(r.out.find("--- ./sub/s.tcl\n+++ ./sub/s.tcl\n@@ -1,2 +1,1 @@\n set a 1\n-}\n"), std::string::npos)
        << "the operand's name as given:\n" << r.out;
    EXPECT_EQ(r.out.find("many.tcl"), std::string::npos);
    EXPECT_EQ(r.out.find("clean.tcl"), std::string::npos);
    EXPECT_EQ(run(with({"--diff", "--status"}, inputs)).status, 1) << "--status tells what was reported";
    EXPECT_EQ(run(with({"--diff", "--jobs=3"}, inputs)).out, marked) << "in input order whatever the jobs";

    scripts.write("d.diff", marked);
    ASSERT_EQ(sh("command -v patch >/dev/null || exit 77; patch -p0 --batch --quiet < '" + scripts.path + "/d.diff'"),
              0);
    process_result after = run(with({"--status"}, with({"sub/s.tcl"}, names(false))));
    EXPECT_EQ(after.status, 0) << after.out;
    EXPECT_EQ(file("stray.tcl"), "set a 1\nset b 2\n");
    EXPECT_EQ(file("a b.tcl"), "set a [list 1 2]\nputs $a\n");
    EXPECT_EQ(file("many.tcl"), many_faults);
    EXPECT_EQ(run(with({"--diff"}, inputs)).out, "") << "nothing left to repair";
}

// The usual report on standard output, one line on standard error for each file fixed, in
// input order; the repaired files check clean, keep their mode, and nothing else is left.
TEST_F(Repair, FixRewritesWhatItMendsClean)
{
    ASSERT_EQ(::chmod((dir.path + "/lost.tcl").c_str(), 0640), 0);
    const std::string report = run(names(true)).out;
    process_result r = run(with({"--fix", "--status"}, names(true)));
    EXPECT_EQ(r.out, report);
    std::vector<std::string> said = lines(r.err);
    ASSERT_EQ(said.size(), mendable.size()) << r.err;
    for (std::size_t i = 0; i < said.size(); ++i)
        EXPECT_TRUE(said[i].starts_with("delimcheck: fixed " + mendable[i].first + ": ")) << said[i];
    EXPECT_EQ(said[3], "delimcheck: fixed stray.tcl: delete line 2");
    EXPECT_EQ(r.status, 1) << "many.tcl is left with its faults";
    EXPECT_EQ(run(with({"--status"}, names(false))).status, 0);
    EXPECT_EQ(file("many.tcl"), many_faults);
    EXPECT_EQ(file("clean.tcl"), clean);
    struct stat st {};
    ASSERT_EQ(::stat((dir.path + "/lost.tcl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    std::vector<std::string> headers;
    for (const std::string &l : lines(run({"--recursive", "--include=*", "."}).out))
        if (l.starts_with("File "))
            headers.push_back(l);
    std::vector<std::string> expected_headers = {"File ./a b.tcl:", "File ./clean.tcl:", "File ./lost.tcl:",
                                                 "File ./many.tcl:", "File ./quote.tcl:", "File ./stray.tcl:"};
    EXPECT_EQ(headers, expected_headers) << "no file is left beside them";

    for (const auto &[name, text] : mendable)
        dir.write(name, text);
    EXPECT_EQ(run(with({"--fix", "--status"}, names(false))).status, 0) << "a fixed file counts as clean";
}

TEST_F(Repair, FixFollowsALinkToItsTarget)
{
    ::mkdir((dir.path + "/real").c_str(), 0755);
    dir.write("real/s.tcl", "set a 1\n}\n");
    ASSERT_EQ(::symlink("real/s.tcl", (dir.path + "/link.tcl").c_str()), 0);
    process_result r = run({"--fix", "link.tcl"});
    EXPECT_EQ(r.err, "delimcheck: fixed link.tcl: delete line 2\n");
    EXPECT_EQ(r.status, 0);
    struct stat st {};
    ASSERT_EQ(::lstat((dir.path + "/link.tcl").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(file("real/s.tcl"), "set a 1\n");
}

// A file named twice is fixed once, on any number of jobs: the second time it is read as the
// first rewrite left it. A warning that -e asks for does not stand in the repair's way.
TEST_F(Repair, FixOnceWhateverTheJobsAndWarnings)
{
    for (const char *jobs : {"--jobs=1", "--jobs=2"}) {
        dir.write("lost.tcl", mendable[0].second);
        process_result r = run({"--fix", jobs, "lost.tcl", "lost.tcl", "./lost.tcl"});
        EXPECT_EQ(r.err, "delimcheck: fixed lost.tcl: insert } before line 4\n") << jobs;
        EXPECT_EQ(r.status, 0) << jobs;
    }
    dir.write("warned.tcl", "puts a\\ \n" + mendable[0].second);
    process_result warned = run({"-e", "--fix", "warned.tcl"});
    EXPECT_EQ(warned.err, "delimcheck: fixed warned.tcl: insert } before line 5\n");
    EXPECT_EQ(run({"-e", "warned.tcl"}).out.find("missing"), std::string::npos) << "only the warning is left";
}

// A full disk and a read-only directory, each in a mount namespace of its own: the error on
// standard error, status 2, the file as it was and no file beside it.
TEST_F(Repair, FixThatCannotWriteLosesNothing)
{
    if (sh("command -v unshare >/dev/null && unshare -m true 2>/dev/null") != 0)
        GTEST_SKIP() << "unshare -m is not permitted here: the full and read-only file systems are not tested";
    const struct {
        const char *name;
        const char *mount; // makes directory m, holding f.tcl, full or read-only
        int error;
    } cases[] = {
        {"full", "mount -t tmpfs -o size=64k tmpfs m && cp lost.tcl m/f.tcl && { cat /dev/zero > m/filler 2>/dev/null; true; }",
         ENOSPC},
        {"read_only", "cp lost.tcl m/f.tcl && mount --bind m m && mount -o remount,ro,bind m", EROFS},
    };
    for (const auto &c : cases) {
        ::mkdir((dir.path + "/m").c_str(), 0755);
        int status = sh(std::string("unshare -m sh -c 'mount --make-rprivate / && ") + c.mount +
                        " || exit 3\n"
                        "\"$BIN\" --fix m/f.tcl > out 2> err; echo $? > status\n"
                        "cmp -s lost.tcl m/f.tcl && echo intact > intact; ls -A m > listing'");
        ASSERT_EQ(status, 0) << c.name;
        EXPECT_EQ(file("status"), "2\n") << c.name;
        EXPECT_TRUE(file("err").starts_with("delimcheck: cannot fix m/f.tcl: ")) << file("err");
        EXPECT_NE(file("err").find(std::strerror(c.error)), std::string::npos) << file("err");
        EXPECT_EQ(lines(file("err")).size(), 1u) << file("err");
        EXPECT_EQ(file("intact"), "intact\n") << c.name;
        EXPECT_EQ(file("listing"), c.error == ENOSPC ? "f.tcl\nfiller\n" : "f.tcl\n") << c.name;
        EXPECT_EQ(file("out"), "File m/f.tcl:\n} missing, opened on line 1 char 12\n") << c.name;
        sh("rm -rf m out err status intact listing");
    }
}

// For people: the lines with their carets and the repair; colour as asked, or on a terminal
// unless NO_COLOR says otherwise.
TEST_F(Repair, PrettyFormat)
{
    process_result r = run({"--format=pretty", "lost.tcl"});
    EXPECT_EQ(r.status, 0);
    for (const char *part : {"lost.tcl:5:2: error: } missing, opened on line 1 char 12\n",
                             "    1 | proc p {x} {\n      |            ^ { opened here, never closed\n",
                             "    5 | }\n      |  ^ the input ends here\n", "  repair: insert } before line 4\n",
                             "    3 |          puts a\n      | +    }\n    4 |      puts b\n"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\nin:\n" << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << "no colour into a file";
    EXPECT_NE(run({"--format=pretty", "--color=always", "lost.tcl"}).out.find("\x1b[1;31merror: \x1b[0m"),
              std::string::npos);
    EXPECT_EQ(run({"--format=pretty", "--color=never", "lost.tcl"}).out, r.out);
    EXPECT_NE(run({"--format=pretty"}, mendable[0].second).out.find("  at 1:12: { opened here, never closed\n"),
              std::string::npos)
        << "standard input is not read again: places without lines";

    // A FIFO is not opened again for its lines, which would wait for a writer; a name is shown
    // without the bytes that would steer the terminal.
    ASSERT_EQ(sh("mkfifo fifo && { printf 'proc a {\\n' > fifo & } && timeout 20 \"$BIN\" --format=pretty fifo > "
                 "fifo.out; echo $? > fifo.status"),
              0);
    EXPECT_EQ(file("fifo.status"), "0\n");
    EXPECT_NE(file("fifo.out").find("  at 1:8: { opened here, never closed\n"), std::string::npos) << file("fifo.out");
    dir.write("esc\x1b[2J.tcl", "puts [x\n");
    EXPECT_TRUE(run({"--format=pretty", "esc\x1b[2J.tcl"}).out.starts_with("esc?[2J.tcl:"));

    if (sh("command -v script >/dev/null") != 0)
        GTEST_SKIP() << "no script(1) for a terminal: --color=auto on a terminal is not tested";
    const struct {
        const char *environment;
        bool colour;
    } terminals[] = {{"unset NO_COLOR;", true}, {"NO_COLOR= ", true}, {"NO_COLOR=1 ", false}};
    for (const auto &t : terminals) {
        ASSERT_EQ(sh(std::string(t.environment) + " script -qec \"$BIN --format=pretty lost.tcl\" /dev/null > tty"), 0);
        EXPECT_EQ(file("tty").find("\x1b[1;31merror") != std::string::npos, t.colour) << t.environment << file("tty");
    }
}

} // namespace
