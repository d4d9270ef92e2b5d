// --diff, --fix and the pretty format through the binary: the diff that patch applies, the
// files rewritten only when their repair leaves them clean, and what is said of each.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iostream>
#include <cstdlib>
#include <cstring>
#include <memory>
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
// Faults that no one edit mends, together or each apart from the others: never touched.
const std::string many_faults = "# two lines\nputs [a \"b]\n\"c\n";
// A new fault beside an old finding: one edit mends the fault and leaves the old finding.
const std::string beside_old = "proc p {} {\n    set a [list }\n    puts \"a\"b\n";
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

// What is left in each file on standard output, one line on standard error for each file
// fixed, in input order, and one that sums up; the repaired files check clean, keep their mode,
// and nothing else is left. --unsafe-fixes makes every repair, whichever the search holds safe.
TEST_F(Repair, FixRewritesWhatItMendsClean)
{
    ASSERT_EQ(::chmod((dir.path + "/lost.tcl").c_str(), 0640), 0);
    process_result r = run(with({"--fix", "--unsafe-fixes", "--status"}, names(true)));
    EXPECT_EQ(r.out, run(names(true)).out) << "the report of the files as they now are";
    EXPECT_EQ(r.out.find("missing, opened on line 1"), std::string::npos) << "nothing that was mended:\n" << r.out;
    std::vector<std::string> said = lines(r.err);
    ASSERT_EQ(said.size(), mendable.size() + 1) << r.err;
    for (std::size_t i = 0; i < mendable.size(); ++i)
        EXPECT_TRUE(said[i].starts_with("delimcheck: fixed " + mendable[i].first + ": ")) << said[i];
    EXPECT_EQ(said[3], "delimcheck: fixed stray.tcl: delete line 2");
    EXPECT_EQ(said[4], "delimcheck: 4 files fixed; 1 file with faults and no repair (1: no single edit mends them)");
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
    EXPECT_EQ(run(with({"--fix", "--unsafe-fixes", "--status"}, names(false))).status, 0) << "a fixed file counts as clean";
    for (const auto &[name, text] : mendable)
        dir.write(name, text);
    process_result json = run(with({"--fix", "--unsafe-fixes", "--format=json"}, names(true)));
    EXPECT_EQ(json.out, run(with({"--format=json"}, names(true))).out) << "every format reports what is left";
}

// Without --unsafe-fixes, --fix makes only the repairs the search holds safe: each file is
// either fixed and said so, or left as it was and counted as held back, and the line that sums
// up adds up; --diff shows every repair whatever --fix would do.
TEST_F(Repair, FixMakesOnlySafeRepairs)
{
    const std::string diff = run(with({"--diff"}, names(true))).out;
    process_result r = run(with({"--fix"}, names(true)));
    std::size_t fixed = 0;
    for (const auto &[name, text] : mendable) {
        bool said = r.err.find("delimcheck: fixed " + name + ": ") != std::string::npos;
        fixed += said;
        if (!said)
            EXPECT_EQ(file(name), text) << name << " is held back, and so left alone";
        else
            EXPECT_NE(file(name), text) << name;
    }
    std::string summary = "delimcheck: " + std::to_string(fixed) + (fixed == 1 ? " file" : " files") + " fixed";
    std::size_t held = mendable.size() - fixed;
    if (held > 0)
        summary += "; " + std::to_string(held) + (held == 1 ? " file" : " files") +
                   " with repairs held back as unsafe (--unsafe-fixes makes them, --diff shows them)";
    summary += "; 1 file with faults and no repair (1: no single edit mends them)\n";
    EXPECT_TRUE(r.err.ends_with(summary)) << r.err;
    EXPECT_EQ(lines(r.err).size(), fixed + 1) << r.err;
    EXPECT_EQ(r.status, 0);
    for (const auto &[name, text] : mendable)
        dir.write(name, text);
    EXPECT_EQ(run(with({"--diff", "--fix"}, names(true))).out, diff) << "--diff shows the repairs --fix holds back";
    EXPECT_EQ(run({"--unsafe-fixes", "lost.tcl"}).status, 2) << "--unsafe-fixes needs --fix";
}

