#include "driver/run.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <new>
#include <optional>
#include <sched.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "delimcheck/checker.h"
#include "driver/inputs.h"
#include "format/formats.h"

namespace delimcheck::driver {

namespace {

// Thrown into the other threads once one of them has failed, to end their work quietly.
struct run_stopped {};

// The output of the inputs, put in input order. The earliest input not yet written out (the
// head) writes straight through; a later one keeps its output until it becomes the head, and
// waits when the inputs together have kept much, so that memory stays bounded whatever the
// sizes. Many inputs may be open at once, since most keep nothing: a long one at the head
// does not hold up the short ones after it.
//
// What is ready goes out at once, but not under the lock: one thread at a time sends, and it
// also takes what the others make ready while it writes, so that the order holds and short
// inputs share a write instead of queueing for the lock.
class ordered_output {
public:
    ordered_output(format::destination &dest, std::string_view separator, std::FILE *err, unsigned jobs)
        : dest_(dest), separator_(separator), err_(err), open_limit_(64 * std::size_t{jobs}),
          kept_limit_((std::size_t{4} << 20) * jobs)
    {
    }

    // Waits until few enough inputs are open, takes the next input from the list and gives it
    // the next place. False when the list is done or the run has stopped.
    bool open(input_list &list, input &in, std::uint64_t &place)
    {
        // One taker at a time, so that places follow the list; the list may wait for its
        // names (a pipe), and the writers need not wait with it.
        std::lock_guard taking(take_mutex_);
        if (list_done_)
            return false;
        bool got = false;
        try {
            got = list.next(in);
        } catch (const list_error &e) {
            list_failure_ = e.what();
        }
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return stopped_ || slots_.size() < open_limit_; });
        if (!got || stopped_) {
            list_done_ = true;
            return false;
        }
        place = head_ + slots_.size();
        slots_.emplace_back();
        return true;
    }

    void write(std::uint64_t place, const char *p, std::size_t n)
    {
        std::unique_lock lock(mutex_);
        if (stopped_)
            throw run_stopped();
        if (place != head_) {
            keep(slots_[place - head_], std::string_view(p, n));
            changed_.wait(lock, [&] { return stopped_ || place == head_ || kept_ < kept_limit_; });
            if (stopped_)
                throw run_stopped();
            return;
        }
        start(slots_.front());
        if (!sending_ && ready_.empty()) {
            // Nothing is ahead of these bytes: they go out from where they are.
            sending_ = true;
            lock.unlock();
            try {
                write_out(p, n);
            } catch (...) {
                lock.lock();
                sending_ = false;
                throw;
            }
            lock.lock();
            sending_ = false;
        } else {
            add_ready(std::string_view(p, n));
        }
        send(lock);
        // A head that makes output faster than it can go waits for it.
        while (!stopped_ && ready_bytes_ >= ready_limit) {
            changed_.wait(lock);
            send(lock);
        }
    }

    // The input at `place` is done, with the last of its output (most inputs have no more than
    // that, and it goes out with the rest); message is a line for standard error, written in
    // its place.
    void finish(std::uint64_t place, std::string_view last, std::string message)
    {
        std::unique_lock lock(mutex_);
        slot &s = slots_[place - head_];
        keep(s, last);
        s.finished = true;
        s.message = std::move(message);
        while (!slots_.empty() && slots_.front().finished) {
            slot &done = slots_.front();
            make_ready(done);
            if (!done.message.empty()) {
                if (ready_.empty() || !ready_.back().note.empty())
                    ready_.emplace_back();
                ready_.back().note = std::move(done.message);
            }
            slots_.pop_front();
            ++head_;
        }
        // The new head writes straight through from now on; what it kept goes first.
        if (!slots_.empty())
            make_ready(slots_.front());
        changed_.notify_all();
        send(lock);
    }

    // The first failure ends the run: no input is taken any more, and the threads stop.
    void fail(std::exception_ptr e)
    {
        std::lock_guard lock(mutex_);
        if (!failure_)
            failure_ = e;
        stopped_ = true;
        changed_.notify_all();
    }

    // Sends what is still ready; for the end of a run that has failed, when the failure is not
    // in the writing.
    void send_rest()
    {
        std::unique_lock lock(mutex_);
        send(lock);
    }

    std::exception_ptr failure() const { return failure_; }
    const std::string &list_failure() const { return list_failure_; }

private:
    struct slot {
        std::vector<std::string> kept; // output waiting for the inputs before this one, in pieces
        std::string message; // for standard error, once the output is out
        bool finished = false;
        bool started = false; // something of this input is out already
    };

    // Output ready to go, in order, and after it a line for standard error, if any.
    struct piece {
        std::string bytes;
        std::string note;
    };

    static constexpr std::size_t ready_limit = 1 << 20;
    static constexpr std::size_t small_piece = 1 << 16;

