// What every output format is made of. A run writes one document: a prologue, what each input gives in input
// order, and an epilogue; each input is written by an input writer, a sink.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "delimcheck/sink.h"
#include "format/output.h"
#include "format/source_lines.h"

namespace delimcheck::format {

enum class format_kind : std::uint8_t { text, gcc, json, github, sarif, pretty };

// Writes the findings of one input at a time. Several writers may serve one run, one per
// thread, each into an output of its own, whose bytes are then put in input order.
class input_writer : public sink {
public:
    // Standard input has no name (nullptr); the formats other than text call it "-". lines,
    // when there are any, reads the input again for a format that shows its lines; it must
    // last until end_input.
    void begin_input(output &out, const std::string *name, line_source *lines = nullptr)
    {
        out_ = &out;
        lines_ = lines;
        reported_ = 0;
        standard_input_ = name == nullptr;
        name_ = standard_input_ ? "-" : *name;
        first_ = true;
        input_begins();
    }
    virtual void end_input() {}

    // Counts what the input reported, for the exit status of --status. A suppressed finding is
    // not counted, and reaches only a format that marks it. Once the output cannot be written,
    // the answer is stop: nothing more of the input could be said.
    sink_answer report(const diagnostic &d) final
    {
        if (d.suppressed != suppression::none) {
            if (keeps_suppressed())
                write(d);
            return answer();
        }
        if (d.kind != diagnostic_kind::cannot_access && d.kind != diagnostic_kind::read_error)
            ++reported_;
        write(d);
        return answer();
    }
    std::uint64_t reported() const { return reported_; } // since begin_input

protected:
    virtual bool keeps_suppressed() const { return false; }
    virtual void input_begins() {}
    virtual void write(const diagnostic &d) = 0;

    output &out() { return *out_; }
    const std::string &name() const { return name_; }
    bool standard_input() const { return standard_input_; }
    line_source *lines() const { return lines_; } // nullptr: the input's lines are not to be had
    // True for the input's first diagnostic only: what separates the others comes before them.
    bool first_of_input()
    {
        bool f = first_;
        first_ = false;
        return f;
    }

private:
    sink_answer answer() const { return out_->failed() ? sink_answer::stop : sink_answer::more; }

    output *out_ = nullptr;
    line_source *lines_ = nullptr;
    std::string name_;
    bool standard_input_ = false;
    bool first_ = true;
    std::uint64_t reported_ = 0;
};

// What surrounds the inputs' output: a JSON array, a SARIF log. Inputs whose output is not empty
// are joined by separator().
class document {
public:
    virtual ~document() = default;
    virtual void begin(output &) {}
    virtual void end(output &) {}
    virtual std::string_view separator() const { return {}; }
};

struct format_settings {
    format_kind kind = format_kind::text;
    bool quiet = false; // text only: a file's header waits for its first line
    bool text_hints = true; // text only: the hint lines of diagnostics that carry a hint
    bool color = false;     // pretty only: colour for a terminal
    std::string tool_version;
    std::string working_directory; // absolute; sarif resolves relative names against it
    bool show_suppressed = false;  // json only: suppressed findings too, marked (--show-suppressed)
    bool directive_rules = false;  // sarif only: rules for the directive codes too
};

} // namespace delimcheck::format