// Real files hold old findings beside a new fault: the edit that mends the new fault and leaves
// the old findings as they stood is its repair. It is shown, and patch applies it; --fix holds
// it back, since no such edit is sure, and --unsafe-fixes writes it; the old finding stays.
TEST_F(Repair, AFaultBesideOldFindingsIsMendedApart)
{
    dir.write("beside.tcl", beside_old);
    const std::string mended = "proc p {} {\n    set a [list] }\n    puts \"a\"b\n";
    const std::string left = "File beside.tcl:\nExtra characters after string : line 3 char 12\n";
    process_result diff = run({"--diff", "beside.tcl"});
    EXPECT_EQ(diff.out, "--- beside.tcl\tunsafe\n+++ beside.tcl\n@@ -1,3 +1,3 @@\n proc p {} {\n-    set a [list }\n"
                        "+    set a [list] }\n     puts \"a\"b\n");
    process_result fix = run({"--fix", "beside.tcl"});
    EXPECT_EQ(file("beside.tcl"), beside_old);
    EXPECT_EQ(fix.err, "delimcheck: 0 files fixed; 1 file with repairs held back as unsafe (--unsafe-fixes makes "
                       "them, --diff shows them)\n");
    process_result unsafe = run({"--fix", "--unsafe-fixes", "beside.tcl"});
    EXPECT_EQ(file("beside.tcl"), mended);
    EXPECT_EQ(unsafe.err, "delimcheck: fixed beside.tcl: insert ] at line 2 char 16\ndelimcheck: 1 file fixed\n");
    EXPECT_EQ(unsafe.out, left) << "what is left after the fix";
    dir.write("beside.tcl", beside_old);
    scripts.write("b.diff", diff.out);
    ASSERT_EQ(sh("command -v patch >/dev/null || exit 77; patch -p0 --batch --quiet < '" + scripts.path + "/b.diff'"),
              0);
    EXPECT_EQ(file("beside.tcl"), mended);
    EXPECT_EQ(run({"beside.tcl"}).out, left);
}

// The line that sums up says why a file with faults has no repair: no single edit, or a file
// too big for the search; a file that could not be opened is said, and fails the run.
TEST_F(Repair, FixSaysWhatItLeft)
{
    std::string big = mendable[0].second;
    while (big.size() <= 4 * 1024 * 1024)
        big += "# " + std::string(1000, 'x') + "\n";
    dir.write("big.tcl", big);
    process_result r = run({"--fix", "--unsafe-fixes", "big.tcl", "many.tcl", "clean.tcl"});
    EXPECT_EQ(r.err, "delimcheck: 0 files fixed; 2 files with faults and no repair (1: no single edit mends them, "
                     "1: too large to mend)\n");
    EXPECT_EQ(r.status, 0);
    // A file left as it was is reported as a plain check reports it, however many findings
    // it has (beyond a bound they are found again rather than kept).
    std::string closers;
    for (int i = 0; i < 5000; ++i)
        closers += i % 2 == 0 ? "}\n" : "  ]\n";
    dir.write("closers.tcl", closers);
    for (const char *listing : {"-q", "-s"}) {
        EXPECT_EQ(run({"--fix", listing, "closers.tcl", "many.tcl"}).out, run({listing, "closers.tcl", "many.tcl"}).out)
            << listing;
    }
    const struct {
        std::vector<std::string> args;
        std::string err;
    } unopened[] = {
        {{"--fix", "gone.tcl", "clean.tcl"},
         "delimcheck: cannot open gone.tcl: No such file or directory\ndelimcheck: 0 files fixed\n"},
        {{"--diff", "gone.tcl", "clean.tcl"}, "delimcheck: cannot open gone.tcl: No such file or directory\n"},
        {{"--diff", "."}, "delimcheck: cannot open .: Is a directory\n"},
    };
    for (const auto &c : unopened) {
        process_result u = run(c.args);
        EXPECT_EQ(u.err, c.err) << c.args[0];
        EXPECT_EQ(u.status, 2) << c.args[0];
    }
}

