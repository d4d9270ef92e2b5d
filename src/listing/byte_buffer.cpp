#include "listing/byte_buffer.h"

#include <algorithm>
#include <cstring>

#include "delimcheck/for_overwrite.h"

namespace delimcheck::listing {

void byte_buffer::grow(std::size_t more)
{
    std::size_t capacity = std::max({capacity_ * 2, size_ + more, std::size_t{256}});
    std::unique_ptr<char[]> bigger = make_for_overwrite<char[]>(capacity);
    if (size_ != 0)
        std::memcpy(bigger.get(), data_.get(), size_);
    data_ = std::move(bigger);
    capacity_ = capacity;
}

} // namespace delimcheck::listing
