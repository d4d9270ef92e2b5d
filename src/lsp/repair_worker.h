// The repair search, off the reading thread. A keystroke's reports are published at once from
// a check without it; the search for the edit that mends the first fault costs several times
// that check, so it runs here, and its reports follow when it is done. It waits for a pause in
// the typing, so that it does not take the processor from the keystrokes; a newer text of the
// same document replaces one still waiting, and starts the pause again.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "delimcheck/diagnostic.h"
#include "delimcheck/options.h"

namespace delimcheck::lsp {

using clock = std::chrono::steady_clock;

// How long a text waits unchanged before it is searched, unless told otherwise.
inline constexpr std::chrono::milliseconds typing_pause{50};

struct repair_job {
    std::string uri;
    clock::time_point not_before; // the end of the pause
    std::uint64_t generation = 0; // which text of the document this is
    std::string text;
    options opts;               // hints and repair on
    std::uint64_t settings = 0; // changes when opts do
};

struct repair_result {
    std::string uri;
    std::uint64_t generation = 0;
    std::string text;
    std::vector<diagnostic> reports;
    std::uint64_t left_out = 0; // reports past the ones kept
    bool failed = false; // the check ran out of memory: keep what was published
    bool gave_up = false; // a newer text came first, so the search stopped: never publish it
};

class repair_worker {
public:
    // Throws std::system_error when no pipe or thread can be made. `pause` is how long a text
    // waits unchanged before it is searched.
    explicit repair_worker(std::chrono::milliseconds pause = typing_pause);
    ~repair_worker(); // a search under way gives up, so that this returns at once
    repair_worker(const repair_worker &) = delete;
    repair_worker &operator=(const repair_worker &) = delete;

    // To be searched after the pause. The search of an older text of the same document, if one
    // is under way, gives up.
    void submit(repair_job job);
    void hurry(const std::string &uri); // searched at once: a quick fix is waiting for it
    void forget(const std::string &uri); // closed: neither wait for nor finish its search
    // Asks the thread to end, its search to give up, and lets it go without waiting: for a
    // process that is about to end, which then need not wait for a thread the scheduler ranks
    // below it. The object must then outlive the thread: it is never destroyed.
    void leave();
    std::vector<repair_result> take(); // the results finished so far
    int wake_fd() const { return pipe_[0]; } // readable when a result is finished

private:
    void run();
    std::chrono::milliseconds pause_;
    std::mutex m_;
    std::condition_variable cv_;
    std::map<std::string, repair_job> waiting_;
    std::vector<repair_result> done_;
    bool stop_ = false;
    std::string running_;                // the document being searched, if any
    std::atomic<bool> give_up_{false};   // asked by the search between its candidates
    int pipe_[2] = {-1, -1};
    std::thread thread_;
};

} // namespace delimcheck::lsp
