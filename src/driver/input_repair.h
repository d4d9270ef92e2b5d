// What --diff and --fix do with an input: keep its bytes as they were read, keep the repair
// that checking them finds, then write the repair as a diff or put it into the file. Only a
// repair after which the input checks clean is shown or made, and --fix makes only a safe one
// unless --unsafe-fixes says otherwise.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <variant>
#include <vector>

#include "check/suppression.h"
#include "delimcheck/checker.h"
#include "delimcheck/sink.h"
#include "driver/cli.h"
#include "driver/file_rewrite.h"
#include "driver/inputs.h"
#include "format/output.h"
#include "format/repair_text.h"

namespace delimcheck::driver {

class input_repair final : public sink {
public:
    // Findings pass on to next: as they come, or under --fix once the file is settled, so that
    // what is reported is what the file holds after the fix. The line that says a file was
    // fixed goes to err, before the file is replaced.
    input_repair(const run_config &config, sink &next, std::FILE *err) : config_(config), next_(next), err_(err), check_(config.check) {}

    sink_answer report(const diagnostic &d) override;
    void listing(const listing_line &l) override;

    // Before each input: the options it is checked with and what its settings report, for the
    // checks of it that this object makes itself (after a fix, or once more past the bound).
    void begin_input(const options &check, const checking::selection &s, checking::code_set ignored_here)
    {
        check_ = check;
        selection_ = s;
        ignored_here_ = ignored_here;
    }
    // The input's bytes as they were read, past a byte-order mark; empty unless it is held.
    std::string_view held_text() const { return held_ ? text() : std::string_view(); }

    // Reads the whole input from fd, unless it is a file too big to be mended, and has c check
    // it, with this object as c's sink; returns the errno of a read that failed (the bytes read
    // until then are checked).
    int check(int fd, checker &c);

    // What became of an input's faults.
    enum class result {
        none,       // nothing to mend: no fault, or only warnings
        fixed,      // the file now holds the repaired text
        held_back,  // --fix found a repair that is not safe, and --unsafe-fixes was not given
        no_edit,    // faults, and no single edit that leaves the input clean
        too_large,  // faults, in an input too big for the search
        failed,     // --fix could not rewrite the file
    };
    struct outcome {
        std::string message; // for standard error, in the input's place
        result what = result::none;
        rewritten where; // fixed: the file that now holds the repair
    };
    // After a whole input is checked: its diff to out (--diff), its file rewritten (--fix), and
    // the findings that were held passed on.
    outcome finish(const input &in, format::output &out);
    // The findings that were held, passed on as they were: the input could not be read whole.
    void release();

private:
    bool repaired(std::vector<format::line_change> &changes, std::string &after);
    void check_again(std::string_view text);

    const run_config &config_;
    sink &next_;
    std::FILE *err_;
    options check_;
    checking::selection selection_;
    checking::code_set ignored_here_ = 0;
    std::string bytes_;  // the input as it was read, when held_
    std::size_t mark_ = 0; // the length of the byte-order mark that bytes_ starts with
    std::string_view text() const { return std::string_view(bytes_).substr(mark_); }
    bool held_ = false;
    struct stat read_{}; // the file as it was when it was read
    bool have_stat_ = false;
    bool faults_ = false; // a finding other than a warning
    repair fix_;
    bool apart_ = false; // fix_ mends one fault and leaves the input's other findings
    // Under --fix, the findings of a held input until it is settled.
    struct listed {
        std::int64_t line;
        std::string text;
    };
    static constexpr std::size_t max_waiting = 4096;
    bool room();
    std::vector<std::variant<diagnostic, listed>> waiting_;
    bool overflowed_ = false; // more findings than may wait: they are found again instead
    bool holding_ = false;
};

// A writer that writes nothing: under --diff, the diffs are all the output.
class silent_writer final : public format::input_writer {
protected:
    void write(const diagnostic &) override {}
};

} // namespace delimcheck::driver
