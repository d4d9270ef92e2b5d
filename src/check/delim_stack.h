// The stack of open delimiters of one input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace delimcheck::checking {

struct delim_entry {
    std::int64_t line;     // position of the opener
    std::int64_t column;
    char closer;           // ')', ']', '}' or '"' (a quote entry)
    bool saved_in_string;  // in_string when the entry was pushed
};

// Entries live in fixed chunks that never move, so a deep stack holds little more than its
// entries and never a second copy while it grows; pushing and popping touch one chunk.
class delim_stack {
public:
    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }
    const delim_entry &top() const { return top_[-1]; }
    char top_closer() const { return top_[-1].closer; }

    [[gnu::always_inline]] void push(const delim_entry &e)
    {
        if (top_ == end_)
            next_chunk();
        *top_++ = e;
        ++size_;
    }
    [[gnu::always_inline]] void pop()
    {
        --top_;
        --size_;
        if (top_ == begin_ && size_ != 0)
            previous_chunk();
    }
    // Empties the stack; a deep input does not keep its memory for the next one.
    void clear();

private:
    static constexpr std::size_t chunk_entries = 4096;
    void next_chunk();
    void previous_chunk();

    std::vector<std::unique_ptr<delim_entry[]>> chunks_;
    std::size_t chunk_ = 0; // index of the chunk top_ points into, when there is one
    delim_entry *begin_ = nullptr, *top_ = nullptr, *end_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace delimcheck::checking
