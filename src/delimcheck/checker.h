// The checker: one object per thread of work, reused from input to input. It owns everything
// about the input it checks (scanner state, delimiter stack, listing, read buffers); two
// checkers share nothing that changes.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string_view>
#include <vector>

#include "delimcheck/diagnostic.h"
#include "delimcheck/options.h"
#include "delimcheck/sink.h"

namespace delimcheck {

struct check_result {
    int read_error = 0; // errno of a read that failed; the input was checked as far as it was read
};

class checker {
public:
    checker(const options &opts, sink &out);
    ~checker();
    checker(checker &&) noexcept;
    checker &operator=(checker &&) = delete;

    // Each call checks one whole input from its first byte and reports what is left open at
    // its end. Exceptions from the sink, and std::bad_alloc, pass through to the caller.
    check_result check(std::string_view bytes);
    check_result check(std::istream &in);
    check_result check_fd(int fd); // read to its end; not closed

    // Asked between the edits a repair search tries: true gives the search up, and the input is
    // reported without a repair. A caller whose text has been superseded stops paying for it.
    void set_give_up(std::function<bool()> give_up);

private:
    struct impl;
    std::unique_ptr<impl> impl_;
};

// The diagnostics of one input, for callers that want them all at once.
std::vector<diagnostic> check(std::string_view bytes, const options &opts = {});

} // namespace delimcheck
