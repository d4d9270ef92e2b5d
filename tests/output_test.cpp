// Failures to write the report, and running out of memory, are never reported as success.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "harness.h"

namespace {

std::string many_reports(int n)
{
    std::string s;
    for (int i = 0; i < n; ++i)
        s += "}\n";
    return s;
}

TEST(OutputErrors, FullDeviceIsAnError)
{
    process_result r = run_binary({}, many_reports(10), "", "/dev/full");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST(OutputErrors, CleanRunToFullDeviceWritesNothingAndSucceeds)
{
    process_result r = run_binary({"-q"}, "{}\n", "", "/dev/full");
    EXPECT_EQ(r.status, 0) << "nothing to write, so nothing failed";
    EXPECT_EQ(r.err, "");
}

// A reader that stops early: the checker ends quietly, as SIGPIPE ends any filter.
TEST(OutputErrors, BrokenPipeEndsQuietly)
{
    temp_dir dir;
    std::string input_path = dir.write("input", many_reports(200000));
    std::string err_path = dir.path + "/stderr";
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], 1);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        std::signal(SIGPIPE, SIG_DFL);
        execl(DELIMCHECK_BINARY, DELIMCHECK_BINARY, input_path.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char buf[64];
    ASSERT_GT(read(fds[0], buf, sizeof buf), 0);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << status;
    FILE *f = std::fopen(err_path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fgetc(f), EOF) << "nothing on standard error";
    std::fclose(f);
}

// Same with SIGPIPE ignored by the parent: the write fails with EPIPE, and the end is as quiet.
TEST(OutputErrors, BrokenPipeWithSigpipeIgnored)
{
    temp_dir dir;
    std::string input_path = dir.write("input", many_reports(200000));
    std::string err_path = dir.path + "/stderr";
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], 1);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        std::signal(SIGPIPE, SIG_IGN);
        execl(DELIMCHECK_BINARY, DELIMCHECK_BINARY, input_path.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char buf[64];
    ASSERT_GT(read(fds[0], buf, sizeof buf), 0);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a lost report is no success";
    FILE *f = std::fopen(err_path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::fgetc(f), EOF) << "nothing on standard error";
    std::fclose(f);
}

#if defined(__SANITIZE_ADDRESS__)
#define DELIMCHECK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DELIMCHECK_SANITIZED 1
#endif
#endif

TEST(OutOfMemory, ReportedAndStatusTwo)
{
#ifdef DELIMCHECK_SANITIZED
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
#else
    temp_dir dir;
    std::string input_path = dir.write("deep", std::string(8 << 20, '{'));
    std::string out_path = dir.path + "/stdout", err_path = dir.path + "/stderr";
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        rlimit limit{64 << 20, 64 << 20};
        setrlimit(RLIMIT_AS, &limit);
        execl(DELIMCHECK_BINARY, DELIMCHECK_BINARY, input_path.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 2);
    FILE *f = std::fopen(err_path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "delimcheck: out of memory\n");
    std::fclose(f);
#endif
}

} // namespace
