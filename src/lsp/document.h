// An open document: the text as the client last sent it and its version. Edits come in the
// client's positions and are applied in place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "lsp/text_position.h"

namespace delimcheck::lsp {

struct client_range {
    client_position start, end;
};

class document {
public:
    document(std::string text, std::int64_t version) : text_(std::move(text)), version_(version) {}

    // Replaces the range (clamped to the text; its ends swapped when reversed) by `text`;
    // without a range, the whole text.
    void edit(const std::optional<client_range> &range, std::string_view text, encoding enc);

    const std::string &text() const { return text_; }
    std::int64_t version() const { return version_; }
    void set_version(std::int64_t v) { version_ = v; }

private:
    std::string text_;
    std::int64_t version_;
};

} // namespace delimcheck::lsp
