// The rules of the repair search: each proposes edits of one kind on the lines near the first
// stop, and each edit gets a cost on one scale. A new rule is a generator and a row in the
// table in repair_rules.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check/repair_lines.h"
#include "delimcheck/diagnostic.h"

namespace delimcheck::checking {

// The cost scale of every rule: one unit is one line between the line an edit places the
// fault at and the first stop; a rule's prior, how unlikely the edit is in itself, adds two
// units per step, from 0 (the likeliest edit of all) to about 6. So an edit of prior 1 weighs
// as one of prior 0 two lines further away. Edits of the same cost are tried in the order they
// were made: by the rules' order in the table, then by line.
struct candidate {
    text_edit edit;
    std::int64_t from = 0, to = 0; // the edit in bytes
    std::string description;
    std::string_view rule;     // the name of the rule that made it
    std::int64_t line = 0;     // where it places the fault
    std::int64_t distance = 0; // in lines from the first stop
    std::int64_t prior = 0;
    std::int64_t order = 0; // made before those of greater order
    std::int64_t cost() const { return distance + 2 * prior; }
    bool before(const candidate &o) const { return cost() != o.cost() ? cost() < o.cost() : order < o.order; }
};

// Runs every rule over the kept lines and keeps the `keep` cheapest edits, however many the
// rules make: a bound cuts the least likely, never those of the lines read last.
std::vector<candidate> make_candidates(const kept_lines &lines, std::int64_t stop, std::size_t keep);

// The names of the rules, in the table's order.
std::vector<std::string_view> rule_names();

} // namespace delimcheck::checking
