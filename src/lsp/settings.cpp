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
    // The settings are whole each time: what is null or absent goes back to its default, so
    // that a client can clear what it set. "delimcheck": null clears them all.
    static const nlohmann::json none = nlohmann::json::object();
    const nlohmann::json *from = value.is_object() ? &value : &none;
    if (auto nested = from->find("delimcheck"); nested != from->end() && (nested->is_object() || nested->is_null()))
        from = nested->is_object() ? &*nested : &none;
    std::vector<std::string> problems;
    const options defaults;
    for (const setting &s : settings_table) {
        auto it = from->find(s.name);
        if (it == from->end() || it->is_null())
            opts.*s.field = defaults.*s.field;
        else if (it->is_boolean())
            opts.*s.field = it->get<bool>();
        else
            problems.push_back(std::string("setting ") + s.name + " must be true or false; ignored");
    }
    return problems;
}

} // namespace delimcheck::lsp
