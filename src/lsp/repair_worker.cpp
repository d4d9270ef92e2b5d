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
#include "delimcheck/sink.h"

namespace delimcheck::lsp {

repair_worker::repair_worker()
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
    }
    cv_.notify_one();
    thread_.join();
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void repair_worker::submit(repair_job job)
{
    job.not_before = clock::now() + typing_pause;
    {
        std::lock_guard<std::mutex> lock(m_);
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
    collecting_sink reports;
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
                    break;
                }
                if (first == waiting_.end())
                    cv_.wait(lock);
                else
                    cv_.wait_until(lock, first->second.not_before);
            }
        }
        repair_result r{std::move(job.uri), job.generation, std::move(job.text), {}, false};
        try {
            if (!check || made_for != job.settings) {
                check = std::make_unique<checker>(job.opts, reports);
                made_for = job.settings;
            }
            reports.diagnostics.clear();
            check->check(r.text);
            r.reports = std::move(reports.diagnostics);
        } catch (const std::bad_alloc &) {
            r.failed = true;
        }
        {
            std::lock_guard<std::mutex> lock(m_);
            done_.push_back(std::move(r));
        }
        char one = 1;
        (void)!::write(pipe_[1], &one, 1);
    }
}

} // namespace delimcheck::lsp