    void keep(slot &s, std::string_view bytes)
    {
        if (bytes.empty())
            return;
        // In pieces of about the size the checker writes, so that much kept output costs no
        // more memory than its size, and is handed on without a copy.
        if (s.kept.empty() || s.kept.back().size() + bytes.size() > small_piece)
            s.kept.emplace_back();
        s.kept.back().append(bytes);
        kept_ += bytes.size();
    }

    // The separator goes before the first output of every input after the first that has any.
    void start(slot &s)
    {
        if (s.started)
            return;
        s.started = true;
        if (any_output_)
            add_ready(separator_);
        any_output_ = true;
    }

    void make_ready(slot &s)
    {
        if (s.kept.empty())
            return;
        start(s);
        for (std::string &bytes : s.kept) {
            kept_ -= bytes.size();
            if (bytes.size() < small_piece / 2) {
                add_ready(bytes);
            } else {
                ready_bytes_ += bytes.size();
                ready_.push_back({std::move(bytes), {}});
            }
        }
        s.kept = {};
    }

    // Small outputs share a piece, so that they go out in one write.
    void add_ready(std::string_view bytes)
    {
        if (bytes.empty())
            return;
        if (ready_.empty() || !ready_.back().note.empty() || ready_.back().bytes.size() >= ready_limit)
            ready_.emplace_back();
        ready_.back().bytes.append(bytes);
        ready_bytes_ += bytes.size();
    }

    // Called with the lock held; returns with it held. Unless a thread is sending already, this
    // one sends what is ready, and whatever becomes ready while it writes.
    void send(std::unique_lock<std::mutex> &lock)
    {
        if (sending_)
            return;
        sending_ = true;
        try {
            while (!ready_.empty()) {
                out_.swap(ready_);
                ready_bytes_ = 0;
                lock.unlock();
                for (piece &p : out_) {
                    write_out(p.bytes.data(), p.bytes.size());
                    p.bytes = std::string(); // a large piece is let go at once
                    if (!p.note.empty())
                        std::fputs(p.note.c_str(), err_);
                }
                out_.clear();
                lock.lock();
                changed_.notify_all();
            }
        } catch (...) {
            if (!lock.owns_lock())
                lock.lock();
            out_.clear(); // not to be tried again after what failed
            sending_ = false;
            throw;
        }
        sending_ = false;
    }

    void write_out(const char *p, std::size_t n)
    {
        if (n != 0)
            dest_.write(p, n);
    }

    format::destination &dest_;
    std::string_view separator_;
    std::FILE *err_;
    std::size_t open_limit_;
    std::size_t kept_limit_;
    std::size_t kept_ = 0; // by all the slots
    std::mutex take_mutex_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<slot> slots_; // slots_[i] belongs to the input at place head_ + i
    std::uint64_t head_ = 0;
    std::deque<piece> ready_; // for the next send
    std::size_t ready_bytes_ = 0;
    bool sending_ = false;  // a thread is writing out_, out of the lock
    std::deque<piece> out_; // being written; only the sending thread touches it
    bool any_output_ = false;
    bool stopped_ = false;
    bool list_done_ = false;
    std::exception_ptr failure_;
    std::string list_failure_;
};

// A worker's output goes to the place of the input it is checking.
class place_destination final : public format::destination {
public:
    explicit place_destination(ordered_output &o) : ordered_(o) {}
    void write(const char *p, std::size_t n) override { ordered_.write(place, p, n); }
    std::uint64_t place = 0;

private:
    ordered_output &ordered_;
};

struct totals {
    bool reported = false;   // a report or warning
    bool unreadable = false; // an input that could not be opened
    bool read_failed = false;
};

diagnostic failure_of(diagnostic_kind kind, int error)
{
    diagnostic d;
    d.kind = kind;
    d.system_error = error;
    return d;
}

class session {
public:
    session(const run_config &config, int stdin_fd, format::destination &dest, std::FILE *err)
        : config_(config), stdin_fd_(stdin_fd), list_(config, stdin_fd)
    {
        settings_.kind = config.format;
        settings_.quiet = config.quiet;
        settings_.tool_version = DELIMCHECK_VERSION;
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd) != nullptr)
            settings_.working_directory = cwd;
        document_ = format::make_document(settings_);
        dest_ = &dest;
        jobs_ = config.jobs != 0 ? config.jobs : processors();
        ordered_.emplace(dest, document_->separator(), err, jobs_);
    }

    int run()
    {
        {
            format::output out(*dest_);
            document_->begin(out);
            out.flush();
        }
        std::vector<std::thread> threads;
        for (unsigned i = 1; i < jobs_; ++i) {
            try {
                threads.emplace_back([this] { work(); });
            } catch (const std::system_error &) {
                break; // fewer threads than asked for; the work is the same
            }
        }
        work();
        for (std::thread &t : threads)
            t.join();
        if (std::exception_ptr e = ordered_->failure()) {
            try {
                ordered_->send_rest(); // what was found before the failure is not lost
            } catch (const format::write_error &) {
            }
            std::rethrow_exception(e);
        }
        {
            format::output out(*dest_);
            document_->end(out);
            out.flush();
        }
        return status();
    }

    const std::string &list_failure() const { return ordered_->list_failure(); }

