// Large and hostile inputs: deep nesting, many records, huge lines, every byte value.
// Each runs in well under a few seconds; the suite is labelled so it can be run alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "harness.h"

namespace {

// A sanitizer's shadow memory and quarantine make a peak resident set meaningless.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif
#else
constexpr bool sanitized = false;
#endif

std::string missing_lines(std::int64_t line, std::int64_t from, std::int64_t to, char closer)
{
    std::string out;
    for (std::int64_t col = from; col >= to; --col)
        out += std::string(1, closer) + " missing, opened on line " + std::to_string(line) + " char " +
               std::to_string(col) + "\n";
    return out;
}

TEST(Stress, MillionOpenersReportedInnermostFirst)
{
    std::string input(1000000, '{');
    EXPECT_EQ(run_in_process({}, input), missing_lines(1, 1000000, 1, '}'));
    EXPECT_EQ(run_in_process({}, input, scanner_kind::plain), missing_lines(1, 1000000, 1, '}'));
}

TEST(Stress, MillionRecordsSurviveUnderL)
{
    std::string input;
    for (int i = 0; i < 1000000; ++i)
        input += (i % 2 == 0) ? "{\n" : "  [\n";
    std::string out = run_in_process({"-l"}, input);
    std::size_t start = out.find("    1 : {\n    2 :   [\n");
    ASSERT_NE(start, std::string::npos);
    EXPECT_EQ(std::count(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(), '\n'), 1000000);
    EXPECT_TRUE(out.ends_with("\n999999 : {\n1000000 :   [\n"));
}

TEST(Stress, TenMegabyteLineUnderS)
{
    std::string line = std::string(5000000, '[') + std::string(5000000, ']');
    EXPECT_EQ(run_in_process({"-s"}, line + "\n"), "    1 : " + line + "\n");
    EXPECT_EQ(run_in_process({"-m"}, line + "\n"), "");
    EXPECT_EQ(run_in_process({"-s"}, line), "    1 : " + line + "\n") << "without the final newline";
}

TEST(Stress, EveryByteValueEverywhere)
{
    std::mt19937 rng(7);
    std::string input(1 << 20, '\0');
    for (char &c : input)
        c = static_cast<char>(rng() % 8 == 0 ? "{}[]()\"\\#\n "[rng() % 12] : static_cast<char>(rng()));
    for (const std::vector<std::string> &opts :
         std::vector<std::vector<std::string>>{{}, {"-e"}, {"-s"}, {"-j"}, {"-cgit"}})
        run_checked(opts, input);
}

TEST(Stress, CrlfText)
{
    std::string input;
    for (int i = 0; i < 100000; ++i)
        input += "proc a {} {\r\n    set b [c \"d\"]\r\n}\r\n";
    EXPECT_EQ(run_checked({}, input), "");
    EXPECT_EQ(run_checked({"-l"}, input), "");
}

TEST(Stress, InputEndsInsideStringBracketAndEscape)
{
    const std::string expected = "] missing, opened on line 1 char 6\n"
                                 "\" missing, opened on line 1 char 3\n"
                                 "} missing, opened on line 1 char 1\n";
    EXPECT_EQ(run_checked({}, "{ \"a [b \\"), expected);
    EXPECT_EQ(run_checked({"-s"}, "{ \"a [b \\"), "    1 : {\"[\n" + expected);
}

TEST(Stress, DeepNestingClosedAgain)
{
    std::string input = std::string(2000000, '[') + std::string(2000000, ']') + "\n";
    EXPECT_EQ(run_in_process({"-j"}, input), "");
}

// While the first input is still being read (a pipe that stays silent for a while), the inputs
// after it must wait once they have kept a few MiB of output, not keep it all: here about
// 60 MiB of reports come after it, and the run must stay far below that.
TEST(Stress, ParallelRunKeepsLittleBehindASlowInput)
{
    temp_dir dir;
    std::string loud;
    for (int i = 0; i < 1000000; ++i)
        loud += "}\n";
    for (const char *name : {"a.tcl", "b.tcl"})
        dir.write(name, loud);
    std::string fifo = dir.path + "/slow";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        int fd = open(fifo.c_str(), O_WRONLY);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (fd >= 0) {
            ssize_t n = write(fd, "{\n", 2);
            (void)n;
            close(fd);
        }
    });
    process_result slow = run_binary({"--jobs=2", "slow", "a.tcl", "b.tcl"}, "", dir.path, dir.path + "/out");
    writer.join();
    process_result fast = run_binary({"--jobs=1", "a.tcl", "b.tcl"}, "", dir.path);
    EXPECT_EQ(slow.status, 0);
    EXPECT_EQ(slurp(dir.path + "/out"), "File slow:\n} missing, opened on line 1 char 1\n" + fast.out);
    EXPECT_GT(fast.out.size(), std::size_t{50} << 20);
    if (!sanitized) {
        EXPECT_LT(slow.peak_kib, 40 << 10) << "KiB at the peak";
    }
}

} // namespace
