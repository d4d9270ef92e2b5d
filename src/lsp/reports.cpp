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
    client_position to = lines.line_end(at, enc);
    if (to.line != from.line || to.character < from.character)
        to = from;
    // At a line's end (a repair that puts a closer there), as for a report there: an empty
    // range is moved by some editors onto the character before.
    if (to == from && lines.has_next(at.line))
        to = {from.line + 1, 0};
    return range(from, to);
}

// The numbers that follow "line " in words, and the column that may follow as " char N".
template <class F> void each_line_char(std::string_view s, F &&f)
{
    static constexpr std::string_view word = "line ";
    for (std::size_t i = s.find(word); i != std::string_view::npos; i = s.find(word, i)) {
        std::size_t from = i;
        i += word.size();
        auto number = [&](std::int64_t &n) {
            std::size_t start = i;
            n = 0;
            while (i < s.size() && s[i] >= '0' && s[i] <= '9' && i - start < 15)
                n = n * 10 + (s[i++] - '0');
            return i > start;
        };
        std::int64_t line = 0, column = 0;
        if (!number(line))
            continue;
        std::size_t line_end = i;
        static constexpr std::string_view chr = " char ";
        bool has_column = s.substr(i, chr.size()) == chr;
        if (has_column) {
            i += chr.size();
            has_column = number(column);
            if (!has_column)
                i = line_end;
        }
        f(from, i, line, has_column ? column : 0);
    }
}

// Every line a report's Diagnostics speak of.
std::vector<std::int64_t> lines_named(const std::vector<diagnostic> &reports)
{
    std::vector<std::int64_t> lines;
    for (const diagnostic &d : reports) {
        for (position p : {format::shown_position(d), d.opener, d.likely.at, d.likely.opener})
            lines.push_back(p.line);
        for (const text_edit &e : d.fix.edits) {
            lines.push_back(e.from.line);
            lines.push_back(e.to.line);
        }
        each_line_char(d.fix.description, [&](std::size_t, std::size_t, std::int64_t l, std::int64_t) { lines.push_back(l); });
    }
    return lines;
}

// Words that name checker positions ("line 3 char 12") naming the client's instead: its line
// and its column in its units, from 1. Only a text with wide characters or lone carriage
// returns reads differently.
std::string client_words(std::string_view s, const line_index &lines, encoding enc)
{
    std::string out;
    std::size_t done = 0;
    each_line_char(s, [&](std::size_t from, std::size_t to, std::int64_t line, std::int64_t column) {
        client_position p = lines.to_client({line, std::max<std::int64_t>(column, 1)}, enc);
        out.append(s.substr(done, from - done));
        out += "line " + std::to_string(p.line + 1);
        if (column != 0)
            out += " char " + std::to_string(p.character + 1);
        done = to;
    });
    out.append(s.substr(done));
    return out;
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
    auto words = [&](std::string_view s) { return client_words(s, lines, enc); };
    // Reports that stem from one fault share its likely place; an editor needs it once.
    std::vector<std::pair<position, std::string>> likely_shown;
    for (std::size_t i = 0; i < reports.size();) {
        const diagnostic &d = reports[i];
        // A closer that discards several entries is reported once for each: one fault here.
        std::size_t group_end = i + 1;
        if (d.kind == diagnostic_kind::balanced_closer || d.kind == diagnostic_kind::string_unclosed)
            while (group_end < reports.size() && reports[group_end].kind == d.kind && reports[group_end].at == d.at)
                ++group_end;
        json r = {
            {"range", char_range(lines, format::shown_position(d), enc)},
            {"severity", severity_of(d.kind) == severity::warning ? lsp_warning : lsp_error},
            {"code", code(d.kind)},
            {"source", "delimcheck"},
            {"message", words(format::message(d))},
        };
        json related = json::array();
        const diagnostic *with_fix = nullptr, *with_likely = nullptr;
        for (std::size_t k = i; k < group_end; ++k) {
            const diagnostic &e = reports[k];
            if (e.opener.line != 0)
                related.push_back({{"location", location(uri, char_range(lines, e.opener, enc))},
                                   {"message", words(format::related_message(e))}});
            if (with_fix == nullptr && !e.fix.empty())
                with_fix = &e;
            if (with_likely == nullptr && e.likely.at.line != 0)
                with_likely = &e;
        }
        json likely;
        if (with_likely != nullptr) {
            std::string reason = words(hint_text(with_likely->likely));
            json place = line_range(lines, with_likely->likely.at, enc);
            related.push_back({{"location", location(uri, place)}, {"message", "likely fault: " + reason}});
            likely = {
                {"range", place},
                {"severity", lsp_information},
                {"code", code(d.kind)},
                {"source", "delimcheck"},
                {"message", reason},
                {"relatedInformation", json::array({{{"location", location(uri, r["range"])}, {"message", r["message"]}}})},
            };
            std::pair<position, std::string> key{with_likely->likely.at, reason};
            if (std::find(likely_shown.begin(), likely_shown.end(), key) != likely_shown.end())
                likely = nullptr;
            else
                likely_shown.push_back(std::move(key));
        }
        if (!related.empty())
            r["relatedInformation"] = std::move(related);
        if (with_fix != nullptr) {
            quick_fix f{words(with_fix->fix.description), {r}, edits_of(with_fix->fix, lines, enc), with_fix->fix.safe};
            if (!likely.is_null())
                f.answers.push_back(likely);
            out.fixes.push_back(std::move(f));
        }
        out.diagnostics.push_back(std::move(r));
        if (!likely.is_null())
            out.diagnostics.push_back(std::move(likely));
        i = group_end;
    }
    return out;
}

