#include "lsp/repair_worker.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/resource.h>
#include <system_error>
#include <utility>
#include <unistd.h>

#include "delimcheck/checker.h"
#include "lsp/kept_reports.h"

namespace delimcheck::lsp {

repair_worker::repair_worker(std::chrono::milliseconds pause) : pause_(pause)
{
    if (::pipe(pipe_) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe");
    // A full pipe already says that results are waiting.
    ::fcntl(pipe_[1], F_SETFL, ::fcntl(pipe_[1], F_GETFL) | O_NONBLOCK);
    ::fcntl(pipe_[0], F_SETFL, ::fcntl(pipe_[0], F_GETFL) | O_NONBLOCK);
    try {
        thread_ = std::thread(&repair_worker::run, this);
    } catch (...) {
        ::close(pipe_[0]);
        ::close(pipe_[1]);
        throw;
    }
}

repair_worker::~repair_worker()
{
    {
        std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
        give_up_ = true;
    }
    cv_.notify_one();
    thread_.join();
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void repair_worker::submit(repair_job job)
{
    job.not_before = clock::now() + pause_;
    {
        std::lock_guard<std::mutex> lock(m_);
        if (running_ == job.uri)
            give_up_ = true;
        std::string uri = job.uri;
        waiting_.insert_or_assign(std::move(uri), std::move(job));
    }
    cv_.notify_one();
}

void repair_worker::hurry(const std::string &uri)
{
    {
        std::lock_guard<std::mutex> lock(m_);
        auto it = waiting_.find(uri);
        if (it == waiting_.end())
            return;
        it->second.not_before = clock::now();
    }
    cv_.notify_one();
}

void repair_worker::leave()
{
    {
        std::lock_guard<std::mutex> lock(m_);
        stop_ = true;
        give_up_ = true;
    }
    cv_.notify_one();
    thread_.detach();
}

void repair_worker::forget(const std::string &uri)
{
    std::lock_guard<std::mutex> lock(m_);
    waiting_.erase(uri);
    if (running_ == uri)
        give_up_ = true;
}

std::vector<repair_result> repair_worker::take()
{
    char drain[64];
    while (::read(pipe_[0], drain, sizeof drain) > 0) {
    }
    std::lock_guard<std::mutex> lock(m_);
    return std::exchange(done_, {});
}

void repair_worker::run()
{
    // The reading thread answers keystrokes; when the two want the same processor, it goes
    // first. Failing that, both run as equals.
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
    std::unique_ptr<checker> check;
    std::uint64_t made_for = 0;
    kept_reports reports;
    for (;;) {
        repair_job job;
        {
            std::unique_lock<std::mutex> lock(m_);
            for (;;) {
                if (stop_)
                    return;
                auto first = waiting_.begin();
                for (auto it = waiting_.begin(); it != waiting_.end(); ++it)
                    if (it->second.not_before < first->second.not_before)
                        first = it;
                if (first != waiting_.end() && first->second.not_before <= clock::now()) {
                    job = std::move(first->second);
                    waiting_.erase(first);
                    running_ = job.uri;
                    give_up_ = false;
                    break;
                }
                if (first == waiting_.end()) {
                    cv_.wait(lock);
                } else {
                    // A copy: while this waits, the job may be replaced or forgotten.
                    const clock::time_point until = first->second.not_before;
                    cv_.wait_until(lock, until);
                }
            }
        }
        repair_result r{std::move(job.uri), job.generation, std::move(job.text), {}, 0, false, false};
        try {
            if (!check || made_for != job.settings) {
                check = std::make_unique<checker>(job.opts, reports);
                check->set_give_up([this] { return give_up_.load(std::memory_order_relaxed); });
                made_for = job.settings;
            }
            reports.clear();
            check->check(r.text);
            r.reports = std::move(reports.diagnostics);
            r.left_out = reports.left_out;
        } catch (const std::bad_alloc &) {
            r.failed = true;
        }
        {
            std::lock_guard<std::mutex> lock(m_);
            r.gave_up = give_up_;
            running_.clear();
            if (stop_)
                return;
            done_.push_back(std::move(r));
        }
        char one = 1;
        (void)!::write(pipe_[1], &one, 1);
    }
}

} // namespace delimcheck::lsp
