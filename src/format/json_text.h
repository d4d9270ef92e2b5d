// Strings for the machine-read formats. File names are bytes, not text: whatever they hold must
// come out of the JSON parser or the URI decoder as the same bytes.
#pragma once

#include <string>
#include <string_view>

#include "format/output.h"

namespace delimcheck::format {

// Writes s as a JSON string literal, quotes included. Valid UTF-8 passes through; quote,
// backslash and control bytes are escaped; a byte that is not part of valid UTF-8 becomes the
// lone surrogate \udc80..\udcff, as Python's surrogateescape reads it back.
void json_string(output &out, std::string_view s);

// s percent-encoded for the path of a URI reference: unreserved bytes and '/' stay, every
// other byte becomes %XY.
std::string uri_path(std::string_view s);

} // namespace delimcheck::format
