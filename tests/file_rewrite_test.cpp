// Rewriting a user's file: the new text arrives whole or not at all, with the old mode, through
// a link to its target, never over a file that changed since it was read, and a disk that is
// full or read-only leaves the file and its directory as they were.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sched.h>
#include <set>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "driver/cli.h"
#include "driver/file_lines.h"
#include "driver/file_rewrite.h"
#include "driver/input_repair.h"
#include "delimcheck/checker.h"
#include "format/output.h"
#include "harness.h"

namespace {

using delimcheck::driver::rewrite_file;

// Why a rewrite failed, "" when it did not.
std::string why(const std::optional<delimcheck::driver::failure> &f)
{
    return f ? f->what : "";
}

struct stat status_of(const std::string &path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

std::set<std::string> entries(const std::string &dir)
{
    std::set<std::string> names;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (dirent *e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.insert(e->d_name);
        ::closedir(d);
    }
    return names;
}

const std::string before = "proc p {} {\n    set a 1\n";
const std::string after = "proc p {} {\n    set a 1\n}\n";

TEST(FileRewrite, NewTextAndTheOldMode)
{
    temp_dir dir;
    std::string path = dir.write("f.tcl", before);
    ASSERT_EQ(::chmod(path.c_str(), 0751), 0);
    EXPECT_EQ(why(rewrite_file(path, status_of(path), before, after)), "");
    EXPECT_EQ(slurp(path), after);
    EXPECT_EQ(status_of(path).st_mode & 07777, 0751u);
    EXPECT_EQ(entries(dir.path), std::set<std::string>{"f.tcl"}) << "no temporary file is left";
}

// A name near the longest a directory takes leaves no room to name the temporary file after it.
TEST(FileRewrite, ALongName)
{
    temp_dir dir;
    std::string path = dir.write(std::string(250, 'n') + ".tcl", before);
    EXPECT_EQ(why(rewrite_file(path, status_of(path), before, after)), "");
    EXPECT_EQ(slurp(path), after);
    EXPECT_EQ(entries(dir.path).size(), 1u);
}

// The link stays a link; the file it leads to, in another directory, gets the new text, and
// its temporary file is made beside it.
TEST(FileRewrite, ThroughASymbolicLinkToItsTarget)
{
    temp_dir dir;
    ASSERT_EQ(::mkdir((dir.path + "/real").c_str(), 0755), 0);
    std::string target = dir.write("real/f.tcl", before);
    std::string link = dir.path + "/link.tcl";
    ASSERT_EQ(::symlink("real/f.tcl", link.c_str()), 0);
    EXPECT_EQ(why(rewrite_file(link, status_of(link), before, after)), "");
    struct stat l {};
    ASSERT_EQ(::lstat(link.c_str(), &l), 0);
    EXPECT_TRUE(S_ISLNK(l.st_mode));
    EXPECT_EQ(slurp(target), after);
    EXPECT_EQ(entries(dir.path + "/real"), std::set<std::string>{"f.tcl"});
}

// Whatever changed after the read, the file is left as it now is.
TEST(FileRewrite, NeverOverAFileThatChanged)
{
    const struct {
        const char *name;
        std::function<void(const std::string &)> change;
    } cases[] = {
        {"longer", [](const std::string &p) { std::ofstream(p, std::ios::app) << "# more\n"; }},
        {"same_size_and_time",
         [](const std::string &p) {
             struct stat st = status_of(p);
             std::string other = before;
             other[0] = 'P';
             std::ofstream(p, std::ios::binary | std::ios::trunc) << other;
             const struct timespec times[2] = {st.st_atim, st.st_mtim};
             ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, 0), 0);
         }},
        {"replaced_by_another_file",
         [](const std::string &p) {
             std::ofstream(p + ".new", std::ios::binary) << before;
             ASSERT_EQ(::rename((p + ".new").c_str(), p.c_str()), 0);
         }},
    };
    for (const auto &c : cases) {
        temp_dir dir;
        std::string path = dir.write("f.tcl", before);
        struct stat read = status_of(path);
        c.change(path);
        std::string now = slurp(path);
        std::string error = why(rewrite_file(path, read, before, after));
        EXPECT_NE(error.find("changed after it was read"), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(slurp(path), now) << c.name;
        EXPECT_EQ(entries(dir.path), std::set<std::string>{"f.tcl"}) << c.name;
    }
}

TEST(FileRewrite, NotAHardLinkNorAnythingButAFile)
{
    temp_dir dir;
    std::string path = dir.write("f.tcl", before);
    ASSERT_EQ(::link(path.c_str(), (dir.path + "/g.tcl").c_str()), 0);
    EXPECT_NE(why(rewrite_file(path, status_of(path), before, after)).find("2 hard links"), std::string::npos);
    EXPECT_EQ(slurp(dir.path + "/g.tcl"), before);
    std::string fifo = dir.path + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(why(rewrite_file(fifo, status_of(fifo), "", after)), "it is not a regular file");
    EXPECT_NE(why(rewrite_file(dir.path + "/gone.tcl", status_of(path), before, after)), "");
    // A system call's failure keeps its errno; a refusal of the file's own kind has none.
    std::optional<delimcheck::driver::failure> gone = rewrite_file(dir.path + "/gone.tcl", status_of(path), before, after);
    ASSERT_TRUE(gone.has_value());
    EXPECT_EQ(gone->err, ENOENT);
    EXPECT_EQ(rewrite_file(fifo, status_of(fifo), "", after).value_or(delimcheck::driver::failure{-1, ""}).err, 0);
}

// Runs check in a child with a mount namespace of its own, where it may mount what it likes,
// and expects it to return "ok"; skips the test when the system gives no such namespace.
void expect_ok_with_own_mounts(const std::function<std::string()> &check, const char *untested)
{
    int channel[2];
    ASSERT_EQ(::pipe(channel), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(channel[0]);
        std::string result = "skip";
        if (::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0)
            result = check();
        ssize_t n = ::write(channel[1], result.data(), result.size());
        _exit(n == static_cast<ssize_t>(result.size()) ? 0 : 1);
    }
    ::close(channel[1]);
    std::string result;
    char buf[512];
    for (ssize_t n; (n = ::read(channel[0], buf, sizeof buf)) > 0;)
        result.append(buf, static_cast<std::size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (result == "skip")
        GTEST_SKIP() << "no mount namespace here (unshare needs CAP_SYS_ADMIN): " << untested << " is not tested";
    EXPECT_EQ(result, "ok");
}

// What a failed rewrite must leave: the error it gave, the old bytes, and no other file.
std::string failed_and_intact(const std::string &dir, const std::string &path, const std::string &old,
                              const std::string &expected_error)
{
    std::string error = why(rewrite_file(path, status_of(path), old, old + "}\n"));
    if (error.find(expected_error) == std::string::npos)
        return "error: '" + error + "'";
    if (slurp(path) != old)
        return "the file changed";
    if (entries(dir) != std::set<std::string>{"f.tcl"})
        return "a file was left beside it";
    return "ok";
}

TEST(FileRewrite, FullFilesystemLeavesTheFileIntact)
{
    temp_dir dir;
    expect_ok_with_own_mounts(
        [&]() -> std::string {
            // 64 KiB hold the file but not a second copy of it.
            if (::mount("tmpfs", dir.path.c_str(), "tmpfs", 0, "size=64k") != 0)
                return std::string("mount tmpfs: ") + std::strerror(errno);
            std::string old(40000, '#');
            old = "proc p {} {\n" + old + "\n";
            std::string path = dir.write("f.tcl", old);
            if (slurp(path) != old)
                return "could not write the file";
            return failed_and_intact(dir.path, path, old, std::strerror(ENOSPC));
        },
        "the full disk");
}

TEST(FileRewrite, ReadOnlyDirectoryLeavesTheFileIntact)
{
    temp_dir dir;
    std::string path = dir.write("f.tcl", before);
    expect_ok_with_own_mounts(
        [&]() -> std::string {
            if (::mount(dir.path.c_str(), dir.path.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
                ::mount(nullptr, dir.path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
                return std::string("read-only bind mount: ") + std::strerror(errno);
            return failed_and_intact(dir.path, path, before, std::strerror(EROFS));
        },
        "the read-only directory");
}

// --fix writes a repair the search marks safe, and holds back one it does not unless
// --unsafe-fixes; --diff shows both. The repair is the one the checker finds, marked by hand,
// and handed to the driver in the place of the checker's own report.
TEST(InputRepair, FixWritesSafeRepairsAndHoldsBackTheRest)
{
    const std::string lost = "proc p {x} {\n    if {$x} {\n        puts a\n    puts b\n}\n";
    const std::string mended = "proc p {x} {\n    if {$x} {\n        puts a\n    }\n    puts b\n}\n";
    delimcheck::options hinted;
    hinted.hints = true;
    delimcheck::diagnostic found;
    for (const delimcheck::diagnostic &d : delimcheck::check(lost, hinted))
        if (!d.fix.empty())
            found = d;
    ASSERT_FALSE(found.fix.empty());
    using result = delimcheck::driver::input_repair::result;
    const struct {
        bool safe, unsafe_fixes, diff;
        result what;
    } cases[] = {
        {true, false, false, result::fixed},       {false, false, false, result::held_back},
        {false, true, false, result::fixed},       {true, true, false, result::fixed},
        {false, false, true, result::held_back},   {true, false, true, result::fixed},
    };
    for (const auto &c : cases) {
        const std::string name = std::string(c.safe ? "safe" : "unsafe") + (c.unsafe_fixes ? " --unsafe-fixes" : "") +
                                 (c.diff ? " --diff" : "");
        temp_dir dir;
        const std::string path = dir.write("f.tcl", lost);
        delimcheck::driver::run_config config;
        config.fix = true;
        config.unsafe_fixes = c.unsafe_fixes;
        config.diff = c.diff;
        config.check = hinted;
        delimcheck::collecting_sink reported, ignored;
        std::FILE *err = std::tmpfile();
        ASSERT_NE(err, nullptr);
        delimcheck::driver::input_repair repairing(config, reported, err);
        delimcheck::checker check(config.check, ignored);
        int fd = ::open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(repairing.check(fd, check), 0);
        ::close(fd);
        delimcheck::diagnostic marked = found;
        marked.fix.safe = c.safe;
        marked.fix.sure = c.safe;
        repairing.report(marked);
        std::string diff;
        delimcheck::format::string_destination to(diff);
        delimcheck::format::output out(to);
        delimcheck::driver::input repaired_input;
        repaired_input.name = path;
        delimcheck::driver::input_repair::outcome o = repairing.finish(repaired_input, out);
        out.flush();
        std::string said(4096, '\0');
        std::rewind(err);
        said.resize(std::fread(said.data(), 1, said.size(), err));
        std::fclose(err);

        EXPECT_EQ(o.what, c.what) << name;
        EXPECT_EQ(slurp(path), c.what == result::fixed ? mended : lost) << name;
        EXPECT_EQ(said, c.what == result::fixed ? "delimcheck: fixed " + path + ": " + found.fix.description + "\n" : "")
            << name;
        EXPECT_EQ(diff.empty(), !c.diff) << name << ": --diff shows the repair either way";
        if (c.what == result::fixed) {
            EXPECT_TRUE(reported.diagnostics.empty()) << name << ": what is left, and nothing is";
        } else {
            EXPECT_EQ(reported.diagnostics.size(), 1u) << name << ": the report, held back with the fix";
        }
    }
}

// The lines of a file read again, in any order, across the marks kept every 256 lines.
TEST(FileLines, AnyLineInAnyOrder)
{
    temp_dir dir;
    std::string text;
    for (int i = 1; i <= 1000; ++i)
        text += "line " + std::to_string(i) + (i % 7 == 0 ? std::string(70000, 'x') : "") + "\n";
    text += "last";
    delimcheck::driver::file_lines lines(dir.write("f", text));
    std::string got;
    for (int n : {700, 3, 999, 257, 256, 1, 1000, 512, 513}) {
        ASSERT_TRUE(lines.line(n, got)) << n;
        std::string expected = "line " + std::to_string(n) + (n % 7 == 0 ? std::string(70000, 'x') : "") + "\n";
        EXPECT_EQ(got, expected) << n;
    }
    EXPECT_TRUE(lines.line(1001, got));
    EXPECT_EQ(got, "last");
    EXPECT_FALSE(lines.line(1002, got));
    EXPECT_FALSE(lines.line(0, got));
    EXPECT_FALSE(delimcheck::driver::file_lines(dir.path + "/gone").line(1, got));
    EXPECT_FALSE(delimcheck::driver::file_lines(dir.write("empty", "")).line(1, got));
}

TEST(Color, AutoOnATerminalUnlessNoColor)
{
    using delimcheck::driver::color_mode;
    using delimcheck::driver::use_color;
    const struct {
        color_mode mode;
        bool terminal;
        const char *no_color;
        bool expected;
    } cases[] = {
        {color_mode::auto_, true, nullptr, true},   {color_mode::auto_, true, "", true},
        {color_mode::auto_, true, "1", false},      {color_mode::auto_, false, nullptr, false},
        {color_mode::always, false, "1", true},     {color_mode::never, true, nullptr, false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(use_color(c.mode, c.terminal, c.no_color), c.expected)
            << static_cast<int>(c.mode) << c.terminal << (c.no_color ? c.no_color : "(unset)");
}

} // namespace
