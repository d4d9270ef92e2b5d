// Where a checker's findings go. A format is a sink; so is a collector of values.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "delimcheck/diagnostic.h"

namespace delimcheck {

// Called in the order the findings arise: reports and warnings as the input is read, listing
// lines as their lines end (-s, -m) or at the end of the input (-l, -j). A sink may throw;
// the checker is then left to be reused for its next input.
class sink {
public:
    virtual ~sink() = default;
    virtual void report(const diagnostic &d) = 0;
    virtual void listing(const listing_line &) {}
};

// Keeps everything, for a program that wants the values back.
class collecting_sink : public sink {
public:
    std::vector<diagnostic> diagnostics;
    std::vector<std::pair<std::int64_t, std::string>> listing_lines;

    void report(const diagnostic &d) override { diagnostics.push_back(d); }
    void listing(const listing_line &l) override { listing_lines.emplace_back(l.line, std::string(l.text)); }
};

} // namespace delimcheck
