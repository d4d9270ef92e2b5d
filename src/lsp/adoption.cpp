#include "lsp/adoption.h"

#include <unistd.h>

#include "check/suppression.h"

namespace delimcheck::lsp {

using json = nlohmann::json;

adoption::adoption()
{
    char cwd[4096];
    working_directory_ = getcwd(cwd, sizeof cwd) != nullptr ? cwd : "/";
    finder_.emplace(working_directory_);
}

void adoption::forget_project_files() { finder_.emplace(working_directory_); }

std::shared_ptr<const config::project_file> adoption::project_file(const std::string &path, std::string &error)
{
    if (path.empty())
        return nullptr;
    try {
        return finder_->for_input(path);
    } catch (const config::project_error &e) {
        if (said_.insert(e.what()).second)
            error = e.what();
        return nullptr;
    }
}

options adoption::options_for(const std::string &uri, const options &client, std::string &error)
{
    std::string path = path_of_uri(uri);
    std::shared_ptr<const config::project_file> f = project_file(path, error);
    if (!f)
        return client;
    config::command_line_settings cl;
    cl.check = client;
    return config::settle(cl, f.get(), path).check;
}

std::string path_of_uri(const std::string &uri)
{
    if (!uri.starts_with("file://"))
        return {};
    std::string path;
    for (std::size_t i = 7; i < uri.size(); ++i) {
        auto hex = [](char c) { return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1; };
        if (uri[i] == '%' && i + 2 < uri.size() && hex(uri[i + 1]) >= 0 && hex(uri[i + 2]) >= 0) {
            path += static_cast<char>(hex(uri[i + 1]) * 16 + hex(uri[i + 2]));
            i += 2;
        } else {
            path += uri[i];
        }
    }
    // "file://host/path": only the local host's files are ours.
    return path.starts_with('/') ? path : std::string();
}

namespace {

struct keeping_sink final : sink {
    std::vector<diagnostic> kept;
    sink_answer report(const diagnostic &d) override
    {
        if (d.suppressed == suppression::none)
            kept.push_back(d);
        return sink_answer::more;
    }
};

} // namespace

std::vector<diagnostic> adoption::reported(const std::string &uri, std::string_view text,
                                           const std::vector<diagnostic> &reports, std::string &error)
{
    config::input_settings settings;
    std::string path = path_of_uri(uri);
    if (std::shared_ptr<const config::project_file> f = project_file(path, error))
        settings = config::settle({}, f.get(), path);
    keeping_sink keep;
    checking::suppressing_sink filter(keep);
    filter.begin_input(settings.selection, settings.ignored_here,
                       [text](checking::directive_reader &r) { r.feed(text); });
    for (const diagnostic &d : reports)
        filter.report(d);
    filter.end_input();
    return std::move(keep.kept);
}

json adoption::ignore_actions(const std::string &uri, std::string_view text, const json &diagnostics, encoding enc,
                              std::optional<std::int64_t> version) const
{
    json actions = json::array();
    for (const json &cd : diagnostics) {
        if (!cd.is_object() || !cd.contains("code") || !cd["code"].is_string() || !cd.contains("range"))
            continue;
        // The mark of a likely fault (information) may stand on another line than its report,
        // and a directive there would not cover the report.
        if (cd.contains("severity") && cd["severity"].is_number_integer() && cd["severity"].get<int>() == 3)
            continue;
        std::string code_text = cd["code"].get<std::string>();
        diagnostic_kind kind{};
        if (!kind_of_code(code_text, kind) || kind == diagnostic_kind::bad_directive ||
            kind == diagnostic_kind::unused_directive)
            continue;
        const json &start = cd["range"].value("start", json::object());
        std::int64_t line = start.value("line", std::int64_t{-1});
        if (line < 0)
            continue;
        // The line's bytes, to find its end and any directive already there.
        std::size_t from = offset_of(text, {line, 0}, enc);
        std::size_t to = text.find('\n', from);
        if (to == std::string_view::npos)
            to = text.size();
        std::string_view whole = text.substr(from, to - from);
        if (whole.ends_with('\r'))
            whole.remove_suffix(1);
        json edit;
        std::size_t at = whole.find(";# delimcheck: ignore=");
        if (at != std::string_view::npos) {
            std::string_view rest = whole.substr(at);
            std::size_t end = rest.find_first_of(" \t");
            std::size_t insert = at + (end == std::string_view::npos ? rest.size() : end);
            client_position p{line, units(whole.substr(0, insert), enc)};
            edit = {{"range", {{"start", {{"line", p.line}, {"character", p.character}}},
                               {"end", {{"line", p.line}, {"character", p.character}}}}},
                    {"newText", "," + code_text}};
        } else {
            client_position p{line, units(whole, enc)};
            edit = {{"range", {{"start", {{"line", p.line}, {"character", p.character}}},
                               {"end", {{"line", p.line}, {"character", p.character}}}}},
                    {"newText", " ;# delimcheck: ignore=" + code_text}};
        }
        json change;
        if (version)
            change["documentChanges"] =
                json::array({{{"textDocument", {{"uri", uri}, {"version", *version}}}, {"edits", json::array({edit})}}});
        else
            change["changes"][uri] = json::array({edit});
        actions.push_back({{"title", "Ignore " + code_text + " on this line"},
                           {"kind", "quickfix"},
                           {"diagnostics", json::array({cd})},
                           {"edit", std::move(change)}});
    }
    return actions;
}

} // namespace delimcheck::lsp
