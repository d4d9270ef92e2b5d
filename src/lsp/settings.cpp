#include "lsp/settings.h"

namespace delimcheck::lsp {

namespace {

struct setting {
    const char *name;
    bool options::*field;
};

// -c, -e, -g, -i and -t, each by what it turns on or off.
const setting settings_table[] = {
    {"hashLines", &options::hash_lines},
    {"warnBackslashBlank", &options::warn_backslash_blank},
    {"balancing", &options::balancing},
    {"reportInString", &options::report_in_string},
    {"anyQuoteOpens", &options::any_quote_opens},
};

} // namespace

std::vector<std::string> apply_settings(const nlohmann::json &value, options &opts)
{
    std::vector<std::string> problems;
    if (!value.is_object())
        return problems;
    auto nested = value.find("delimcheck");
    const nlohmann::json &from = nested != value.end() && nested->is_object() ? *nested : value;
    for (const setting &s : settings_table) {
        auto it = from.find(s.name);
        if (it == from.end() || it->is_null())
            continue;
        if (it->is_boolean())
            opts.*s.field = it->get<bool>();
        else
            problems.push_back(std::string("setting ") + s.name + " must be true or false; ignored");
    }
    return problems;
}

} // namespace delimcheck::lsp
