// The checker as a library: diagnostics and listing lines as values, every kind of input,
// errors handed back, and checkers that share nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <thread>
#include <unistd.h>

#include "delimcheck/checker.h"
#include "harness.h"

namespace {

using namespace delimcheck;

// A diagnostic in a form that compares and prints plainly.
struct seen {
    std::string code;
    position at;
    char got, expected;
    std::string pair;
    position opener;
    char opener_byte;
    friend bool operator==(const seen &, const seen &) = default;
};

std::ostream &operator<<(std::ostream &os, const seen &s)
{
    return os << s.code << " at " << s.at.line << ":" << s.at.column << " got '" << s.got << "' expected '"
              << s.expected << "' pair '" << s.pair << "' opener '" << s.opener_byte << "' " << s.opener.line << ":"
              << s.opener.column;
}

seen seen_of(const diagnostic &d)
{
    std::string pair;
    if (d.pair_closer != 0)
        pair = {d.pair_opener, d.pair_closer};
    return {std::string(code(d.kind)), d.at, d.got, d.expected, pair, d.opener, d.opener_byte};
}

std::vector<seen> values(std::string_view input, const options &o = {})
{
    std::vector<seen> out;
    for (const diagnostic &d : check(input, o))
        out.push_back(seen_of(d));
    return out;
}

options with(bool balancing, bool warn = false)
{
    options o;
    o.balancing = balancing;
    o.warn_backslash_blank = warn;
    return o;
}

struct value_case {
    const char *name;
    std::string input;
    options opts;
    std::vector<seen> expected;
};

void PrintTo(const value_case &c, std::ostream *os) { *os << c.name; }

const std::vector<value_case> value_cases = {
    {"clean", "proc a {b} {\n    set c [d \"e\"]\n}\n", {}, {}},
    {"unmatched_closer", "\n  ]\n", {}, {{"unmatched-closer", {2, 3}, ']', 0, "", {}, 0}}},
    {"wrong_closer_names_the_waiting_opener", "[ {\n  ]\n", {},
     {{"wrong-closer", {2, 3}, ']', '}', "", {1, 3}, '{'},
      {"missing-closer", {2, 4}, 0, '}', "", {1, 3}, '{'},
      {"missing-closer", {2, 4}, 0, ']', "", {1, 1}, '['}}},
    {"wrong_closer_without_balancing", "{ ( }\n", with(false),
     {{"wrong-closer", {1, 5}, '}', ')', "", {1, 3}, '('},
      {"missing-closer", {1, 6}, 0, ')', "", {1, 3}, '('},
      {"missing-closer", {1, 6}, 0, '}', "", {1, 1}, '{'}}},
    {"balancing_names_each_discarded_entry", "{ ( ]\n", {},
     {{"wrong-closer-balanced", {1, 5}, ']', ')', "[]", {1, 3}, '('},
      {"wrong-closer-balanced", {1, 5}, ']', ')', "[]", {1, 1}, '{'}}},
    {"stray_closer_in_string", "{ \"a ]\" }\n", {},
     {{"string-stray-closer", {1, 6}, ']', '"', "", {1, 3}, '"'}}},
    {"string_left_with_an_opener", "{ \"a ( \" }\n", {},
     {{"string-unclosed-opener", {1, 8}, '(', 0, "", {1, 6}, '('}}},
    {"extra_after_string", "\"a\"b\n", {}, {{"extra-after-string", {1, 3}, '"', 0, "", {}, 0}}},
    {"backslash_blank_at_the_backslash", "ab \\  \n", with(true, true),
     {{"backslash-blank", {1, 4}, 0, 0, "", {}, 0}}},
    {"missing_at_the_end_without_newline", "{\n  [", {},
     {{"missing-closer", {2, 4}, 0, ']', "", {2, 3}, '['}, {"missing-closer", {2, 4}, 0, '}', "", {1, 1}, '{'}}},
    {"missing_after_a_final_newline", "{\nab\n", {}, {{"missing-closer", {2, 3}, 0, '}', "", {1, 1}, '{'}}},
    {"missing_after_an_empty_last_line", "{\n\n", {}, {{"missing-closer", {2, 1}, 0, '}', "", {1, 1}, '{'}}},
    {"missing_string", "x \"abc", {}, {{"missing-closer", {1, 7}, 0, '"', "", {1, 3}, '"'}}},
};

class DiagnosticValues : public ::testing::TestWithParam<value_case> {};

TEST_P(DiagnosticValues, KindPositionsAndBytes)
{
    const value_case &c = GetParam();
    EXPECT_EQ(values(c.input, c.opts), c.expected);
    options plain = c.opts;
    plain.scanner = scanner_kind::plain;
    EXPECT_EQ(values(c.input, plain), c.expected) << "the plain scanner";
}

INSTANTIATE_TEST_SUITE_P(Cases, DiagnosticValues, ::testing::ValuesIn(value_cases),
                         [](const ::testing::TestParamInfo<value_case> &i) { return std::string(i.param.name); });

TEST(CheckerApi, ListingLinesAreValues)
{
    options o;
    o.listing = listing_mode::collapse;
    collecting_sink out;
    checker c(o, out);
    c.check("proc a {} {\n    b (c)\n    ]\n}\n");
    ASSERT_EQ(out.listing_lines.size(), 3u);
    EXPECT_EQ(out.listing_lines[0], (std::pair<std::int64_t, std::string>{1, "{"}));
    EXPECT_EQ(out.listing_lines[1], (std::pair<std::int64_t, std::string>{3, "    ]"}));
    EXPECT_EQ(out.listing_lines[2], (std::pair<std::int64_t, std::string>{4, "}"}));
    ASSERT_EQ(out.diagnostics.size(), 1u);
    EXPECT_EQ(out.diagnostics[0].kind, diagnostic_kind::wrong_closer);
}

TEST(CheckerApi, StringStreamAndDescriptorAgree)
{
    const std::string input = std::string(300000, ' ') + "{\n" + std::string(200000, 'x') + " \"a [b\n";
    std::vector<seen> from_string = values(input);
    ASSERT_EQ(from_string.size(), 3u);

    collecting_sink a, b;
    std::istringstream stream(input);
    EXPECT_EQ(checker({}, a).check(stream).read_error, 0);
    temp_dir dir;
    int fd = ::open(dir.write("input", input).c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(checker({}, b).check_fd(fd).read_error, 0);
    ::close(fd);
    for (const auto *sink : {&a, &b}) {
        std::vector<seen> got;
        for (const diagnostic &d : sink->diagnostics)
            got.push_back(seen_of(d));
        EXPECT_EQ(got, from_string);
    }
}

// Reading /proc/self/mem at offset 0 fails with EIO: the failure comes back as a value, after
// what was read has been checked and what is open reported.
TEST(CheckerApi, ReadErrorComesBackAsAValue)
{
    int fd = ::open("/proc/self/mem", O_RDONLY);
    ASSERT_GE(fd, 0);
    collecting_sink out;
    check_result r = checker({}, out).check_fd(fd);
    ::close(fd);
    EXPECT_EQ(r.read_error, EIO);
    EXPECT_TRUE(out.diagnostics.empty());
}

// A sink that fails part of the way: the failure reaches the caller, and the same checker
// then checks its next input from a clean state.
TEST(CheckerApi, SinkFailurePassesThroughAndTheCheckerIsReusable)
{
    struct failing_sink : sink {
        int left = 3;
        std::vector<diagnostic> kept;
        sink_answer report(const diagnostic &d) override
        {
            if (left-- == 0)
                throw std::runtime_error("sink failed");
            kept.push_back(d);
            return sink_answer::more;
        }
    } out;
    options o;
    o.listing = listing_mode::join;
    checker c(o, out);
    EXPECT_THROW(c.check("{ [ (\n  \"x\n" + std::string(50, '}') + "\n"), std::runtime_error);
    out.kept.clear();
    out.left = 100;
    c.check("{\n");
    ASSERT_EQ(out.kept.size(), 1u);
    EXPECT_EQ(seen_of(out.kept[0]), (seen{"missing-closer", {1, 2}, 0, '}', "", {1, 1}, '{'}));
}

// A sink that answers stop after its n-th report: what reached it is exactly what a sink that
// never stops saw up to that report, reports and listing lines in their order, with nothing of
// the input's end after it; and the checker then checks its next input in full.
TEST(CheckerApi, SinkAnsweringStopEndsTheInputAndTheCheckerIsReusable)
{
    struct event_sink : sink {
        std::size_t stop_after = 0; // 0: never
        std::size_t reports = 0;
        std::vector<std::string> events;
        sink_answer report(const diagnostic &d) override
        {
            std::ostringstream s;
            s << seen_of(d);
            events.push_back(s.str());
            return ++reports == stop_after ? sink_answer::stop : sink_answer::more;
        }
        void listing(const listing_line &l) override
        {
            events.push_back("line " + std::to_string(l.line) + ": " + std::string(l.text));
        }
    };
    options plain, pairs, joined_hints, hints_no_repair, warned;
    pairs.listing = listing_mode::pair;
    joined_hints.listing = listing_mode::join;
    joined_hints.hints = true;
    hints_no_repair.hints = true;
    hints_no_repair.repair = false;
    warned.warn_backslash_blank = true;
    warned.listing = listing_mode::pair;
    const std::string input = "proc p {} {\\ \n  if {1} [\n    set x (\"y\n  }\n}\n{ \\ \n[\n";
    for (const options &o : {plain, pairs, joined_hints, hints_no_repair, warned}) {
        event_sink full;
        checker(o, full).check(input);
        ASSERT_GE(full.reports, 3u);
        for (std::size_t n = 1; n <= full.reports; ++n) {
            SCOPED_TRACE("stop after report " + std::to_string(n));
            event_sink out;
            out.stop_after = n;
            checker c(o, out);
            c.check(input);
            std::size_t cut = 0;
            for (std::size_t seen_reports = 0; seen_reports < n; ++cut)
                seen_reports += full.events[cut].rfind("line ", 0) != 0;
            EXPECT_EQ(out.events, std::vector<std::string>(full.events.begin(), full.events.begin() + cut));
            out.events.clear();
            out.stop_after = 0;
            c.check(input);
            EXPECT_EQ(out.events, full.events);
        }
    }
}

// A large stream that is made as it is read, and counts what was read of it: a line that
// closes nothing, again and again, so that every line reports.
class counting_stream final : public std::streambuf {
public:
    explicit counting_stream(std::size_t size) : left_(size)
    {
        for (std::size_t i = 0; i + 2 <= sizeof block_; i += 2) {
            block_[i] = '}';
            block_[i + 1] = '\n';
        }
    }
    std::size_t given = 0;

protected:
    int_type underflow() override
    {
        if (left_ == 0)
            return traits_type::eof();
        std::size_t n = std::min(left_, sizeof block_);
        left_ -= n;
        given += n;
        setg(block_, block_, block_ + n);
        return traits_type::to_int_type(block_[0]);
    }

private:
    std::size_t left_;
    char block_[4096];
};

// A sink that stops at its first report ends the reading of the input soon after: a few of
// the scanner's blocks, not the 256 MiB behind them. Each scanner, each mode of the machine.
TEST(CheckerApi, SinkAnsweringStopEndsTheReading)
{
    struct first_only : sink {
        std::size_t reports = 0;
        sink_answer report(const diagnostic &) override
        {
            ++reports;
            return sink_answer::stop;
        }
    };
    constexpr std::size_t size = std::size_t{256} << 20, little = std::size_t{4} << 20;
    options plain, listed, warned, hinted, hinted_listed;
    listed.listing = listing_mode::pair;
    warned.warn_backslash_blank = true;
    hinted.hints = true;
    hinted_listed.hints = true;
    hinted_listed.listing = listing_mode::join;
    for (scanner_kind kind : {scanner_kind::fast, scanner_kind::plain}) {
        for (options o : {plain, listed, warned, hinted, hinted_listed}) {
            o.scanner = kind;
            counting_stream buffer(size);
            std::istream in(&buffer);
            first_only out;
            checker(o, out).check(in);
            EXPECT_EQ(out.reports, 1u);
            EXPECT_LT(buffer.given, little) << "scanner " << static_cast<int>(kind) << ", listing "
                                            << static_cast<int>(o.listing) << ", hints " << o.hints;
        }
    }
}

TEST(CheckerApi, NothingLeaksFromOneInputToTheNext)
{
    options o;
    o.listing = listing_mode::pair;
    collecting_sink out;
    checker c(o, out);
    c.check(std::string(100000, '{') + "\n  \"open string\n# (");
    out.diagnostics.clear();
    out.listing_lines.clear();
    c.check("(\n}\n");
    ASSERT_EQ(out.diagnostics.size(), 1u);
    EXPECT_EQ(seen_of(out.diagnostics[0]), (seen{"unmatched-closer", {2, 1}, '}', 0, "", {}, 0}));
    ASSERT_EQ(out.listing_lines.size(), 1u);
    EXPECT_EQ(out.listing_lines[0].second, "}");
}

// A search asked to give up leaves the report without a repair, and asks between its edits
// only while there is a search to stop.
TEST(CheckerApi, ASearchThatIsToldToGiveUpOffersNoRepair)
{
    const std::string lost_brace = "proc p {} {\n    if {1} {\n        puts a\n\n    puts b\n}\n";
    for (bool give_up : {false, true}) {
        options o;
        o.hints = true;
        collecting_sink out;
        checker c(o, out);
        int asked = 0;
        c.set_give_up([&] { return ++asked, give_up; });
        c.check(lost_brace);
        ASSERT_FALSE(out.diagnostics.empty());
        EXPECT_EQ(out.diagnostics[0].fix.empty(), give_up) << give_up;
        EXPECT_GT(asked, 0);
        asked = 0;
        c.check("puts fine\n");
        EXPECT_EQ(asked, 0);
    }
}

// Two checkers on two threads at once give what each gives alone.
TEST(CheckerApi, CheckersOnTwoThreadsShareNothing)
{
    std::vector<std::string> inputs;
    for (int k = 0; k < 2; ++k) {
        std::string s = k == 0 ? "" : "]\n";
        for (int i = 0; i < 3000; ++i)
            s += (i * (k + 3)) % 7 == 0 ? "proc p {a} {\n  [b \"c {\n" : "    set x [y]\n  }\n\"d\"e ]\n";
        inputs.push_back(s);
    }
    options o;
    o.listing = listing_mode::join;
    std::vector<collecting_sink> alone(2), together(2);
    for (int k = 0; k < 2; ++k)
        for (int round = 0; round < 5; ++round)
            checker(o, alone[k]).check(inputs[k]);
    std::vector<std::thread> threads;
    for (int k = 0; k < 2; ++k)
        threads.emplace_back([&, k] {
            checker c(o, together[k]);
            for (int round = 0; round < 5; ++round)
                c.check(inputs[k]);
        });
    for (std::thread &t : threads)
        t.join();
    for (int k = 0; k < 2; ++k) {
        ASSERT_EQ(together[k].diagnostics.size(), alone[k].diagnostics.size()) << k;
        for (std::size_t i = 0; i < alone[k].diagnostics.size(); ++i)
            ASSERT_EQ(seen_of(together[k].diagnostics[i]), seen_of(alone[k].diagnostics[i])) << k << " " << i;
        EXPECT_EQ(together[k].listing_lines, alone[k].listing_lines) << k;
    }
    EXPECT_NE(seen_of(alone[0].diagnostics.at(0)), seen_of(alone[1].diagnostics.at(0)))
        << "the two inputs should give different diagnostics";
}

} // namespace
