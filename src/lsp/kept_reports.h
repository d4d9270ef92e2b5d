// The reports of one check, as many as an editor can use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "delimcheck/sink.h"

namespace delimcheck::lsp {

// Keeps the first reports of a check and counts the rest. A text of a million stray closers
// would otherwise take minutes and gigabytes to describe, and no one reads past the first few.
class kept_reports final : public sink {
public:
    static constexpr std::size_t limit = 1000;

    std::vector<diagnostic> diagnostics;
    std::uint64_t left_out = 0;

    sink_answer report(const diagnostic &d) override
    {
        if (diagnostics.size() < limit)
            diagnostics.push_back(d);
        else
            ++left_out;
        return sink_answer::more;
    }
    void clear()
    {
        diagnostics.clear();
        left_out = 0;
    }
};

} // namespace delimcheck::lsp
