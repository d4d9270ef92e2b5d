#include "format/source_lines.h"

namespace delimcheck::format {

bool text_lines::line(std::int64_t n, std::string &text)
{
    if (n < 1)
        return false;
    if (n < line_) {
        line_ = 1;
        offset_ = 0;
    }
    while (line_ < n && offset_ < text_.size()) {
        std::size_t nl = text_.find('\n', offset_);
        offset_ = nl == std::string_view::npos ? text_.size() : nl + 1;
        ++line_;
    }
    if (line_ != n || offset_ >= text_.size())
        return false;
    std::size_t nl = text_.find('\n', offset_);
    std::size_t end = nl == std::string_view::npos ? text_.size() : nl + 1;
    text.assign(text_.substr(offset_, end - offset_));
    return true;
}

} // namespace delimcheck::format