TEST_F(Repair, FixFollowsALinkToItsTarget)
{
    ::mkdir((dir.path + "/real").c_str(), 0755);
    dir.write("real/s.tcl", "set a 1\n}\n");
    ASSERT_EQ(::symlink("real/s.tcl", (dir.path + "/link.tcl").c_str()), 0);
    process_result r = run({"--fix", "--unsafe-fixes", "link.tcl"});
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(dir.path.c_str(), nullptr), &std::free);
    ASSERT_TRUE(real);
    EXPECT_EQ(r.err, "delimcheck: fixed link.tcl (the file " + std::string(real.get()) +
                         "/real/s.tcl): delete line 2\ndelimcheck: 1 file fixed\n")
        << "the file rewritten is named";
    EXPECT_EQ(r.status, 0);
    struct stat st {};
    ASSERT_EQ(::lstat((dir.path + "/link.tcl").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(file("real/s.tcl"), "set a 1\n");

    // A walk meets a link that leads out of its tree: the file outside is the one named.
    ::mkdir((dir.path + "/tree").c_str(), 0755);
    dir.write("outside.tcl", "set a 1\n}\n");
    ASSERT_EQ(::symlink("../outside.tcl", (dir.path + "/tree/in.tcl").c_str()), 0);
    process_result walk = run({"--fix", "--unsafe-fixes", "--recursive", "tree"});
    EXPECT_EQ(walk.err, "delimcheck: fixed tree/in.tcl (the file " + std::string(real.get()) +
                            "/outside.tcl): delete line 2\ndelimcheck: 1 file fixed\n");
    EXPECT_EQ(file("outside.tcl"), "set a 1\n");

    // A link among the directories on the way: the file is named where it is.
    ASSERT_EQ(::symlink("real", (dir.path + "/via").c_str()), 0);
    dir.write("real/t.tcl", "set a 1\n}\n");
    EXPECT_EQ(run({"--fix", "--unsafe-fixes", "via/t.tcl"}).err,
              "delimcheck: fixed via/t.tcl (the file " + std::string(real.get()) + "/real/t.tcl): delete line 2\n"
              "delimcheck: 1 file fixed\n");
    dir.write("real/t.tcl", "set a 1\n}\n");
    EXPECT_EQ(run({"--fix", "--unsafe-fixes", "./real/../real/t.tcl"}).err,
              "delimcheck: fixed ./real/../real/t.tcl: delete line 2\ndelimcheck: 1 file fixed\n")
        << "no link, no second name";
}

// A file named twice, or through a link too, is taken once, on any number of jobs, by --fix and
// by --diff alike. A warning that -e asks for does not stand in the repair's way.
TEST_F(Repair, FixOnceWhateverTheJobsAndWarnings)
{
    for (const char *jobs : {"--jobs=1", "--jobs=2"}) {
        dir.write("lost.tcl", mendable[0].second);
        ASSERT_EQ(::symlink("lost.tcl", (dir.path + "/again.tcl").c_str()), 0);
        process_result d = run({"--diff", jobs, "lost.tcl", "lost.tcl", "./lost.tcl", "again.tcl"});
        EXPECT_EQ(d.out, run({"--diff", "lost.tcl"}).out) << jobs << ": one diff, which patch applies";
        process_result r = run({"--fix", "--unsafe-fixes", jobs, "lost.tcl", "lost.tcl", "./lost.tcl", "again.tcl"});
        EXPECT_EQ(r.err, "delimcheck: fixed lost.tcl: insert } before line 4\ndelimcheck: 1 file fixed\n") << jobs;
        EXPECT_EQ(r.out, "File lost.tcl:\n") << jobs << ": the file once, as it now is";
        EXPECT_EQ(r.status, 0) << jobs;
        ::unlink((dir.path + "/again.tcl").c_str());
    }
    ASSERT_EQ(::link((dir.path + "/stray.tcl").c_str(), (dir.path + "/hard.tcl").c_str()), 0);
    EXPECT_EQ(run({"--diff", "stray.tcl", "hard.tcl"}).out, run({"--diff", "stray.tcl"}).out) << "a hard link is the file";
    dir.write("warned.tcl", "puts a\\ \n" + mendable[0].second);
    process_result warned = run({"-e", "--fix", "--unsafe-fixes", "warned.tcl"});
    EXPECT_EQ(warned.err, "delimcheck: fixed warned.tcl: insert } before line 5\ndelimcheck: 1 file fixed\n");
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
                        "\"$BIN\" --fix --unsafe-fixes m/f.tcl > out 2> err; echo $? > status\n"
                        "cmp -s lost.tcl m/f.tcl && echo intact > intact; ls -A m > listing'");
        ASSERT_EQ(status, 0) << c.name;
        EXPECT_EQ(file("status"), "2\n") << c.name;
        EXPECT_TRUE(file("err").starts_with("delimcheck: cannot fix m/f.tcl: ")) << file("err");
        EXPECT_NE(file("err").find(std::strerror(c.error)), std::string::npos) << file("err");
        EXPECT_TRUE(file("err").ends_with("\ndelimcheck: 0 files fixed; 1 file could not be rewritten\n")) << file("err");
        EXPECT_EQ(lines(file("err")).size(), 2u) << file("err");
        EXPECT_EQ(file("intact"), "intact\n") << c.name;
        EXPECT_EQ(file("listing"), c.error == ENOSPC ? "f.tcl\nfiller\n" : "f.tcl\n") << c.name;
        EXPECT_EQ(file("out"), "File m/f.tcl:\n} missing, opened on line 1 char 12\n") << c.name;
        sh("rm -rf m out err status intact listing");
    }
}

