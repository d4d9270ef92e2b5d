#include "driver/run.h"

#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <sched.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

#include "delimcheck/checker.h"
#include "driver/file_lines.h"
#include "driver/input_repair.h"
#include "driver/inputs.h"
#include "driver/ordered_output.h"
#include "format/formats.h"

namespace delimcheck::driver {

namespace {

// What the inputs checked so far have shown, for the exit status.
struct findings {
    bool reported = false;   // a report or warning
    bool unreadable = false; // an input that could not be opened
    bool read_failed = false;
    bool fix_failed = false; // --fix could not rewrite a file, or --diff or --fix could not open one
    // Under --fix, how many files came to each end.
    std::size_t fixed = 0, held_back = 0, no_edit = 0, too_large = 0, not_rewritten = 0;

    findings &operator|=(const findings &o)
    {
        fixed += o.fixed;
        held_back += o.held_back;
        no_edit += o.no_edit;
        too_large += o.too_large;
        not_rewritten += o.not_rewritten;
        fix_failed |= o.fix_failed;
        reported |= o.reported;
        unreadable |= o.unreadable;
        read_failed |= o.read_failed;
        return *this;
    }
};

// A half-read input, or a file --fix could not rewrite, fails any run; --status also tells
// reports and unopened inputs.
int exit_status(const findings &f, bool status_option)
{
    if (!status_option)
        return f.read_failed || f.fix_failed ? 2 : 0;
    return f.read_failed || f.fix_failed || f.unreadable ? 2 : f.reported ? 1 : 0;
}

unsigned processors()
{
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    unsigned n = std::thread::hardware_concurrency();
    return n != 0 ? n : 1;
}

std::string files(std::size_t n) { return std::to_string(n) + (n == 1 ? " file" : " files"); }

// The line that ends a run under --fix: what it did, and what it left and why.
std::string fix_summary(const findings &f)
{
    std::string line = "delimcheck: " + files(f.fixed) + " fixed";
    if (f.held_back > 0)
        line += "; " + files(f.held_back) + " with repairs held back as unsafe (--unsafe-fixes makes them, --diff shows them)";
    if (f.no_edit + f.too_large > 0) {
        line += "; " + files(f.no_edit + f.too_large) + " with faults and no repair (";
        if (f.no_edit > 0)
            line += std::to_string(f.no_edit) + ": no single edit mends them";
        if (f.no_edit > 0 && f.too_large > 0)
            line += ", ";
        if (f.too_large > 0)
            line += std::to_string(f.too_large) + ": too large to mend";
        line += ")";
    }
    if (f.not_rewritten > 0)
        line += "; " + files(f.not_rewritten) + " could not be rewritten";
    return line + "\n";
}

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
        : config_(config), stdin_fd_(stdin_fd), dest_(dest), err_(err), list_(config, stdin_fd)
    {
        settings_.kind = config.format;
        settings_.quiet = config.quiet;
        settings_.text_hints = config.hint_lines;
        settings_.color = config.colored;
        settings_.tool_version = DELIMCHECK_VERSION;
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd) != nullptr)
            settings_.working_directory = cwd;
        document_ = format::make_document(settings_);
        // --fix rewrites files one at a time: a file named twice (or by a link too) is then
        // read the second time as the first rewrite left it, whatever --jobs says.
        jobs_ = config.fix ? 1 : config.jobs != 0 ? config.jobs : processors();
        ordered_.emplace(dest, document_->separator(), err, ordered_output::limits::for_jobs(jobs_));
    }

    // The document's head, every input on every thread, then the document's end and the status.
    int run()
    {
        if (!list_.failure().empty()) {
            // Nothing is checked, not even the operands, when the list cannot be opened.
            std::fprintf(err_, "delimcheck: %s\n", list_.failure().c_str());
            return 2;
        }
        write_head();
        work_on_all_threads();
        if (std::exception_ptr e = ordered_->failure()) {
            try {
                ordered_->send_rest(); // what was found before the failure is not lost
            } catch (const format::write_error &) {
            }
            std::rethrow_exception(e);
        }
        write_tail();
        if (config_.fix)
            std::fputs(fix_summary(findings_).c_str(), err_);
        if (!list_.failure().empty()) {
            std::fprintf(err_, "delimcheck: %s\n", list_.failure().c_str());
            return 2;
        }
        for (const std::string &p : list_.problems())
            std::fprintf(err_, "delimcheck: %s\n", p.c_str());
        if (!list_.problems().empty())
            return 2;
        return exit_status(findings_, config_.status);
    }

