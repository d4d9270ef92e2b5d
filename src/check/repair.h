// The repair of an input's first fault: the one edit that makes the input check clean and
// agrees best with its indentation; or, in an input with other faults, the one that mends the
// first and leaves only reports the input had. It is found by search, not by rules: edits are tried near
// the places where the nesting and the indentation part ways, each edited input is checked by
// the checker itself, and of those that check clean the one whose nesting follows its
// indentation best is kept.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "delimcheck/diagnostic.h"
#include "delimcheck/options.h"
#include "scan/byte_source.h"

namespace delimcheck::checking {

// Where a repair places the fault: at its edit.
hint repair_hint(const repair &fix);

// The options under which a repaired input must check clean: its nesting alone, without the
// listing or the backslash-blank warning, which a repair neither makes nor mends.
options nesting_only(options o);

// A report of the input, as a repair that mends it names it.
struct report_place {
    position at, opener;
    friend bool operator==(const report_place &, const report_place &) = default;
};

// A repair of one fault of an input that has others, and the reports it mends.
struct mended_fault {
    repair fix;
    std::vector<report_place> reports;
};

class repair_search {
public:
    explicit repair_search(const options &opts);
    ~repair_search();
    repair_search(const repair_search &) = delete;
    repair_search &operator=(const repair_search &) = delete;

    // Whether an input of at least this many bytes is small enough for the search to read it
    // again the many times it needs to.
    static bool affordable(std::int64_t bytes);

    // src is an input with an error that can be read again; it is read from its start several
    // times, and left anywhere. No edit comes back when no edit tried makes the input check
    // clean or mends its first fault apart from the others (see mended), when it could not be
    // read again, or when give_up answered true between two edits.
    repair find(scan::byte_source &src, const std::function<bool()> &give_up = {});

    // The repairs of the last search when none makes the whole input clean: each mends one of
    // its faults apart from the others and leaves only reports the input had, each in its
    // place, with the reports it mends. The first is the one find returned. Empty when find
    // returned a repair that mends the whole input, or none.
    const std::vector<mended_fault> &faults_apart() const;

private:
    struct impl;
    std::unique_ptr<impl> impl_;
};

} // namespace delimcheck::checking