// What --fix must not do to a file: take it from its owner, write one the user may not or
// that is read-only, or drop its extended attributes or ACLs. Each case sets up lost.tcl with a
// shell script, runs the fix (as nobody when `as` says so) and looks at the file afterwards.
// The binary and dir must be reachable by nobody, which a build in a private home is not.
#define AS_NOBODY_CAN_RUN                                                                                              \
    "{ setpriv --reuid=65534 --regid=65534 --clear-groups sh -c '\"$BIN\" --version && cat lost.tcl' >/dev/null 2>&1 " \
    "|| exit 77; }"

TEST_F(Repair, FixNeverHarmsAFile)
{
    const std::string fixed = "proc p {x} {\n    if {$x} {\n        puts a\n    }\n    puts b\n}\n";
    const struct {
        const char *name;
        const char *setup;  // run in dir as root; exit 77 skips the case
        const char *as;     // "" or the setpriv options that run the fix as another user
        const char *said;   // what standard error starts with
        bool rewritten;
        const char *after;  // run in dir as root after the fix; its output must be "same"
    } cases[] = {
        {"another_user", "[ \"$(id -u)\" = 0 ] || exit 77; chmod 0777 . && chmod 0644 lost.tcl && " AS_NOBODY_CAN_RUN, "--reuid=65534 --regid=65534 --clear-groups",
         "delimcheck: cannot fix lost.tcl: you may not write it\n", false,
         "[ \"$(stat -c %u:%g:%a lost.tcl)\" = 0:0:644 ] && echo same"},
        {"owner_not_kept",
         "[ \"$(id -u)\" = 0 ] || exit 77; chmod 0777 . && chgrp 65534 lost.tcl && chmod 0664 lost.tcl && " AS_NOBODY_CAN_RUN,
         "--reuid=65534 --regid=65534 --clear-groups",
         "delimcheck: cannot fix lost.tcl: cannot keep its owner and group: Operation not permitted\n", false,
         "[ \"$(stat -c %u:%g:%a lost.tcl)\" = 0:65534:664 ] && echo same"},
        {"read_only", "[ \"$(id -u)\" = 0 ] || exit 77; chmod 0444 lost.tcl", "", "delimcheck: cannot fix lost.tcl: it is read-only\n", false,
         "[ \"$(stat -c %a lost.tcl)\" = 444 ] && echo same"},
        {"extended_attribute",
         "command -v setfattr >/dev/null || exit 77; setfattr -n user.origin -v 'kept as it was' lost.tcl || exit 77",
         "", "delimcheck: fixed lost.tcl: insert } before line 4\n", true,
         "[ \"$(getfattr --only-values -n user.origin lost.tcl)\" = 'kept as it was' ] && echo same"},
        {"acl",
         "command -v setfacl >/dev/null || exit 77; chmod 0640 lost.tcl && setfacl -m u:65534:rw,m::r lost.tcl || exit 77; "
         "getfacl -cp lost.tcl > acl.before",
         "", "delimcheck: fixed lost.tcl: insert } before line 4\n", true,
         "getfacl -cp lost.tcl | cmp -s - acl.before && [ \"$(stat -c %a lost.tcl)\" = 640 ] && echo same"},
    };
    for (const auto &c : cases) {
        dir.write("lost.tcl", mendable[0].second);
        int setup = sh(c.setup);
        if (setup == 77) {
            std::cout << "[  SKIPPED ] " << c.name << ": it needs root, or a tool that is missing\n";
            continue;
        }
        ASSERT_EQ(setup, 0) << c.name;
        std::string runner = *c.as != '\0' ? std::string("setpriv ") + c.as + " " : "";
        ASSERT_EQ(sh(runner + "\"$BIN\" --fix --unsafe-fixes lost.tcl > out 2> err; echo $? > status"), 0) << c.name;
        EXPECT_TRUE(file("err").starts_with(c.said)) << c.name << ": " << file("err");
        EXPECT_EQ(file("status"), c.rewritten ? "0\n" : "2\n") << c.name;
        EXPECT_EQ(file("lost.tcl"), c.rewritten ? fixed : mendable[0].second) << c.name;
        scripts.write("after.sh", c.after);
        EXPECT_EQ(sh("sh '" + scripts.path + "/after.sh' > same; rm -f out err status acl.before"), 0);
        EXPECT_EQ(file("same"), "same\n") << c.name << ": " << c.after;
        sh("rm -f same; chmod 0700 .; chmod 0644 lost.tcl");
    }
}

