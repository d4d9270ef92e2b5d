#include "lsp/document.h"

#include <utility>

namespace delimcheck::lsp {

void document::edit(const std::optional<client_range> &range, std::string_view text, encoding enc)
{
    if (!range) {
        text_.assign(text);
        return;
    }
    std::size_t from = offset_of(text_, range->start, enc);
    std::size_t to = offset_of(text_, range->end, enc);
    if (to < from)
        std::swap(from, to);
    text_.replace(from, to - from, text);
}

} // namespace delimcheck::lsp
