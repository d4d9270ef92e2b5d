#include "driver/run.h"

#include <cerrno>
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

#include <array>
#include <algorithm>
#include <fcntl.h>
#include <streambuf>
#include <istream>
#include <sys/stat.h>

#include "check/suppression.h"
#include "config/project.h"
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

// Counts the findings that are reported, per kind, for --statistics.
class tally final : public sink {
public:
    explicit tally(sink &next) : next_(next) {}
    sink_answer report(const diagnostic &d) override
    {
        if (d.suppressed == suppression::none)
            ++counts[static_cast<int>(d.kind)];
        return next_.report(d);
    }
    void listing(const listing_line &l) override { next_.listing(l); }
    std::array<std::uint64_t, all_kind_count> counts{};

private:
    sink &next_;
};

// An input that cannot be read again (a pipe): its bytes go to the directive reader as the
// checker reads them, a block ahead of the scan, and only the line being read is kept.
class directive_tee final : public std::streambuf {
public:
    directive_tee(int fd, checking::directive_reader &r) : fd_(fd), reader_(r) {}
    int error = 0;

protected:
    int_type underflow() override
    {
        std::size_t have = 0;
        for (;;) {
            ssize_t n = ::read(fd_, block_ + have, sizeof block_ - have);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                error = errno;
            if (n > 0)
                have += static_cast<std::size_t>(n);
            // The first bytes are gathered until they are a byte-order mark or cannot be one:
            // like a file's, the mark of a piped input is no part of its first line.
            std::string_view got(block_, have);
            if (first_ && n > 0 && got.size() < byte_order_mark.size() && byte_order_mark.starts_with(got))
                continue;
            std::size_t skip = first_ && got.starts_with(byte_order_mark) ? byte_order_mark.size() : 0;
            first_ = false;
            if (have <= skip) {
                reader_.finish();
                return traits_type::eof();
            }
            reader_.feed(got.substr(skip));
            setg(block_ + skip, block_ + skip, block_ + have);
            return traits_type::to_int_type(block_[skip]);
        }
    }

private:
    int fd_;
    checking::directive_reader &reader_;
    bool first_ = true;
    char block_[1 << 16];
};

// "  91  extra-after-string  A closing quote followed by a stray character", most first.
std::string statistics_text(const std::array<std::uint64_t, all_kind_count> &counts)
{
    std::vector<int> kinds;
    for (int k = 0; k < all_kind_count; ++k)
        if (counts[k] != 0)
            kinds.push_back(k);
    std::stable_sort(kinds.begin(), kinds.end(), [&](int a, int b) { return counts[a] > counts[b]; });
    std::size_t number_width = 0, code_width = 0;
    for (int k : kinds) {
        number_width = std::max(number_width, std::to_string(counts[k]).size());
        code_width = std::max(code_width, code(static_cast<diagnostic_kind>(k)).size());
    }
    std::string text;
    for (int k : kinds) {
        std::string n = std::to_string(counts[k]);
        std::string_view c = code(static_cast<diagnostic_kind>(k));
        text += std::string(number_width - n.size(), ' ') + n + "  " + std::string(c) +
                std::string(code_width - c.size(), ' ') + "  " + std::string(description(static_cast<diagnostic_kind>(k))) +
                "\n";
    }
    return text;
}

std::string working_directory()
{
    char cwd[4096];
    return getcwd(cwd, sizeof cwd) != nullptr ? cwd : ".";
}

// Where the settings of each input come from: one project file named, the nearest one, or none.
class project_settings {
public:
    explicit project_settings(const run_config &c) : cwd_(working_directory())
    {
        cl_.check = c.check;
        cl_.select = c.select;
        cl_.ignore = c.ignore;
        cl_.threshold = c.threshold;
        cl_.report_unused_directives = c.report_unused_directives;
        if (!c.config_file.empty())
            fixed_ = std::make_shared<const config::project_file>(
                config::read_project_file(config::absolute_path(c.config_file, cwd_)));
        else if (!c.isolated)
            finder_.emplace(cwd_);
    }

