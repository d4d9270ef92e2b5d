// The ordered output on its own: inputs finished out of order by several threads come out in
// order, later inputs keep no more than the limit, and a failure stops the threads quietly.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "driver/ordered_output.h"

using delimcheck::driver::ordered_output;
using delimcheck::driver::place_destination;
using namespace std::chrono_literals;

namespace {

// Output and the lines for standard error into one file, to see each line's place.
struct shared_file final : delimcheck::format::destination {
    std::FILE *f = std::tmpfile();
    ~shared_file() override { std::fclose(f); }
    int put(const char *p, std::size_t n) override
    {
        std::fwrite(p, 1, n, f);
        return 0;
    }
    std::string text()
    {
        std::fflush(f);
        std::string s;
        std::rewind(f);
        for (int c; (c = std::fgetc(f)) != EOF;)
            s += static_cast<char>(c);
        return s;
    }
};

// Takes the bytes of the first `accepted` writes, then fails as a closed pipe does.
struct failing_destination final : delimcheck::format::destination {
    explicit failing_destination(int accepted) : left(accepted) {}
    int put(const char *p, std::size_t n) override
    {
        ++tries;
        if (left-- <= 0)
            return EPIPE;
        bytes.append(p, n);
        return 0;
    }
    int left;
    int tries = 0;
    std::string bytes;
};

// What input i writes: its number, pieces of every size up to a few, and what it finishes with.
std::string output_of(std::uint64_t i)
{
    return "<" + std::to_string(i) + std::string(i % 7 * 300, static_cast<char>('a' + i % 26)) + ">";
}

// Inputs 0 .. count-1 taken in turn by `threads` threads, as the run does: each writes its
// output in pieces, the last through finish() with a line for standard error when i % 5 == 0;
// a refused write ends the input's writing, as a sink's stop would. A thrown failure is handed
// to fail(). `before_finish` may throw for input i.
void run_inputs(ordered_output &o, unsigned threads, std::uint64_t count,
                const std::function<void(std::uint64_t)> &before_finish = {})
{
    std::atomic<std::uint64_t> next{0};
    auto work = [&] {
        try {
            place_destination dest(o);
            std::uint64_t i = 0;
            while (o.take([&] { return (i = next++) < count; }, dest.place)) {
                EXPECT_EQ(dest.place, i);
                std::string bytes = output_of(i);
                std::size_t last = bytes.size() / 2;
                for (std::size_t at = 0; at < last; at += 97)
                    if (!dest.write(bytes.data() + at, std::min<std::size_t>(97, last - at)))
                        break;
                if (before_finish)
                    before_finish(i);
                o.finish(dest.place, std::string_view(bytes).substr(last),
                         i % 5 == 0 ? "note " + std::to_string(i) + "\n" : "");
            }
        } catch (...) {
            o.fail(std::current_exception());
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t)
        pool.emplace_back(work);
    work();
    for (std::thread &t : pool)
        t.join();
}

std::string expected_output(std::uint64_t count, std::string_view separator)
{
    std::string s;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (i != 0)
            s += separator;
        s += output_of(i);
        if (i % 5 == 0)
            s += "note " + std::to_string(i) + "\n";
    }
    return s;
}

TEST(OrderedOutput, InputOrderWithSeparatorsAndNotesInTheirPlaces)
{
    for (unsigned threads : {1u, 2u, 5u}) {
        for (ordered_output::limits l : {ordered_output::limits::for_jobs(threads), ordered_output::limits{2, 256, 512}}) {
            shared_file file;
            ordered_output o(file, ",\n", file.f, l);
            run_inputs(o, threads, 300);
            EXPECT_FALSE(o.failure());
            EXPECT_EQ(file.text(), expected_output(300, ",\n")) << threads << " threads, kept limit " << l.kept;
            EXPECT_EQ(o.kept(), 0u);
        }
    }
}

// An input with no output at all gets no separator.
TEST(OrderedOutput, NoSeparatorForAnInputWithoutOutput)
{
    std::string text;
    delimcheck::format::string_destination dest(text);
    ordered_output o(dest, ",", stderr, ordered_output::limits::for_jobs(1));
    std::uint64_t place = 0;
    for (const char *bytes : {"", "a", "", "b", ""}) {
        ASSERT_TRUE(o.take([] { return true; }, place));
        o.finish(place, bytes, "");
    }
    EXPECT_EQ(text, "a,b");
}

// Behind a head that writes nothing, a later input waits once it has kept the limit.
TEST(OrderedOutput, KeptBytesStayUnderTheLimit)
{
    constexpr std::size_t limit = 1000, piece = 100, pieces = 50;
    std::string text;
    delimcheck::format::string_destination dest(text);
    ordered_output o(dest, "", stderr, {8, limit, 1 << 20});
    std::uint64_t head = 0;
    ASSERT_TRUE(o.take([] { return true; }, head));
    std::atomic<bool> later_done{false};
    std::thread later([&] {
        place_destination d(o);
        ASSERT_TRUE(o.take([] { return true; }, d.place));
        for (std::size_t i = 0; i < pieces; ++i)
            d.write(std::string(piece, 'b').data(), piece);
        o.finish(d.place, "", "");
        later_done = true;
    });
    std::size_t most = 0;
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (o.kept() < limit && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    std::this_thread::sleep_for(50ms);
    most = o.kept();
    EXPECT_FALSE(later_done) << "the later input went on past the limit";
    EXPECT_GE(most, limit);
    EXPECT_LE(most, limit + piece) << "kept more than the limit and the write that reached it";
    o.finish(head, "a", "");
    later.join();
    EXPECT_EQ(text, "a" + std::string(piece * pieces, 'b'));
    EXPECT_EQ(o.kept(), 0u);
}

// No more inputs are taken than the limit allows until the head is done.
TEST(OrderedOutput, InputsInProgressAreBounded)
{
    std::string text;
    delimcheck::format::string_destination dest(text);
    ordered_output o(dest, "", stderr, {2, 1000, 1 << 20});
    std::uint64_t first = 0, second = 0;
    ASSERT_TRUE(o.take([] { return true; }, first));
    ASSERT_TRUE(o.take([] { return true; }, second));
    std::promise<std::uint64_t> third;
    std::thread taker([&] {
        std::uint64_t place = 0;
        o.take([] { return true; }, place);
        third.set_value(place);
    });
    std::future<std::uint64_t> got = third.get_future();
    EXPECT_EQ(got.wait_for(50ms), std::future_status::timeout);
    o.finish(second, "2", "");
    EXPECT_EQ(got.wait_for(50ms), std::future_status::timeout) << "the head is still in progress";
    o.finish(first, "1", "");
    EXPECT_EQ(got.get(), 2u);
    taker.join();
    o.finish(2, "3", "");
    EXPECT_EQ(text, "123");
}

// A failure while checking input 7, on one thread: what the inputs before it wrote is out, in
// full, and nothing after; no input is taken any more.
TEST(OrderedOutput, FailureInTheMiddleKeepsWhatCameBefore)
{
    std::string text;
    delimcheck::format::string_destination dest(text);
    shared_file notes;
    ordered_output o(dest, "", notes.f, ordered_output::limits::for_jobs(1));
    run_inputs(o, 1, 20, [](std::uint64_t i) {
        if (i == 7)
            throw std::runtime_error("seventh");
    });
    ASSERT_TRUE(o.failure());
    EXPECT_THROW(std::rethrow_exception(o.failure()), std::runtime_error);
    o.send_rest();
    std::string before;
    for (std::uint64_t i = 0; i < 7; ++i)
        before += output_of(i);
    EXPECT_EQ(text, before + output_of(7).substr(0, output_of(7).size() / 2));
    std::uint64_t place = 0;
    EXPECT_FALSE(o.take([] { return true; }, place));
}

// The same on several threads, and a write that fails: every thread ends by returning, the
// failure is the write's, kept with its errno by the destination, no write is tried after it,
// and what went out is the start of the whole, in order.
TEST(OrderedOutput, WriteFailureStopsEveryThread)
{
    for (int accepted : {0, 3, 40}) {
        failing_destination dest(accepted);
        shared_file notes;
        ordered_output o(dest, "", notes.f, ordered_output::limits{4, 2000, 4000});
        run_inputs(o, 4, 2000);
        EXPECT_TRUE(o.write_failed()) << accepted;
        EXPECT_FALSE(o.failure()) << accepted;
        EXPECT_EQ(dest.error(), EPIPE);
        EXPECT_EQ(dest.tries, accepted + 1) << "a write after the failure";
        std::uint64_t place = 0;
        EXPECT_FALSE(o.take([] { return true; }, place));
        std::string whole;
        for (std::uint64_t i = 0; i < 2000; ++i)
            whole += output_of(i);
        EXPECT_EQ(whole.compare(0, dest.bytes.size(), dest.bytes), 0) << accepted;
        EXPECT_LT(dest.bytes.size(), whole.size());
    }
}

} // namespace