// With standard output on a full device, each file rewritten was said to be on standard
// error before it was, the run fails, and a file not said to be fixed is as it was.
TEST_F(Repair, FixWithNowhereToReport)
{
    process_result r = run_binary(with({"--fix", "--unsafe-fixes"}, names(false)), "", dir.path, "/dev/full");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.ends_with("delimcheck: error writing standard output: " + std::string(std::strerror(ENOSPC)) + "\n"))
        << r.err;
    for (const auto &[name, text] : mendable) {
        bool said = r.err.find("delimcheck: fixed " + name + ": ") != std::string::npos;
        EXPECT_EQ(file(name) != text, said) << name << ":\n" << r.err;
    }
    EXPECT_NE(r.err.find("delimcheck: fixed lost.tcl: "), std::string::npos) << r.err;

    // Standard error on a full device: no fix can be said, so none is made.
    for (const auto &[name, text] : mendable)
        dir.write(name, text);
    ASSERT_EQ(sh("\"$BIN\" --fix --unsafe-fixes lost.tcl stray.tcl > out 2> /dev/full; echo $? > status"), 0);
    EXPECT_EQ(file("status"), "2\n");
    EXPECT_EQ(file("lost.tcl"), mendable[0].second);
    EXPECT_EQ(file("stray.tcl"), mendable[3].second);
    EXPECT_EQ(file("out"), run({"lost.tcl", "stray.tcl"}).out) << "the files are reported as they are";
}

// A signal that ends the process while the new file is being made takes the temporary file with
// it. The fix is held at the moment it says so, on a standard error that is a full pipe.
TEST_F(Repair, SignalDuringTheWriteLeavesNoFile)
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        dir.write("lost.tcl", mendable[0].second);
        int channel[2];
        ASSERT_EQ(::pipe(channel), 0);
        ASSERT_EQ(::fcntl(channel[1], F_SETFL, O_NONBLOCK), 0);
        const std::string filler(4096, 'x');
        while (::write(channel[1], filler.data(), filler.size()) > 0) {
        }
        ASSERT_EQ(::fcntl(channel[1], F_SETFL, 0), 0);
        pid_t pid = ::fork();
        if (pid == 0) {
            for (int s : {SIGINT, SIGTERM, SIGHUP})
                std::signal(s, SIG_DFL); // as a user's shell leaves them, whatever ours did
            int null = ::open("/dev/null", O_RDWR);
            if (null < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 || ::dup2(channel[1], 2) < 0 ||
                ::chdir(dir.path.c_str()) != 0)
                _exit(127);
            ::execl(DELIMCHECK_BINARY, DELIMCHECK_BINARY, "--fix", "--unsafe-fixes", "lost.tcl", nullptr);
            _exit(127);
        }
        ::close(channel[1]);
        bool waiting = false;
        for (int tries = 0; tries < 2000 && !waiting; ++tries) {
            waiting = sh("ls -A | grep -q '^\\.lost\\.tcl\\.delimcheck-'") == 0;
            if (!waiting)
                ::usleep(5000);
        }
        EXPECT_TRUE(waiting) << "the temporary file never appeared";
        ::kill(pid, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ::close(channel[0]);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal << ": " << status;
        EXPECT_EQ(sh("ls -A | grep -q delimcheck-"), 1) << signal << ": a temporary file is left";
        EXPECT_EQ(file("lost.tcl"), mendable[0].second) << signal;
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