private:
    void write_head()
    {
        format::output out(dest_);
        document_->begin(out);
        out.flush();
    }

    void write_tail()
    {
        format::output out(dest_);
        document_->end(out);
        out.flush();
    }

    void work_on_all_threads()
    {
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
    }

    // Called by one taker at a time. A list that cannot be read ends the inputs, and the run
    // fails once the inputs taken before are done.
    bool next_input(input &in)
    {
        while (list_.next(in))
            if (!seen_before(in))
                return true;
        return false;
    }

    // --diff and --fix take each file once, however often it is named or linked: a second diff
    // of it would not apply, and a second fix would mend what the first left.
    bool seen_before(const input &in)
    {
        struct stat st;
        if (!(config_.diff || config_.fix) || in.standard_input || in.access_error != 0 ||
            ::stat(in.name.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return false;
        std::lock_guard lock(seen_mutex_);
        return !seen_.insert({st.st_dev, st.st_ino}).second;
    }

    // One thread's share: inputs taken in turn, each checked with this thread's own checker.
    void work()
    {
        try {
            std::unique_ptr<format::input_writer> writer =
                config_.diff ? std::make_unique<silent_writer>() : format::make_input_writer(settings_);
            place_destination dest(*ordered_);
            format::output out(dest);
            // --diff and --fix see the findings on their way to the writer, for the repair.
            std::optional<input_repair> repairing;
            if (config_.diff || config_.fix)
                repairing.emplace(config_, *writer, err_);
            checker check(config_.check, repairing ? static_cast<sink &>(*repairing) : *writer);
            // This thread's findings, merged once its work is done, so that no input waits on
            // the others'.
            findings mine;
            input in;
            try {
                while (ordered_->take([&] { return next_input(in); }, dest.place)) {
                    std::string message = check_one(in, check, *writer, repairing ? &*repairing : nullptr, out, mine);
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
            std::lock_guard lock(findings_mutex_);
            findings_ |= mine;
        } catch (const run_stopped &) {
        } catch (...) {
            ordered_->fail(std::current_exception());
        }
    }

    // Checks one input; returns the line for standard error when it could not be read to its end.
    std::string check_one(const input &in, checker &check, format::input_writer &writer, input_repair *repairing,
                          format::output &out, findings &f)
    {
        // The pretty format shows lines of a named input, read again as it needs them.
        std::optional<file_lines> lines;
        if (settings_.kind == format::format_kind::pretty && !in.standard_input)
            lines.emplace(in.name);
        writer.begin_input(out, in.standard_input ? nullptr : &in.name, lines ? &*lines : nullptr);
        read_result r = read_input(in, stdin_fd_, [&](int fd) {
            return repairing != nullptr ? repairing->check(fd, check) : check_past_mark(fd, check);
        });
        if (r.access_error != 0)
            writer.report(failure_of(diagnostic_kind::cannot_access, r.access_error));
        std::string message;
        input_repair::outcome repaired;
        if (repairing != nullptr && r.access_error == 0 && r.read_error == 0)
            repaired = repairing->finish(in, out);
        else if (repairing != nullptr)
            repairing->release();
        if (r.read_error != 0) {
            // A read error ends the input as its end would, but a half-read file must not pass as
            // a clean one: it is said on standard error, and the run fails once it is over.
            writer.report(failure_of(diagnostic_kind::read_error, r.read_error));
            message = "delimcheck: error reading " + (in.standard_input ? std::string("standard input") : in.name) +
                      ": " + std::strerror(r.read_error) + "\n";
        }
        if (repairing != nullptr && r.access_error != 0) {
            // Asked to mend a file, and unable to look at it: not a silent success.
            message = "delimcheck: cannot open " + in.name + ": " + std::strerror(r.access_error) + "\n";
            f.fix_failed = true;
        }
        writer.end_input();
        message += repaired.message;
        using result = input_repair::result;
        if (repaired.what == result::fixed && repaired.where.inode != 0) {
            std::lock_guard lock(seen_mutex_);
            seen_.insert({repaired.where.device, repaired.where.inode});
        }
        f.fixed += repaired.what == result::fixed;
        f.held_back += repaired.what == result::held_back;
        f.no_edit += repaired.what == result::no_edit;
        f.too_large += repaired.what == result::too_large;
        f.not_rewritten += repaired.what == result::failed;
        f.reported |= writer.reported() > 0; // under --fix, what the file holds now
        f.fix_failed |= repaired.what == result::failed;
        f.unreadable |= r.access_error != 0;
        f.read_failed |= r.read_error != 0;
        return message;
    }

    const run_config &config_;
    int stdin_fd_;
    format::destination &dest_;
    std::FILE *err_;
    input_list list_;
    format::format_settings settings_;
    std::unique_ptr<format::document> document_;
    std::optional<ordered_output> ordered_;
    unsigned jobs_ = 1;
    std::mutex findings_mutex_;
    findings findings_;
    std::mutex seen_mutex_;
    std::set<std::pair<dev_t, ino_t>> seen_; // the files that --diff or --fix has taken
};

} // namespace

int run(const run_config &config, int stdin_fd, format::destination &dest, std::FILE *err)
{
    try {
        session s(config, stdin_fd, dest, err);
        return s.run();
    } catch (const std::bad_alloc &) {
        std::fputs("delimcheck: out of memory\n", err);
        return 2;
    }
}

} // namespace delimcheck::driver
