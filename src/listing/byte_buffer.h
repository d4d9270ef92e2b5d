// A growable run of bytes for the listing, which appends to one at every line: a plain buffer,
// because a string spends more on its own bookkeeping than the few bytes cost to copy.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "delimcheck/small_copy.h"

namespace delimcheck::listing {

class byte_buffer {
public:
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    char back() const { return data_[size_ - 1]; }
    char operator[](std::size_t i) const { return data_[i]; }
    std::string_view view(std::size_t begin, std::size_t end) const { return {data_.get() + begin, end - begin}; }

    void push_back(char c)
    {
        if (size_ == capacity_)
            grow(1);
        data_[size_++] = c;
    }
    void append(const char *p, std::size_t n)
    {
        if (n > capacity_ - size_)
            grow(n);
        put_bytes(data_.get() + size_, p, n);
        size_ += n;
    }
    // Keeps the first n bytes.
    void truncate(std::size_t n) { size_ = n; }
    // Empties it; a large one lets its memory go, so that one huge input does not keep it
    // for the next.
    void clear()
    {
        size_ = 0;
        if (capacity_ > (1 << 16)) {
            data_.reset();
            capacity_ = 0;
        }
    }

private:
    // Rare, and kept out of the appends: inlined or thought likely, it makes them save
    // registers at every call.
    [[gnu::cold, gnu::noinline]] void grow(std::size_t more);

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0, capacity_ = 0;
};

} // namespace delimcheck::listing
