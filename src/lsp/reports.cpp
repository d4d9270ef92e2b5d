#include "lsp/reports.h"

#include <algorithm>
#include <optional>

#include "format/messages.h"

namespace delimcheck::lsp {

namespace {

using nlohmann::json;

constexpr int lsp_error = 1, lsp_warning = 2, lsp_information = 3;

json to_json(client_position p) { return {{"line", p.line}, {"character", p.character}}; }

json range(client_position from, client_position to) { return {{"start", to_json(from)}, {"end", to_json(to)}}; }

// One character at a checker position. Past the end of a line (a missing closer) that is the
// line ending, so that editors mark the place itself rather than widen an empty range; at the
// end of a text without one, the empty range is all there is.
json char_range(const line_index &lines, position at, encoding enc)
{
    client_position from = lines.to_client(at, enc);
    client_position to = lines.to_client({at.line, at.column + 1}, enc);
    if (to == from && lines.has_next(at.line))
        to = {from.line + 1, 0};
    return range(from, to);
}

// From the likely fault to the end of its line: the line an editor should lead the eye to.
json line_range(const line_index &lines, position at, encoding enc)
{
    client_position from = lines.to_client(at, enc);
    client_position to = lines.line_end(at.line, enc);
    if (to.line != from.line || to.character < from.character)
        to = from;
    return range(from, to);
}

// Every line a report's Diagnostics speak of.
std::vector<std::int64_t> lines_named(const std::vector<diagnostic> &reports)
{
    std::vector<std::int64_t> lines;
    for (const diagnostic &d : reports) {
        for (position p : {format::shown_position(d), d.opener, d.likely.at})
            lines.push_back(p.line);
        for (const text_edit &e : d.fix.edits) {
            lines.push_back(e.from.line);
            lines.push_back(e.to.line);
        }
    }
    return lines;
}

json location(const std::string &uri, json r) { return {{"uri", uri}, {"range", std::move(r)}}; }

json edits_of(const repair &fix, const line_index &lines, encoding enc)
{
    json edits = json::array();
    for (const text_edit &e : fix.edits)
        edits.push_back({{"range", range(lines.to_client(e.from, enc), lines.to_client(e.to, enc))}, {"newText", e.text}});
    return edits;
}

// Some clients send back the character they show, not the one they were sent (Neovim 0.7
// gives byte columns whatever the encoding), so only the line is compared; the message names
// the positions it speaks of.
bool same_line(const json &a, const json &b)
{
    auto line = [](const json &d) -> std::optional<std::int64_t> {
        auto r = d.find("range");
        if (r == d.end() || !r->is_object())
            return std::nullopt;
        auto s = r->find("start");
        if (s == r->end() || !s->is_object())
            return std::nullopt;
        auto l = s->find("line");
        if (l == s->end() || !l->is_number_integer())
            return std::nullopt;
        return l->get<std::int64_t>();
    };
    std::optional<std::int64_t> x = line(a), y = line(b);
    return x && y && *x == *y;
}

bool same_string(const json &a, const json &b, const char *field)
{
    auto x = a.find(field), y = b.find(field);
    return x != a.end() && y != b.end() && x->is_string() && y->is_string() &&
           x->get_ref<const std::string &>() == y->get_ref<const std::string &>();
}

} // namespace

published describe(const std::vector<diagnostic> &reports, std::string_view text, const std::string &uri,
                   encoding enc)
{
    published out;
    if (reports.empty())
        return out;
    line_index lines(text, lines_named(reports));
    // Reports that stem from one fault share its likely place; an editor needs it once.
    std::vector<std::pair<position, std::string>> likely_shown;
    for (const diagnostic &d : reports) {
        json r = {
            {"range", char_range(lines, format::shown_position(d), enc)},
            {"severity", severity_of(d.kind) == severity::warning ? lsp_warning : lsp_error},
            {"code", code(d.kind)},
            {"source", "delimcheck"},
            {"message", format::message(d)},
        };
        json related = json::array();
        if (d.opener.line != 0)
            related.push_back({{"location", location(uri, char_range(lines, d.opener, enc))},
                               {"message", format::related_message(d)}});
        json likely;
        if (d.likely.at.line != 0) {
            std::string reason = hint_text(d.likely);
            json place = line_range(lines, d.likely.at, enc);
            related.push_back({{"location", location(uri, place)}, {"message", "likely fault: " + reason}});
            likely = {
                {"range", place},
                {"severity", lsp_information},
                {"code", code(d.kind)},
                {"source", "delimcheck"},
                {"message", reason},
                {"relatedInformation", json::array({{{"location", location(uri, r["range"])}, {"message", r["message"]}}})},
            };
        }
        if (!likely.is_null()) {
            std::pair<position, std::string> key{d.likely.at, likely["message"].get<std::string>()};
            if (std::find(likely_shown.begin(), likely_shown.end(), key) != likely_shown.end())
                likely = nullptr;
            else
                likely_shown.push_back(std::move(key));
        }
        if (!related.empty())
            r["relatedInformation"] = std::move(related);
        if (!d.fix.empty()) {
            quick_fix f{d.fix.description, {r}, edits_of(d.fix, lines, enc)};
            if (!likely.is_null())
                f.answers.push_back(likely);
            out.fixes.push_back(std::move(f));
        }
        out.diagnostics.push_back(std::move(r));
        if (!likely.is_null())
            out.diagnostics.push_back(std::move(likely));
    }
    return out;
}

const nlohmann::json *answers(const quick_fix &fix, const nlohmann::json &client_diagnostic)
{
    if (!client_diagnostic.is_object())
        return nullptr;
    for (const json &a : fix.answers)
        if (same_line(a, client_diagnostic) && same_string(a, client_diagnostic, "code") &&
            same_string(a, client_diagnostic, "message"))
            return &a;
    return nullptr;
}

} // namespace delimcheck::lsp
