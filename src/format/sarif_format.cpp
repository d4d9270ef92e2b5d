#include "format/sarif_format.h"

#include "format/json_text.h"
#include "format/messages.h"

namespace delimcheck::format {

namespace {

std::string_view level(diagnostic_kind kind) { return severity_name(severity_of(kind)); }

// "wrong-closer-balanced" as "WrongCloserBalanced": the friendly name SARIF asks for.
std::string pascal_case(std::string_view code)
{
    std::string name;
    bool word_start = true;
    for (char c : code) {
        if (c == '-') {
            word_start = true;
            continue;
        }
        name += word_start && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        word_start = false;
    }
    return name;
}

void rule(output &out, diagnostic_kind kind)
{
    std::string_view paragraph = info(kind).paragraph;
    out.text("{\"id\": ");
    json_string(out, code(kind));
    out.text(", \"name\": ");
    json_string(out, pascal_case(code(kind)));
    out.text(", \"shortDescription\": {\"text\": ");
    json_string(out, description(kind));
    out.text("}, \"fullDescription\": {\"text\": ");
    json_string(out, paragraph);
    out.text("}, \"help\": {\"text\": ");
    json_string(out, std::string(paragraph) + " See delimcheck(1), Message codes.");
    out.text("}, \"defaultConfiguration\": {\"level\": ");
    json_string(out, level(kind));
    out.text("}}");
}

// "./" says nothing in a URI reference; what follows it must not start with '/', which would
// make the reference absolute.
std::string_view without_dot_slash(std::string_view name)
{
    while (name.starts_with("./")) {
        name.remove_prefix(2);
        while (name.starts_with('/'))
            name.remove_prefix(1);
    }
    return name;
}

} // namespace

void sarif_document::begin(output &out)
{
    out.text("{\n"
             "  \"$schema\": \"https://json.schemastore.org/sarif-2.1.0.json\",\n"
             "  \"version\": \"2.1.0\",\n"
             "  \"runs\": [\n"
             "    {\n"
             "      \"tool\": {\n"
             "        \"driver\": {\n"
             "          \"name\": \"delimcheck\",\n"
             "          \"informationUri\": \"man:delimcheck(1)\",\n"
             "          \"version\": ");
    json_string(out, version_);
    out.text(",\n          \"rules\": [");
    for (int k = 0, n = directive_rules_ ? all_kind_count : diagnostic_kind_count; k < n; ++k) {
        out.text(k == 0 ? "\n            " : ",\n            ");
        rule(out, static_cast<diagnostic_kind>(k));
    }
    out.text("\n          ]\n        }\n      },\n");
    if (!root_.empty()) {
        std::string uri = "file://" + uri_path(root_);
        if (!uri.ends_with('/'))
            uri += '/';
        out.text("      \"originalUriBaseIds\": {\n        \"SRCROOT\": {\"uri\": ");
        json_string(out, uri);
        out.text("}\n      },\n");
    }
    out.text("      \"results\": [");
}

void sarif_document::end(output &out) { out.text("\n      ]\n    }\n  ]\n}\n"); }

void sarif_format::input_begins()
{
    relative_ = !standard_input() && !name().starts_with('/');
    if (standard_input())
        uri_ = "stdin:";
    else if (relative_)
        uri_ = uri_path(without_dot_slash(name()));
    else
        uri_ = "file://" + uri_path(name());
}

void sarif_format::artifact_location()
{
    output &out = this->out();
    out.text("\"artifactLocation\": {\"uri\": ");
    json_string(out, uri_);
    if (relative_)
        out.text(", \"uriBaseId\": \"SRCROOT\"");
    out.put('}');
}

void sarif_format::physical_location(position at)
{
    output &out = this->out();
    out.text("\"physicalLocation\": {");
    artifact_location();
    out.text(", \"region\": {\"startLine\": ");
    out.decimal(at.line);
    out.text(", \"startColumn\": ");
    out.decimal(at.column);
    out.text("}}");
}

void sarif_format::write(const diagnostic &d)
{
    output &out = this->out();
    out.text(first_of_input() ? "\n        {\"ruleId\": " : ",\n        {\"ruleId\": ");
    json_string(out, code(d.kind));
    out.text(", \"level\": ");
    json_string(out, level(d.kind));
    out.text(", \"message\": {\"text\": ");
    json_string(out, message(d));
    out.text("}, \"locations\": [{");
    physical_location(shown_position(d));
    out.text("}]");
    // The opener named, and where the indentation places the fault, as related locations.
    int related = 0;
    auto relate = [&](position at, const std::string &text) {
        out.text(related == 0 ? ", \"relatedLocations\": [{\"id\": " : ", {\"id\": ");
        out.decimal(++related);
        out.text(", ");
        physical_location(at);
        out.text(", \"message\": {\"text\": ");
        json_string(out, text);
        out.text("}}");
    };
    if (d.opener.line != 0)
        relate(d.opener, related_message(d));
    if (d.likely.at.line != 0)
        relate(d.likely.at, "likely fault: " + hint_text(d.likely));
    if (related != 0)
        out.put(']');
    if (!d.fix.empty())
        fixes(d.fix);
    if (d.suppressed != suppression::none)
        out.text(d.suppressed == suppression::in_source ? ", \"suppressions\": [{\"kind\": \"inSource\"}]"
                                                        : ", \"suppressions\": [{\"kind\": \"external\"}]");
    out.put('}');
}

// The repair as SARIF's fix: one change to the result's artifact. A region's end column is
// the column after its last byte, so an edit's end (the first byte it keeps) is it as it is,
// and an insertion is a region with its end at its start. A safe repair, one that --fix may
// write unasked, says so in the fix's property bag: {"safe": true}.
void sarif_format::fixes(const repair &fix)
{
    output &out = this->out();
    out.text(", \"fixes\": [{\"description\": {\"text\": ");
    json_string(out, fix.description);
    out.text("}, \"artifactChanges\": [{");
    artifact_location();
    out.text(", \"replacements\": [");
    for (std::size_t i = 0; i < fix.edits.size(); ++i) {
        const text_edit &e = fix.edits[i];
        out.text(i == 0 ? "{\"deletedRegion\": {\"startLine\": " : ", {\"deletedRegion\": {\"startLine\": ");
        out.decimal(e.from.line);
        out.text(", \"startColumn\": ");
        out.decimal(e.from.column);
        out.text(", \"endLine\": ");
        out.decimal(e.to.line);
        out.text(", \"endColumn\": ");
        out.decimal(e.to.column);
        out.text("}, \"insertedContent\": {\"text\": ");
        json_string(out, e.text);
        out.text("}}");
    }
    out.text("]}]");
    if (fix.safe)
        out.text(", \"properties\": {\"safe\": true}");
    out.text("}]");
}

} // namespace delimcheck::format
