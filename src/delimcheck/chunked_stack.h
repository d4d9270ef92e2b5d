// A stack whose entries live in fixed chunks that never move: a deep stack holds little more
// than its entries and never a second copy while it grows, and pushing and popping touch one
// chunk.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "delimcheck/for_overwrite.h"

namespace delimcheck {

template <class T, std::size_t ChunkEntries = 4096> class chunked_stack {
public:
    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }
    const T &top() const { return top_[-1]; }
    T &top() { return top_[-1]; }
    // Index 0 is the bottom.
    const T &operator[](std::size_t i) const { return chunks_[i / ChunkEntries][i % ChunkEntries]; }

    // A new top entry, to be filled in by the caller.
    [[gnu::always_inline]] T &push()
    {
        if (top_ == end_)
            next_chunk();
        ++size_;
        return *top_++;
    }
    [[gnu::always_inline]] void push(const T &e) { push() = e; }
    [[gnu::always_inline]] void pop()
    {
        --top_;
        --size_;
        if (top_ == begin_ && size_ != 0)
            previous_chunk();
    }
    // Empties the stack; a deep input does not keep its memory for the next one.
    void clear()
    {
        chunks_.resize(chunks_.empty() ? 0 : 1);
        chunk_ = 0;
        begin_ = top_ = chunks_.empty() ? nullptr : chunks_[0].get();
        end_ = begin_ == nullptr ? nullptr : begin_ + ChunkEntries;
        size_ = 0;
    }

private:
    void next_chunk()
    {
        if (begin_ != nullptr)
            ++chunk_;
        if (chunk_ == chunks_.size())
            chunks_.push_back(make_for_overwrite<T[]>(ChunkEntries));
        begin_ = top_ = chunks_[chunk_].get();
        end_ = begin_ + ChunkEntries;
    }
    void previous_chunk()
    {
        --chunk_;
        begin_ = chunks_[chunk_].get();
        top_ = end_ = begin_ + ChunkEntries;
    }

    std::vector<std::unique_ptr<T[]>> chunks_;
    std::size_t chunk_ = 0; // index of the chunk top_ points into, when there is one
    T *begin_ = nullptr, *top_ = nullptr, *end_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace delimcheck
