// The repair of an input's first fault: the one edit that makes the input check clean and
// agrees best with its indentation. It is found by search, not by rules: edits are tried near
// the places where the nesting and the indentation part ways, each edited input is checked by
// the checker itself, and of those that check clean the one whose nesting follows its
// indentation best is kept.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "delimcheck/diagnostic.h"
#include "delimcheck/options.h"
#include "scan/byte_source.h"

namespace delimcheck::checking {

// Where a repair places the fault: at its edit.
hint repair_hint(const repair &fix);

// The options under which a repaired input must check clean: its nesting alone, without the
// listing or the backslash-blank warning, which a repair neither makes nor mends.
options nesting_only(options o);

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
    // clean, when it could not be read again, or when give_up answered true between two edits.
    repair find(scan::byte_source &src, const std::function<bool()> &give_up = {});

private:
    struct impl;
    std::unique_ptr<impl> impl_;
};

} // namespace delimcheck::checking
