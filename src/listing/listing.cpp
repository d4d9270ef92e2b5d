#include "listing/listing.h"

namespace delimcheck::listing {

void listing::end_of_line(std::int64_t line, sink &out)
{
    if (!show_)
        return;
    if (delim_count_ > 0) {
        if (pair_) {
            // Blanks are recorded only before a line's first delimiter, so the delimiters are
            // the text's last delim_count_ bytes.
            std::size_t n = static_cast<std::size_t>(delim_count_);
            delims_.assign(text_, text_.size() - n, n);
            records_.pair_line(line, text_, delims_, join_);
        } else {
            out.listing({line, text_});
        }
    }
    text_.clear();
    delim_count_ = 0;
}

void listing::end_of_input(sink &out)
{
    if (pair_)
        records_.list(out);
}

void listing::clear()
{
    text_.clear();
    text_.shrink_to_fit();
    delims_.clear();
    delims_.shrink_to_fit();
    delim_count_ = 0;
    records_.clear();
}

} // namespace delimcheck::listing
