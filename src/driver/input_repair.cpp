#include "driver/input_repair.h"

#include <filesystem>
#include <sys/stat.h>
#include <system_error>

#include "check/repair.h"
#include "driver/file_rewrite.h"
#include "format/repair_text.h"

namespace delimcheck::driver {

namespace {

// Counts what a check of the repaired text finds.
struct counting_sink final : sink {
    std::uint64_t found = 0;
    sink_answer report(const diagnostic &) override
    {
        ++found;
        return sink_answer::more;
    }
};

// Whether a link, the name's last part or a directory on its way, leads from the name to the
// file: its every link resolved, it is not the name made absolute.
bool through_link(const std::string &name, const std::string &target)
{
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(name, error);
    return error || absolute.lexically_normal() != std::filesystem::path(target);
}

bool is_fault(diagnostic_kind k)
{
    return k != diagnostic_kind::backslash_blank && k != diagnostic_kind::extra_after_string &&
           k != diagnostic_kind::cannot_access && k != diagnostic_kind::read_error;
}

} // namespace

sink_answer input_repair::report(const diagnostic &d)
{
    if (fix_.empty() && !d.fix.empty() && d.suppressed == suppression::none) { // an accepted finding is left as it is
        fix_ = d.fix;
        apart_ = d.likely.reason == hint_reason::repaired_apart;
    }
    faults_ = faults_ || is_fault(d.kind);
    if (!holding_)
        return next_.report(d);
    if (room())
        waiting_.emplace_back(d);
    return sink_answer::more;
}

void input_repair::listing(const listing_line &l)
{
    if (!holding_)
        next_.listing(l);
    else if (room())
        waiting_.emplace_back(listed{l.line, std::string(l.text)});
}

// Whether one more finding may wait. Past a bound, none does: they are found again by checking
// the held bytes once more, so that memory does not grow with the number of findings.
bool input_repair::room()
{
    if (overflowed_)
        return false;
    if (waiting_.size() < max_waiting)
        return true;
    overflowed_ = true;
    waiting_.clear();
    waiting_.shrink_to_fit();
    return false;
}

int input_repair::check(int fd, checker &c)
{
    bytes_.clear();
    bytes_.shrink_to_fit(); // one big input's buffer is not kept for the rest of the run
    fix_ = {};
    apart_ = false;
    faults_ = false;
    waiting_.clear();
    overflowed_ = false;
    have_stat_ = ::fstat(fd, &read_) == 0;
    // A file too big for the search to mend is checked as it streams, not held.
    held_ = !(have_stat_ && S_ISREG(read_.st_mode) && !checking::repair_search::affordable(read_.st_size));
    holding_ = false;
    if (!held_)
        return check_past_mark(fd, c);
    holding_ = config_.fix;
    int error = read_all(fd, bytes_);
    mark_ = bytes_.starts_with(byte_order_mark) ? byte_order_mark.size() : 0;
    c.check(text());
    return error;
}

void input_repair::release()
{
    if (!holding_)
        return;
    holding_ = false;
    if (overflowed_) {
        check_again(text());
        return;
    }
    for (const auto &w : waiting_) {
        if (const diagnostic *d = std::get_if<diagnostic>(&w)) {
            if (next_.report(*d) == sink_answer::stop)
                break; // as the checker would have ended the input there
        } else {
            const listed &l = std::get<listed>(w);
            next_.listing(listing_line{l.line, l.text});
        }
    }
    waiting_.clear();
}

// A check of text as the run makes it: the input's options, and its selection and directives
// (read from text itself, which after a fix is not what was read), so that a finding the user
// accepted stays accepted.
void input_repair::check_again(std::string_view text)
{
    checking::suppressing_sink filter(next_);
    filter.begin_input(selection_, ignored_here_, [text](checking::directive_reader &r) { r.feed(text); });
    checker again(check_, filter);
    again.check(text);
    filter.end_input();
}

// The lines the repair changes and the repaired text, if the repair fits the input and leaves
// it clean.
bool input_repair::repaired(std::vector<format::line_change> &changes, std::string &after)
{
    // The repair's columns on line 1 count from after a byte-order mark; the file's bytes keep it.
    repair placed = fix_;
    for (text_edit &e : placed.edits) {
        if (e.from.line == 1)
            e.from.column += static_cast<std::int64_t>(mark_);
        if (e.to.line == 1)
            e.to.column += static_cast<std::int64_t>(mark_);
    }
    format::text_lines lines(bytes_);
    if (fix_.empty() || !format::line_changes(lines, placed, changes) || changes.empty() ||
        !format::apply_changes(lines, changes, after) || !after.starts_with(bytes_.substr(0, mark_)))
        return false;
    // Clean as the repair's search judges it.
    options o = checking::nesting_only(check_);
    o.hints = false;
    counting_sink count;
    checker again(o, count);
    again.check(std::string_view(after).substr(mark_));
    if (count.found == 0)
        return true;
    if (!apart_)
        return false;
    // A fault mended apart from the input's old findings: those stay, and the search made sure
    // that nothing else changed; here, at least, fewer are left than were found.
    counting_sink before;
    checker(o, before).check(text());
    return count.found < before.found;
}

input_repair::outcome input_repair::finish(const input &in, format::output &out)
{
    outcome result;
    if (!held_) {
        result.what = faults_ ? result::too_large : result::none;
        return result;
    }
    if (fix_.empty()) {
        release();
        result.what = faults_ ? result::no_edit : result::none;
        return result;
    }
    const std::string name = in.standard_input ? "-" : in.name;
    std::vector<format::line_change> changes;
    std::string after;
    if (!repaired(changes, after)) {
        release();
        if (config_.fix)
            result.message = "delimcheck: " + name + " not fixed: the repair would leave it with faults\n";
        result.what = result::no_edit;
        return result;
    }
    if (config_.diff) {
        format::text_lines lines(bytes_);
        format::unified_diff(out, name, lines, changes, !fix_.safe);
    }
    if (!config_.fix || in.standard_input) {
        release();
        return result;
    }
    if (!fix_.safe && !config_.unsafe_fixes) {
        release();
        result.what = result::held_back;
        return result;
    }
    rewritten &where = result.where;
    std::optional<failure> error = failure{0, "it could not be examined"};
    if (have_stat_) {
        // Said before the file is replaced: a run that cannot say it leaves the file alone.
        error = rewrite_file(in.name, read_, bytes_, after, where, [&](const std::string &target) {
            std::string line = "delimcheck: fixed " + name;
            if (through_link(in.name, target))
                line += " (the file " + target + ")"; // the name says nothing of where a link leads
            line += ": " + fix_.description + "\n";
            return std::fputs(line.c_str(), err_) >= 0 && std::fflush(err_) == 0;
        });
    }
    if (!error) {
        holding_ = false;
        waiting_.clear();
        result.what = result::fixed;
        // What is left in the file now, reported as a check of it would.
        check_again(std::string_view(after).substr(mark_));
    } else {
        release();
        result.what = result::failed;
        result.message = "delimcheck: cannot fix " + name + ": " + error->what + "\n";
    }
    return result;
}

} // namespace delimcheck::driver
