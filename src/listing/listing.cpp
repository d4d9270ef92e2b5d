#include "listing/listing.h"

namespace delimcheck::listing {

void listing::list_line(std::int64_t line, sink &out)
{
    if (pair_) {
        // Blanks are recorded only before a line's first delimiter, so the delimiters are the
        // text's last delim_count_ bytes.
        records_.pair_line(line, text(), static_cast<std::size_t>(delim_count_), join_);
    } else {
        out.listing({line, text()});
    }
}

void listing::end_of_input(sink &out)
{
    if (pair_)
        records_.list(out);
}

void listing::clear()
{
    text_.clear();
    delim_count_ = 0;
    records_.clear();
}

} // namespace delimcheck::listing
