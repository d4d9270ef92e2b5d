// Failures to write the report, and running out of memory, are never reported as success.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
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

struct pipe_run {
    int status = 0;
    std::string err;
};

// Runs the binary on many reports with its standard output into a pipe whose reader goes
// away after the first bytes, with SIGPIPE at the given disposition; with jobs, on many inputs
// at once.
pipe_run run_into_closing_pipe(void (*sigpipe)(int), int jobs = 0)
{
    temp_dir dir;
    std::string input_path = dir.write("input", many_reports(200000));
    std::vector<std::string> args{DELIMCHECK_BINARY};
    if (jobs != 0) {
        args.push_back("--jobs=" + std::to_string(jobs));
        for (int i = 0; i < 40; ++i)
            args.push_back(dir.write("input" + std::to_string(i), many_reports(20000)));
    }
    args.push_back(input_path);
    std::string err_path = dir.path + "/stderr";
    int fds[2];
    pipe_run r;
    if (pipe(fds) != 0)
        return r;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        dup2(fds[1], 1);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, 2);
        std::signal(SIGPIPE, sigpipe);
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    char buf[64];
    EXPECT_GT(read(fds[0], buf, sizeof buf), 0);
    close(fds[0]);
    waitpid(pid, &r.status, 0);
    FILE *f = std::fopen(err_path.c_str(), "r");
    for (int c; f != nullptr && (c = std::fgetc(f)) != EOF;)
        r.err += static_cast<char>(c);
    if (f != nullptr)
        std::fclose(f);
    return r;
}

// A reader that stops early: the checker ends quietly, as SIGPIPE ends any filter.
TEST(OutputErrors, BrokenPipeEndsQuietly)
{
    pipe_run r = run_into_closing_pipe(SIG_DFL);
    EXPECT_TRUE(WIFSIGNALED(r.status) && WTERMSIG(r.status) == SIGPIPE) << r.status;
    EXPECT_EQ(r.err, "");
}

// Same with SIGPIPE ignored by the parent: the write fails with EPIPE, and the program ends as
// the signal would have ended it, so that the shell sees the same status either way.
TEST(OutputErrors, BrokenPipeWithSigpipeIgnored)
{
    pipe_run r = run_into_closing_pipe(SIG_IGN);
    EXPECT_TRUE(WIFSIGNALED(r.status) && WTERMSIG(r.status) == SIGPIPE) << r.status;
    EXPECT_EQ(r.err, "");
}

// Many inputs on several threads: the first failed write stops them all, as quietly.
TEST(OutputErrors, BrokenPipeStopsAParallelRun)
{
    for (void (*sigpipe)(int) : {SIG_DFL, SIG_IGN}) {
        pipe_run r = run_into_closing_pipe(sigpipe, 4);
        EXPECT_TRUE(WIFSIGNALED(r.status) && WTERMSIG(r.status) == SIGPIPE) << r.status;
        EXPECT_EQ(r.err, "");
    }
}

