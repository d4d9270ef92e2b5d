// The formats by name, and the writer and document of each: the one place that knows them all.
#pragma once

#include <memory>
#include <string_view>

#include "format/writer.h"

namespace delimcheck::format {

// "text", "gcc", "json", "github", "sarif", "pretty"; false for any other name.
bool parse_format(std::string_view name, format_kind &kind);

std::unique_ptr<input_writer> make_input_writer(const format_settings &s);
std::unique_ptr<document> make_document(const format_settings &s);

} // namespace delimcheck::format
