#include "driver/ordered_output.h"

namespace delimcheck::driver {

namespace {

// Kept output is held in pieces of about the size the checker writes; a smaller one shares a
// piece with its neighbours when it is made ready, so that they go out in one write.
constexpr std::size_t small_piece = 1 << 16;

} // namespace

ordered_output::limits ordered_output::limits::for_jobs(unsigned jobs)
{
    return {64 * std::size_t{jobs}, (std::size_t{4} << 20) * jobs, std::size_t{1} << 20};
}

ordered_output::ordered_output(format::destination &dest, std::string_view separator, std::FILE *err, limits l)
    : dest_(dest), separator_(separator), err_(err), limits_(l)
{
}

// Called with take_mutex_ held.
bool ordered_output::admit(bool got, std::uint64_t &place)
{
    std::unique_lock lock(mutex_);
    if (got)
        changed_.wait(lock, [&] { return stopped_ || slots_.size() < limits_.in_progress; });
    if (!got || stopped_) {
        taken_all_ = true;
        return false;
    }
    place = head_ + slots_.size();
    slots_.emplace_back();
    return true;
}

bool ordered_output::write(std::uint64_t place, const char *p, std::size_t n)
{
    std::unique_lock lock(mutex_);
    if (stopped_)
        return false;
    if (place != head_) {
        keep(slots_[place - head_], std::string_view(p, n));
        changed_.wait(lock, [&] { return stopped_ || place == head_ || kept_ < limits_.kept; });
        return !stopped_;
    }
    start(slots_.front());
    if (!sending_ && ready_.empty()) {
        // Nothing is ahead of these bytes: they go out from where they are.
        sending_ = true;
        lock.unlock();
        bool sent = write_out(p, n);
        lock.lock();
        sending_ = false;
        if (!sent) {
            stop_writing();
            return false;
        }
    } else {
        add_ready(std::string_view(p, n));
    }
    send(lock);
    // A head that makes output faster than it can go waits for it.
    while (!stopped_ && ready_bytes_ >= limits_.ready) {
        changed_.wait(lock);
        send(lock);
    }
    return !stopped_;
}

void ordered_output::finish(std::uint64_t place, std::string_view last, std::string message)
{
    std::unique_lock lock(mutex_);
    if (stopped_)
        return;
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

void ordered_output::fail(std::exception_ptr e)
{
    std::lock_guard lock(mutex_);
    if (!failure_ && !write_failed_)
        failure_ = e;
    stopped_ = true;
    changed_.notify_all();
}

void ordered_output::fail_instead_of_write(std::exception_ptr e)
{
    std::lock_guard lock(mutex_);
    if (write_failed_) {
        write_failed_ = false;
        failure_ = e;
    }
    stopped_ = true;
    changed_.notify_all();
}

// Called with the lock held, when a write of the destination has failed.
void ordered_output::stop_writing()
{
    if (!failure_)
        write_failed_ = true;
    stopped_ = true;
    changed_.notify_all();
}

void ordered_output::send_rest()
{
    std::unique_lock lock(mutex_);
    send(lock);
}

std::exception_ptr ordered_output::failure() const
{
    std::lock_guard lock(mutex_);
    return failure_;
}

bool ordered_output::write_failed() const
{
    std::lock_guard lock(mutex_);
    return write_failed_;
}

std::size_t ordered_output::kept() const
{
    std::lock_guard lock(mutex_);
    return kept_;
}

void ordered_output::keep(slot &s, std::string_view bytes)
{
    if (bytes.empty())
        return;
    // In pieces, so that much kept output costs no more memory than its size, and is handed on
    // without a copy.
    if (s.kept.empty() || s.kept.back().size() + bytes.size() > small_piece)
        s.kept.emplace_back();
    s.kept.back().append(bytes);
    kept_ += bytes.size();
}

// The separator goes before the first output of every input after the first that has any.
void ordered_output::start(slot &s)
{
    if (s.started)
        return;
    s.started = true;
    if (any_output_)
        add_ready(separator_);
    any_output_ = true;
}

void ordered_output::make_ready(slot &s)
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
void ordered_output::add_ready(std::string_view bytes)
{
    if (bytes.empty())
        return;
    if (ready_.empty() || !ready_.back().note.empty() || ready_.back().bytes.size() >= limits_.ready)
        ready_.emplace_back();
    ready_.back().bytes.append(bytes);
    ready_bytes_ += bytes.size();
}

// Called with the lock held; returns with it held. Unless a thread is sending already, this
// one sends what is ready, and whatever becomes ready while it writes.
void ordered_output::send(std::unique_lock<std::mutex> &lock)
{
    if (sending_)
        return;
    sending_ = true;
    bool sent = true;
    while (sent && !ready_.empty()) {
        out_.swap(ready_);
        ready_bytes_ = 0;
        lock.unlock();
        for (piece &p : out_) {
            sent = write_out(p.bytes.data(), p.bytes.size());
            if (!sent)
                break; // nor its note, nor what follows: the run ends here
            p.bytes = std::string(); // a large piece is let go at once
            if (!p.note.empty())
                std::fputs(p.note.c_str(), err_);
        }
        out_.clear();
        lock.lock();
        if (!sent)
            stop_writing();
        changed_.notify_all();
    }
    sending_ = false;
}

bool ordered_output::write_out(const char *p, std::size_t n)
{
    return n == 0 || dest_.write(p, n);
}

} // namespace delimcheck::driver