bool touches(const nlohmann::json &diagnostic, std::int64_t first, std::int64_t last)
{
    if (first < 0 || !diagnostic.is_object())
        return false;
    auto r = diagnostic.find("range");
    if (r == diagnostic.end() || !r->is_object())
        return false;
    auto line = [&](const char *end, const char *field) -> std::optional<std::int64_t> {
        auto p = r->find(end);
        if (p == r->end() || !p->is_object())
            return std::nullopt;
        auto v = p->find(field);
        if (v == p->end() || !v->is_number_integer())
            return std::nullopt;
        return v->get<std::int64_t>();
    };
    std::optional<std::int64_t> from = line("start", "line"), to = line("end", "line"), to_char = line("end", "character");
    if (!from || !to || !to_char)
        return false;
    std::int64_t to_line = *to > *from && *to_char == 0 ? *to - 1 : *to;
    return *from <= last && first <= to_line;
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

bool asked_for(const nlohmann::json &only, std::string_view kind)
{
    if (!only.is_array())
        return kind.starts_with("quickfix") && (kind.size() == 8 || kind[8] == '.');
    for (const json &k : only) {
        if (!k.is_string())
            continue;
        const std::string &want = k.get_ref<const std::string &>();
        if (kind == want || (kind.starts_with(want) && kind.size() > want.size() && kind[want.size()] == '.'))
            return true;
    }
    return false;
}

std::pair<std::int64_t, std::int64_t> range_lines(const nlohmann::json &params)
{
    auto r = params.find("range");
    if (r == params.end() || r->is_null())
        return {-1, -1};
    auto member = [&](const char *end, const char *field) {
        auto p = r->is_object() ? r->find(end) : r->end();
        if (p == r->end() || !p->is_object() || !p->contains(field) || !(*p)[field].is_number_integer())
            throw bad_range{};
        return (*p)[field].get<std::int64_t>();
    };
    std::int64_t a = member("start", "line"), b = member("end", "line");
    if (b < a)
        std::swap(a, b);
    // Whole lines selected end at the start of the next, which is not part of them.
    if (b > a && member(b == member("end", "line") ? "end" : "start", "character") == 0)
        --b;
    return {a, b};
}

nlohmann::json code_actions(const published &p, const nlohmann::json &params, const action_target &target)
{
    static const json none;
    auto context = params.find("context");
    const json &ctx = context != params.end() && context->is_object() ? *context : none;
    const json &only = ctx.is_object() && ctx.contains("only") ? ctx["only"] : none;
    const json &diagnostics = ctx.is_object() && ctx.contains("diagnostics") ? ctx["diagnostics"] : none;
    auto [first, last] = range_lines(params);
    auto edit_of = [&](const quick_fix &fix) {
        json edit;
        if (target.document_changes)
            edit["documentChanges"] = json::array(
                {{{"textDocument", {{"uri", target.uri}, {"version", target.version}}}, {"edits", fix.edits}}});
        else
            edit["changes"][target.uri] = fix.edits;
        return edit;
    };
    json actions = json::array();
    if (asked_for(only, "quickfix"))
        for (const quick_fix &fix : p.fixes) {
            // The Diagnostic answered is given back as it was published, not as the client sent
            // it; a request with none of them, its cursor on one, is answered as well.
            const json *answered = nullptr;
            if (diagnostics.is_array())
                for (const json &cd : diagnostics)
                    if ((answered = answers(fix, cd)) != nullptr)
                        break;
            for (const json &a : fix.answers)
                if (answered == nullptr && touches(a, first, last))
                    answered = &a;
            if (answered == nullptr)
                continue;
            json action = {{"title", fix.title},
                           {"kind", "quickfix"},
                           {"diagnostics", json::array({*answered})},
                           {"edit", edit_of(fix)}};
            if (fix.safe)
                action["isPreferred"] = true; // what an editor may apply unasked
            actions.push_back(std::move(action));
        }
    if (asked_for(only, fix_all_kind))
        for (const quick_fix &fix : p.fixes)
            if (fix.safe) {
                actions.push_back({{"title", "Fix all safe repairs: " + fix.title},
                                   {"kind", fix_all_kind},
                                   {"diagnostics", json::array({fix.answers.front()})},
                                   {"edit", edit_of(fix)}});
                break; // one repair mends the first fault; the next is searched for after it
            }
    return actions;
}

} // namespace delimcheck::lsp
