// The stack of open delimiters of one input.
#pragma once

#include <cstdint>

#include "delimcheck/chunked_stack.h"

namespace delimcheck::checking {

struct delim_entry {
    std::int64_t line;     // position of the opener
    std::int64_t column;
    char closer;           // ')', ']', '}' or '"' (a quote entry)
    bool saved_in_string;  // in_string when the entry was pushed
};

class delim_stack : public chunked_stack<delim_entry> {
public:
    char top_closer() const { return top().closer; }
};

} // namespace delimcheck::checking
