// What --diff and --fix do with an input: keep its bytes as they were read, keep the repair
// that checking them finds, then write the repair as a diff or put it into the file. Only a
// repair after which the input checks clean is shown or made.
#pragma once

#include <string>
#include <sys/stat.h>

#include "delimcheck/checker.h"
#include "delimcheck/sink.h"
#include "driver/cli.h"
#include "driver/inputs.h"
#include "format/output.h"
#include "format/repair_text.h"

namespace delimcheck::driver {

class input_repair final : public sink {
public:
    // Findings pass on to next as they come.
    input_repair(const run_config &config, sink &next) : config_(config), next_(next) {}

    void report(const diagnostic &d) override;
    void listing(const listing_line &l) override { next_.listing(l); }

    // Reads the whole input from fd, unless it is a file too big to be mended, and has c check
    // it, with this object as c's sink; returns the errno of a read that failed (the bytes read
    // until then are checked).
    int check(int fd, checker &c);

    struct outcome {
        std::string message; // for standard error, in the input's place
        bool fixed = false;  // the file now holds the repaired text
        bool failed = false; // --fix could not rewrite it
    };
    // After a whole input is checked: its diff to out (--diff), its file rewritten (--fix).
    outcome finish(const input &in, format::output &out);

private:
    bool repaired(std::vector<format::line_change> &changes, std::string &after);

    const run_config &config_;
    sink &next_;
    std::string bytes_;  // the input as it was read, when held_
    bool held_ = false;
    struct stat read_{}; // the file as it was when it was read
    bool have_stat_ = false;
    repair fix_;
};

// A writer that writes nothing: under --diff, the diffs are all the output.
class silent_writer final : public format::input_writer {
protected:
    void write(const diagnostic &) override {}
};

} // namespace delimcheck::driver