    std::shared_ptr<const config::project_file> file_for(const std::string &name, bool standard_input)
    {
        if (fixed_ || !finder_)
            return fixed_;
        return finder_->for_input(name, standard_input);
    }
    std::shared_ptr<const config::project_file> file_for_directory(const std::string &name)
    {
        if (fixed_ || !finder_)
            return fixed_;
        return finder_->for_directory(config::absolute_path(name, cwd_));
    }

    config::input_settings settle(const std::string &name, bool standard_input,
                                  const config::project_file *file) const
    {
        // The whole name only matters to a project file's per-file ignores.
        bool named = !standard_input && file != nullptr && !file->per_file_ignores.empty();
        return config::settle(cl_, file, named ? config::absolute_path(name, cwd_) : std::string());
    }

    // The walk of a directory: the command line's rules over its project file's.
    walk_rules walk_for(const run_config &c, const std::string &directory)
    {
        walk_rules r{c.includes, {}, c.excludes, c.hidden, nullptr, {}};
        std::shared_ptr<const config::project_file> f = file_for_directory(directory);
        if (!f)
            return r;
        r.source = f.get();
        if (r.includes.empty() && f->include)
            r.includes = *f->include;
        r.extend_includes = f->extend_include;
        if (r.excludes.empty() && f->exclude) {
            r.excludes = *f->exclude;
            // Matched from the project file's directory, wherever the walk starts below it.
            std::string path = config::absolute_path(directory, cwd_);
            if (path.size() > f->directory.size() && path.starts_with(f->directory))
                r.below = path.substr(f->directory.size());
        }
        r.hidden = r.hidden || f->hidden.value_or(false);
        return r;
    }

    const std::string &cwd() const { return cwd_; }

private:
    std::string cwd_;
    config::command_line_settings cl_;
    std::shared_ptr<const config::project_file> fixed_;
    std::optional<config::project_finder> finder_;
};

