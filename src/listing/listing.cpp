#include "listing/listing.h"

#include <algorithm>

namespace delimcheck::listing {

void listing::end_of_line(std::int64_t line, sink &out)
{
    if (!show_)
        return;
    if (delim_count_ > 0) {
        if (pair_) {
            // Blanks are recorded only before a line's first delimiter, so the delimiters are
            // the text's last delim_count_ bytes.
            records_.pair_line(line, text(), static_cast<std::size_t>(delim_count_), join_);
        } else {
            out.listing({line, text()});
        }
    }
    size_ = 0;
    delim_count_ = 0;
}

void listing::end_of_input(sink &out)
{
    if (pair_)
        records_.list(out);
}

void listing::grow(std::size_t more)
{
    std::size_t capacity = std::max({capacity_ * 2, size_ + more, std::size_t{256}});
    std::unique_ptr<char[]> bigger = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ != 0)
        std::memcpy(bigger.get(), text_.get(), size_);
    text_ = std::move(bigger);
    capacity_ = capacity;
}

void listing::clear()
{
    if (capacity_ > (1 << 16)) { // a huge line does not keep its buffer for the next input
        text_.reset();
        capacity_ = 0;
    }
    size_ = 0;
    delim_count_ = 0;
    records_.clear();
}

} // namespace delimcheck::listing
