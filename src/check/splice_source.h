// The input with one edit spliced in, read as the input itself is read: the search checks each
// edit it tries this way, without a copy of the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scan/byte_source.h"

namespace delimcheck::checking {

// The bytes of base with [from, to) replaced by text. base is read from where it stands, which
// is taken as its start.
class splice_source final : public scan::byte_source {
public:
    splice_source(scan::byte_source &base, std::int64_t from, std::int64_t to, std::string_view text)
        : base_(base), from_(from), to_(to), text_(text)
    {
    }

    std::size_t read(unsigned char *p, std::size_t n) override;

private:
    std::size_t step(unsigned char *p, std::size_t n);
    std::size_t from_base(unsigned char *p, std::int64_t n);

    scan::byte_source &base_;
    std::int64_t from_, to_;
    std::string_view text_;
    std::int64_t pos_ = 0;
    std::size_t sent_ = 0;
};

} // namespace delimcheck::checking