class session {
public:
    session(const run_config &config, int stdin_fd, format::destination &dest, std::FILE *err)
        : config_(config), stdin_fd_(stdin_fd), dest_(dest), err_(err), list_(config, stdin_fd), project_(config)
    {
        // A project file that cannot be read ends the run before anything is checked: those of
        // the operands, and of the working directory for standard input, are read first.
        bool any_project = !config.config_file.empty();
        if (config.operands.empty() && config.files_from.empty())
            any_project |= project_.file_for("", true) != nullptr;
        for (const std::string &o : config.operands) {
            any_project |= project_.file_for(o, false) != nullptr;
            if (config.recursive)
                any_project |= project_.file_for_directory(o) != nullptr;
        }
        list_.set_walk_rules([this](const std::string &directory) { return project_.walk_for(config_, directory); });
        struct stat st {};
        stdin_pipe_ = !(::fstat(stdin_fd, &st) == 0 && S_ISREG(st.st_mode));
        settings_.kind = config.format;
        settings_.show_suppressed = config.show_suppressed;
        settings_.directive_rules = any_project || config.select || config.ignore || config.threshold ||
                                    config.report_unused_directives;
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
        // A failed write ends the run at once, and its caller says so: dest_ keeps the errno.
        if (!write_head())
            return 2;
        work_on_all_threads();
        if (ordered_->write_failed())
            return 2;
        if (std::exception_ptr e = ordered_->failure()) {
            ordered_->send_rest(); // what was found before the failure is not lost
            dest_.forget_error();  // that failure is the one said, not this write's
            std::rethrow_exception(e);
        }
        if (!write_tail())
            return 2;
        if (config_.fix)
            std::fputs(fix_summary(findings_).c_str(), err_);
        if (config_.statistics) {
            format::output out(dest_);
            out.text(statistics_text(counts_));
            if (!out.flush())
                return 2;
        }
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
    bool write_head()
    {
        format::output out(dest_);
        document_->begin(out);
        return out.flush();
    }

    bool write_tail()
    {
        format::output out(dest_);
        document_->end(out);
        return out.flush();
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
    // A run stopped by a failure elsewhere, or by a failed write, ends it by a refused take.
    void work()
    {
        try {
            std::unique_ptr<format::input_writer> writer = config_.diff || config_.statistics
                                                                ? std::make_unique<silent_writer>()
                                                                : format::make_input_writer(settings_);
            place_destination dest(*ordered_);
            format::output out(dest);
            tally counted(*writer);
            // --diff and --fix see the findings on their way to the writer, for the repair.
            std::optional<input_repair> repairing;
            if (config_.diff || config_.fix)
                repairing.emplace(config_, counted, err_);
            // Then the selection and the directives, first after the checker.
            checking::suppressing_sink filter(repairing ? static_cast<sink &>(*repairing) : counted);
            thread_work work{filter, {}, {}};
            // This thread's findings, merged once its work is done, so that no input waits on
            // the others'.
            findings mine;
            input in;
            try {
                while (ordered_->take([&] { return next_input(in); }, dest.place)) {
                    std::string message = check_one(in, work, *writer, repairing ? &*repairing : nullptr, out, mine);
                    ordered_->finish(dest.place, out.buffered(), std::move(message));
                    out.drop_buffered();
                }
            } catch (const std::bad_alloc &) {
                // What was found before memory ran out is not lost; a write that fails on it
                // is not what ended the run.
                bool write_failed = ordered_->write_failed();
                out.flush();
                if (!write_failed && ordered_->write_failed())
                    ordered_->fail_instead_of_write(std::current_exception());
                throw;
            }
            std::lock_guard lock(findings_mutex_);
            findings_ |= mine;
            for (int k = 0; k < all_kind_count; ++k)
                counts_[k] += counted.counts[k];
        } catch (...) {
            ordered_->fail(std::current_exception());
        }
    }

    // A thread's checker, made again when an input's settings ask for other options.
    struct thread_work {
        checking::suppressing_sink &filter;
        std::optional<checker> check;
        options made_with;
        std::vector<char> small = std::vector<char>(std::size_t{256} << 10); // a small file, whole
    };

    // Checks one input; returns the line for standard error when it could not be read to its end.
    std::string check_one(const input &in, thread_work &work, format::input_writer &writer, input_repair *repairing,
                          format::output &out, findings &f)
    {
        std::shared_ptr<const config::project_file> file = project_.file_for(in.name, in.standard_input);
        config::input_settings here = project_.settle(in.name, in.standard_input, file.get());
        if (!work.check || !(work.made_with == here.check)) {
            work.check.emplace(here.check, work.filter);
            work.made_with = here.check;
        }
        checker &check = *work.check;
        work.filter.begin_input(here.selection, here.ignored_here, {});
        if (repairing != nullptr)
            repairing->begin_input(here.check, here.selection, here.ignored_here);
        // The pretty format shows lines of a named input, read again as it needs them.
        std::optional<file_lines> lines;
        if (settings_.kind == format::format_kind::pretty && !in.standard_input)
            lines.emplace(in.name);
        writer.begin_input(out, in.standard_input ? nullptr : &in.name, lines ? &*lines : nullptr);
        read_result r = read_input(in, stdin_fd_, [&](int fd) {
            // A regular file is read again for its directives only if it reports; what cannot be
            // read again (a pipe, a FIFO) goes through the directive reader as it is checked.
            int error = 0;
            // A pipe is read once, through the directive reader as it is checked.
            auto read_once = [&](int pipe) {
                directive_tee buffer(pipe, work.filter.reader_fed_by_caller());
                std::istream stream(&buffer);
                check.check(stream);
                return buffer.error;
            };
            if (!stdin_pipe_ || !in.standard_input) {
                // A small file is read whole, once: checked from memory, and its directives
                // looked for there when it reports.
                std::string_view whole;
                bool small = repairing == nullptr && read_small(fd, work.small, whole);
                // Asked at the first finding only, which pays for the look at what fd is. A
                // named FIFO is known as such by the first read of the check; --diff and --fix
                // hold its bytes whole, and the directives are read from them.
                work.filter.set_loader([fd, repairing, small, whole](checking::directive_reader &reader) {
                    if (small) {
                        if (checking::find_marker(whole) != std::string_view::npos)
                            reader.feed(whole);
                        return;
                    }
                    struct stat st {};
                    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
                        if (repairing != nullptr)
                            reader.feed(repairing->held_text());
                        return;
                    }
                    char block[1 << 16];
                    // Most inputs hold no directive: one search for its words, and no line
                    // is counted. Pieces overlap so that the words are found across them.
                    bool any = false;
                    for (off_t at = 0; !any;) {
                        ssize_t n = ::pread(fd, block, sizeof block, at);
                        if (n <= 0)
                            break;
                        any = checking::find_marker(std::string_view(block, static_cast<std::size_t>(n))) !=
                              std::string_view::npos;
                        if (static_cast<std::size_t>(n) < sizeof block)
                            break;
                        at += n - static_cast<off_t>(checking::marker_size - 1);
                    }
                    if (!any)
                        return;
                    off_t at = 0;
                    for (ssize_t n; (n = ::pread(fd, block, sizeof block, at)) > 0; at += n)
                        reader.feed(std::string_view(block, static_cast<std::size_t>(n)));
                });
                if (small)
                    error = check.check(whole.starts_with(byte_order_mark) ? whole.substr(byte_order_mark.size()) : whole)
                                .read_error;
                else
                    error = repairing != nullptr ? repairing->check(fd, check) : check_past_mark(fd, check, read_once);
            } else if (repairing == nullptr) { // standard input from a pipe
                error = read_once(fd);
            } else {
                error = repairing->check(fd, check);
            }
            work.filter.end_input(); // while fd is open: unused directives may need it
            return error;
        });
        if (out.failed()) {
            // The run has stopped: nothing more of this input is said, nor any file rewritten.
            if (repairing != nullptr)
                repairing->release();
            return {};
        }
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
    project_settings project_;
    std::array<std::uint64_t, all_kind_count> counts_{};
    bool stdin_pipe_ = false; // standard input cannot be read again
};

} // namespace

namespace {

// --show-settings: for each operand, the settings that apply to it and where they come from.
int show_settings(const run_config &config, format::destination &dest)
{
    project_settings project(config);
    format::output out(dest);
    for (const std::string &name : config.operands) {
        std::shared_ptr<const config::project_file> file = project.file_for(name, false);
        config::input_settings s = project.settle(name, false, file.get());
        walk_rules walk = config.recursive ? project.walk_for(config, name) : walk_rules{};
        std::vector<std::string> includes = walk.includes;
        includes.insert(includes.end(), walk.extend_includes.begin(), walk.extend_includes.end());
        out.text("# settings for " + name + "\n");
        out.text(config::describe(s, file.get(), includes, walk.excludes, walk.hidden));
        if (out.failed())
            return 2;
    }
    return out.flush() ? 0 : 2;
}

} // namespace

int run(const run_config &config, int stdin_fd, format::destination &dest, std::FILE *err)
{
    try {
        if (config.show_settings)
            return show_settings(config, dest);
        session s(config, stdin_fd, dest, err);
        return s.run();
    } catch (const config::project_error &e) {
        std::fprintf(err, "delimcheck: %s\n", e.what());
        return 2;
    } catch (const std::bad_alloc &) {
        std::fputs("delimcheck: out of memory\n", err);
        return 2;
    }
}

} // namespace delimcheck::driver