// Runs the binary with standard output into a file that may grow to `limit` bytes only, so that
// a write fails with EFBIG in the middle of the run, after some output went out.
process_result run_with_output_limit(const std::vector<std::string> &args, const std::string &out_path, rlim_t limit)
{
    process_result r;
    int err_pipe[2];
    if (pipe(err_pipe) != 0)
        return r;
    pid_t pid = fork();
    if (pid == 0) {
        close(err_pipe[0]);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err_pipe[1], 2);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit l{limit, limit};
        setrlimit(RLIMIT_FSIZE, &l);
        std::vector<std::string> all{DELIMCHECK_BINARY};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char *> argv;
        for (std::string &a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(err_pipe[1]);
    char buf[4096];
    for (ssize_t n; (n = read(err_pipe[0], buf, sizeof buf)) > 0;)
        r.err.append(buf, static_cast<std::size_t>(n));
    close(err_pipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = slurp(out_path);
    return r;
}

// A write that fails in the middle of a run on one thread or several: status 2, the one line
// that says so and nothing else on standard error (no note of a later input, no summary),
// and what went out is the start of the run's whole output, nothing after the failure.
TEST(OutputErrors, WriteFailureMidRunEndsItAsBefore)
{
    temp_dir dir;
    std::vector<std::string> inputs;
    for (int i = 0; i < 40; ++i)
        inputs.push_back(dir.write("input" + std::to_string(i), many_reports(1000 + 37 * i)));
    // A missing file late in the list: its note would come after the failure.
    inputs.push_back(dir.path + "/missing");
    inputs.push_back(dir.write("last", many_reports(3)));
    struct row {
        std::vector<std::string> options;
        rlim_t limit;
    };
    const row rows[] = {
        {{"--jobs=1"}, 100000},
        {{"--jobs=2"}, 100000},
        {{"--jobs=4"}, 100000},
        {{"--jobs=4", "--status"}, 5000},
        {{"--jobs=4", "--format=json"}, 300000},
        {{"--jobs=3", "--format=sarif"}, 70000},
        {{"--jobs=2", "--statistics"}, 20},
        {{"--jobs=4", "-l"}, 100000},
    };
    for (const row &r : rows) {
        std::vector<std::string> args = r.options;
        args.insert(args.end(), inputs.begin(), inputs.end());
        process_result whole = run_binary(args, "");
        ASSERT_GT(whole.out.size(), r.limit) << "the limit must fall in the middle of the output";
        process_result cut = run_with_output_limit(args, dir.path + "/out", r.limit);
        std::string said = r.options[0] + (r.options.size() > 1 ? " " + r.options[1] : "");
        EXPECT_EQ(cut.status, 2) << said;
        EXPECT_EQ(cut.err, "delimcheck: error writing standard output: " + std::string(std::strerror(EFBIG)) + "\n")
            << said;
        EXPECT_LE(cut.out.size(), r.limit) << said;
        EXPECT_EQ(whole.out.compare(0, cut.out.size(), cut.out), 0) << said << ": not the start of the output";
    }
}

// The language server ends at its first failed write, said as a run says it.
TEST(OutputErrors, LanguageServerWithNowhereToWrite)
{
    std::string body = R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{}})";
    std::string message = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    process_result r = run_binary({"--lsp"}, message, "", "/dev/full");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "delimcheck: error writing standard output: " + std::string(std::strerror(ENOSPC)) + "\n");
}

#if defined(__SANITIZE_ADDRESS__)
#define DELIMCHECK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DELIMCHECK_SANITIZED 1
#endif
#endif

#ifndef DELIMCHECK_SANITIZED
// The program on input_path with 64 MiB of address space, standard output to out_path and
// standard error to err_path: its exit status, or -1 when it did not exit.
static int run_with_little_memory(const std::string &input_path, const std::string &out_path,
                                  const std::string &err_path)
{
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
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

TEST(OutOfMemory, ReportedAndStatusTwo)
{
#ifdef DELIMCHECK_SANITIZED
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
#else
    temp_dir dir;
    std::string input_path = dir.write("deep", std::string(8 << 20, '{'));
    std::string out_path = dir.path + "/stdout", err_path = dir.path + "/stderr";
    EXPECT_EQ(run_with_little_memory(input_path, out_path, err_path), 2);
    FILE *f = std::fopen(err_path.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char line[256] = {};
    ASSERT_NE(std::fgets(line, sizeof line, f), nullptr);
    EXPECT_STREQ(line, "delimcheck: out of memory\n");
    std::fclose(f);
#endif
}

// Memory runs out with reports waiting in the output, and the output cannot take them: the run
// says what ended it, not the write that failed on the way out.
TEST(OutOfMemory, SaidAloneWhenTheOutputFailsToo)
{
#ifdef DELIMCHECK_SANITIZED
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
#else
    temp_dir dir;
    std::string input_path = dir.write("deep", many_reports(100) + std::string(8 << 20, '{'));
    std::string err_path = dir.path + "/stderr";
    EXPECT_EQ(run_with_little_memory(input_path, "/dev/full", err_path), 2);
    EXPECT_EQ(slurp(err_path), "delimcheck: out of memory\n");
#endif
}

} // namespace