private:
    static unsigned processors()
    {
        cpu_set_t set;
        if (sched_getaffinity(0, sizeof set, &set) == 0)
            return static_cast<unsigned>(CPU_COUNT(&set));
        unsigned n = std::thread::hardware_concurrency();
        return n != 0 ? n : 1;
    }

    // One thread's share: inputs taken in turn, each checked with this thread's own checker.
    void work()
    {
        try {
            std::unique_ptr<format::input_writer> writer = format::make_input_writer(settings_);
            place_destination dest(*ordered_);
            format::output out(dest);
            checker check(config_.check, *writer);
            totals mine;
            // The totals are this thread's until its work is done, so that no input waits on them.
            struct merge {
                session &s;
                totals &t;
                ~merge()
                {
                    std::lock_guard lock(s.totals_mutex_);
                    s.totals_.reported |= t.reported;
                    s.totals_.unreadable |= t.unreadable;
                    s.totals_.read_failed |= t.read_failed;
                }
            } merged{*this, mine};
            input in;
            try {
                while (ordered_->open(list_, in, dest.place)) {
                    std::string message = check_one(in, check, *writer, out, mine);
                    ordered_->finish(dest.place, out.buffered(), std::move(message));
                    out.drop_buffered();
                }
            } catch (const std::bad_alloc &) {
                try {
                    out.flush(); // what was found before memory ran out is not lost
                } catch (...) {
                }
                throw;
            }
        } catch (const run_stopped &) {
        } catch (...) {
            ordered_->fail(std::current_exception());
        }
    }

    // Checks one input; returns the line for standard error when it could not be read to its end.
    std::string check_one(const input &in, checker &check, format::input_writer &writer, format::output &out,
                          totals &t)
    {
        writer.begin_input(out, in.standard_input ? nullptr : &in.name);
        bool unreadable = false;
        int read_error = 0;
        if (in.standard_input) {
            read_error = check.check_fd(stdin_fd_).read_error;
        } else if (int fd = in.access_error == 0 ? ::open(in.name.c_str(), O_RDONLY | O_CLOEXEC) : -1; fd >= 0) {
            read_error = check.check_fd(fd).read_error;
            ::close(fd);
            // open succeeds on a directory, and reading it fails at once: it must not pass as
            // a clean file, and counts as one that cannot be opened.
            if (read_error == EISDIR) {
                read_error = 0;
                unreadable = true;
                writer.report(failure_of(diagnostic_kind::cannot_access, EISDIR));
            }
        } else {
            unreadable = true;
            writer.report(failure_of(diagnostic_kind::cannot_access, in.access_error != 0 ? in.access_error : errno));
        }
        std::string message;
        if (read_error != 0) {
            // A read error ends the input as its end would, but a half-read file must not pass as
            // a clean one: it is said on standard error, and the run fails once it is over.
            writer.report(failure_of(diagnostic_kind::read_error, read_error));
            message = "delimcheck: error reading " + (in.standard_input ? std::string("standard input") : in.name) +
                      ": " + std::strerror(read_error) + "\n";
        }
        writer.end_input();
        t.reported |= writer.reported() > 0;
        t.unreadable |= unreadable;
        t.read_failed |= read_error != 0;
        return message;
    }

    int status() const
    {
        bool failed = totals_.read_failed || !list_failure().empty();
        if (!config_.status)
            return failed ? 2 : 0;
        return failed || totals_.unreadable ? 2 : totals_.reported ? 1 : 0;
    }

    const run_config &config_;
    int stdin_fd_;
    input_list list_;
    format::format_settings settings_;
    std::unique_ptr<format::document> document_;
    std::optional<ordered_output> ordered_;
    format::destination *dest_ = nullptr;
    unsigned jobs_ = 1;
    std::mutex totals_mutex_;
    totals totals_;
};

} // namespace

int run(const run_config &config, int stdin_fd, format::destination &dest, std::FILE *err)
{
    try {
        session s(config, stdin_fd, dest, err);
        int status = s.run();
        if (!s.list_failure().empty()) {
            std::fprintf(err, "delimcheck: %s\n", s.list_failure().c_str());
            return 2;
        }
        return status;
    } catch (const list_error &e) {
        std::fprintf(err, "delimcheck: %s\n", e.what());
        return 2;
    } catch (const std::bad_alloc &) {
        std::fputs("delimcheck: out of memory\n", err);
        return 2;
    }
}

} // namespace delimcheck::driver
