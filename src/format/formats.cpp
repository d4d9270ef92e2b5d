#include "format/formats.h"

#include "format/gcc_format.h"
#include "format/github_format.h"
#include "format/json_format.h"
#include "format/pretty_format.h"
#include "format/sarif_format.h"
#include "format/text_format.h"

namespace delimcheck::format {

bool parse_format(std::string_view name, format_kind &kind)
{
    static const std::pair<std::string_view, format_kind> names[] = {{"text", format_kind::text},
                                                                      {"gcc", format_kind::gcc},
                                                                      {"json", format_kind::json},
                                                                      {"github", format_kind::github},
                                                                      {"sarif", format_kind::sarif},
                                                                      {"pretty", format_kind::pretty}};
    for (const auto &[n, k] : names)
        if (n == name) {
            kind = k;
            return true;
        }
    return false;
}

std::unique_ptr<input_writer> make_input_writer(const format_settings &s)
{
    switch (s.kind) {
    case format_kind::gcc:
        return std::make_unique<gcc_format>();
    case format_kind::json:
        return std::make_unique<json_format>(s.show_suppressed);
    case format_kind::sarif:
        return std::make_unique<sarif_format>();
    case format_kind::github:
        return std::make_unique<github_format>();
    case format_kind::pretty:
        return std::make_unique<pretty_format>(s.color);
    default:
        return std::make_unique<text_format>(s.quiet, s.text_hints);
    }
}

std::unique_ptr<document> make_document(const format_settings &s)
{
    switch (s.kind) {
    case format_kind::json:
        return std::make_unique<json_document>();
    case format_kind::sarif:
        return std::make_unique<sarif_document>(s);
    default:
        return std::make_unique<document>();
    }
}

} // namespace delimcheck::format
