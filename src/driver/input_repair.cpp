#include "driver/input_repair.h"

#include <sys/stat.h>

#include "check/repair.h"
#include "driver/file_rewrite.h"
#include "format/repair_text.h"

namespace delimcheck::driver {

namespace {

// Counts what a check of the repaired text finds.
struct counting_sink final : sink {
    std::uint64_t found = 0;
    void report(const diagnostic &) override { ++found; }
};

} // namespace

void input_repair::report(const diagnostic &d)
{
    if (fix_.empty() && !d.fix.empty() && d.suppressed == suppression::none) // an accepted finding is left as it is
        fix_ = d.fix;
    next_.report(d);
}

int input_repair::check(int fd, checker &c)
{
    bytes_.clear();
    bytes_.shrink_to_fit(); // one big input's buffer is not kept for the rest of the run
    fix_ = {};
    have_stat_ = ::fstat(fd, &read_) == 0;
    // A file too big for the search to mend is checked as it streams, not held.
    held_ = !(have_stat_ && S_ISREG(read_.st_mode) && !checking::repair_search::affordable(read_.st_size));
    if (!held_)
        return c.check_fd(fd).read_error;
    int error = read_all(fd, bytes_);
    c.check(bytes_);
    return error;
}

// The lines the repair changes and the repaired text, if the repair fits the input and leaves
// it clean.
bool input_repair::repaired(std::vector<format::line_change> &changes, std::string &after)
{
    format::text_lines lines(bytes_);
    if (fix_.empty() || !format::line_changes(lines, fix_, changes) || changes.empty() ||
        !format::apply_changes(lines, changes, after))
        return false;
    // Clean as the repair's search judges it.
    options o = checking::nesting_only(config_.check);
    o.hints = false;
    counting_sink count;
    checker again(o, count);
    again.check(after);
    return count.found == 0;
}

input_repair::outcome input_repair::finish(const input &in, format::output &out)
{
    outcome result;
    if (fix_.empty() || !held_)
        return result;
    const std::string name = in.standard_input ? "-" : in.name;
    std::vector<format::line_change> changes;
    std::string after;
    if (!repaired(changes, after)) {
        if (config_.fix)
            result.message = "delimcheck: " + name + " not fixed: the repair would leave it with faults\n";
        return result;
    }
    if (config_.diff) {
        format::text_lines lines(bytes_);
        format::unified_diff(out, name, lines, changes);
    }
    if (config_.fix && !in.standard_input) {
        std::string error = have_stat_ ? rewrite_file(in.name, read_, bytes_, after) : "it could not be examined";
        if (error.empty()) {
            result.fixed = true;
            result.message = "delimcheck: fixed " + name + ": " + fix_.description + "\n";
        } else {
            result.failed = true;
            result.message = "delimcheck: cannot fix " + name + ": " + error + "\n";
        }
    }
    return result;
}

} // namespace delimcheck::driver
