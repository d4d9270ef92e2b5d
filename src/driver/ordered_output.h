// The output of many inputs checked at once, put in input order with bounded memory.
//
// The earliest input not yet written out (the head) writes straight through; a later one keeps
// its output until it becomes the head, and waits when the inputs together have kept much, so
// that memory stays bounded whatever the sizes. Many inputs may be in progress at once, since
// most keep nothing: a long one at the head does not hold up the short ones after it.
//
// What is ready goes out at once, but not under the lock: one thread at a time sends, and it
// also takes what the others make ready while it writes, so that the order holds and short
// inputs share a write instead of queueing for the lock.
#pragma once

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "format/output.h"

namespace delimcheck::driver {

class ordered_output {
public:
    struct limits {
        std::size_t in_progress; // inputs taken and not yet written out
        std::size_t kept;        // bytes kept by inputs behind the head, before they wait
        std::size_t ready;       // bytes ready to go, before the head waits for them

        // What suits `jobs` threads.
        static limits for_jobs(unsigned jobs);
    };

    // Each input's output is preceded by `separator`, but the first that has any; the lines
    // for standard error go to err, each after the output of its input.
    ordered_output(format::destination &dest, std::string_view separator, std::FILE *err, limits l);
    ordered_output(const ordered_output &) = delete;
    ordered_output &operator=(const ordered_output &) = delete;

    // Takes the next input by calling next(), which returns false when there is none, and
    // gives it the next place; waits first while too many inputs are in progress. False once
    // there is no input left or the run has stopped. One taker at a time, so that places
    // follow the order of next(); next() may wait (for names from a pipe) without holding up
    // the writers.
    template <class Next> bool take(Next &&next, std::uint64_t &place)
    {
        std::lock_guard taking(take_mutex_);
        if (taken_all_)
            return false;
        return admit(next(), place);
    }

    // Output of the input at `place`. False once the run has stopped, by this write or before:
    // the bytes are dropped, and the thread's input may end (its sink answers stop).
    bool write(std::uint64_t place, const char *p, std::size_t n);

    // The input at `place` is done, with the last of its output (most inputs have no more than
    // that, and it goes out with the rest); message is a line for standard error, written in
    // its place. Once the run has stopped, nothing of it goes out.
    void finish(std::uint64_t place, std::string_view last, std::string message);

    // The first failure ends the run: no input is taken any more, and the threads stop. A
    // failed write of the destination is one too, kept by the destination itself.
    void fail(std::exception_ptr e);
    // The same for a failure whose last output has just failed to go: the run's failure is e.
    void fail_instead_of_write(std::exception_ptr e);

    // Sends what is still ready; for the end of a run that has failed, when the failure is not
    // in the writing.
    void send_rest();

    std::exception_ptr failure() const; // null when the run did not fail, or failed to write
    bool write_failed() const;           // the first failure was a write of the destination
    std::size_t kept() const; // by the inputs behind the head, now

private:
    struct slot {
        std::vector<std::string> kept; // output waiting for the inputs before this one, in pieces
        std::string message;           // for standard error, once the output is out
        bool finished = false;
        bool started = false; // something of this input is out already
    };

    // Output ready to go, in order, and after it a line for standard error, if any.
    struct piece {
        std::string bytes;
        std::string note;
    };

    bool admit(bool got, std::uint64_t &place);
    void keep(slot &s, std::string_view bytes);
    void start(slot &s);
    void make_ready(slot &s);
    void add_ready(std::string_view bytes);
    void send(std::unique_lock<std::mutex> &lock);
    void stop_writing();
    bool write_out(const char *p, std::size_t n);

    format::destination &dest_;
    std::string_view separator_;
    std::FILE *err_;
    limits limits_;
    std::size_t kept_ = 0; // by all the slots
    std::mutex take_mutex_;
    bool taken_all_ = false; // under take_mutex_: next() said there is no more, or the run stopped
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<slot> slots_; // slots_[i] belongs to the input at place head_ + i
    std::uint64_t head_ = 0;
    std::deque<piece> ready_; // for the next send
    std::size_t ready_bytes_ = 0;
    bool sending_ = false;  // a thread is writing out_, out of the lock
    std::deque<piece> out_; // being written; only the sending thread touches it
    bool any_output_ = false;
    bool stopped_ = false;
    std::exception_ptr failure_;
    bool write_failed_ = false;
};

// Where the output of one thread's current input goes: to that input's place. A run that has
// stopped fails it for good, with ECANCELED: the errno of a failed write, if that is what
// stopped the run, is the run's destination's.
class place_destination final : public format::destination {
public:
    explicit place_destination(ordered_output &o) : ordered_(o) {}
    std::uint64_t place = 0;

protected:
    int put(const char *p, std::size_t n) override { return ordered_.write(place, p, n) ? 0 : ECANCELED; }

private:
    ordered_output &ordered_;
};

} // namespace delimcheck::driver
