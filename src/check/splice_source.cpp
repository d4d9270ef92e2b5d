#include "check/splice_source.h"

#include <algorithm>

namespace delimcheck::checking {

std::size_t splice_source::read(unsigned char *p, std::size_t n)
{
    std::size_t got = 0;
    while (got < n) {
        std::size_t k = step(p + got, n - got);
        if (k == 0)
            break;
        got += k;
    }
    error_ = base_.error();
    return got;
}

// Some bytes from where the reading stands: before the edit, its text, after it.
std::size_t splice_source::step(unsigned char *p, std::size_t n)
{
    if (pos_ < from_)
        return from_base(p, std::min<std::int64_t>(static_cast<std::int64_t>(n), from_ - pos_));
    if (sent_ < text_.size()) {
        std::size_t k = std::min(n, text_.size() - sent_);
        std::copy_n(text_.data() + sent_, k, p);
        sent_ += k;
        return k;
    }
    while (pos_ < to_) { // the bytes the edit replaces are read and dropped
        unsigned char drop[256];
        if (from_base(drop, std::min<std::int64_t>(sizeof drop, to_ - pos_)) == 0)
            return 0;
    }
    return from_base(p, static_cast<std::int64_t>(n));
}

std::size_t splice_source::from_base(unsigned char *p, std::int64_t n)
{
    std::size_t k = base_.read(p, static_cast<std::size_t>(n));
    pos_ += static_cast<std::int64_t>(k);
    return k;
}

} // namespace delimcheck::checking
