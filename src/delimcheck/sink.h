// Where a checker's findings go. A format is a sink; so is a collector of values.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "delimcheck/diagnostic.h"

namespace delimcheck {

// What a sink answers to a report: more, or stop, which ends the check of this input at once
// (no further reports, listing lines or end-of-input reports for it). The checker stays ready
// for its next input.
enum class sink_answer { more, stop };

// Called in the order the findings arise: reports and warnings as the input is read, listing
// lines as their lines end (-s, -m) or at the end of the input (-l, -j). Errors are values in
// this layer: a sink that cannot go on answers stop and keeps why for its owner to ask. A sink
// may still throw; the checker is then left to be reused for its next input.
class sink {
public:
    virtual ~sink() = default;
    virtual sink_answer report(const diagnostic &d) = 0;
    virtual void listing(const listing_line &) {}
};

// Keeps everything, for a program that wants the values back.
class collecting_sink : public sink {
public:
    std::vector<diagnostic> diagnostics;
    std::vector<std::pair<std::int64_t, std::string>> listing_lines;

    sink_answer report(const diagnostic &d) override
    {
        diagnostics.push_back(d);
        return sink_answer::more;
    }
    void listing(const listing_line &l) override { listing_lines.emplace_back(l.line, std::string(l.text)); }
};

} // namespace delimcheck
