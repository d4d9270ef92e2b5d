#include "format/json_format.h"

#include "format/json_text.h"
#include "format/messages.h"

namespace delimcheck::format {

namespace {

void line_and_column(output &out, position at)
{
    out.text("\"line\": ");
    out.decimal(at.line);
    out.text(", \"column\": ");
    out.decimal(at.column);
}

// "fix": the repair's words and its edits, each from line:column up to end_line:end_column;
// "safe": true when --fix may write it unasked. A fix without it is not safe.
void write_fix(output &out, const repair &fix)
{
    out.text(", \"fix\": {\"description\": ");
    json_string(out, fix.description);
    out.text(", \"edits\": [");
    bool first = true;
    for (const text_edit &e : fix.edits) {
        out.text(first ? "{" : ", {");
        first = false;
        line_and_column(out, e.from);
        out.text(", \"end_line\": ");
        out.decimal(e.to.line);
        out.text(", \"end_column\": ");
        out.decimal(e.to.column);
        out.text(", \"text\": ");
        json_string(out, e.text);
        out.put('}');
    }
    out.put(']');
    if (fix.safe)
        out.text(", \"safe\": true");
    out.put('}');
}

} // namespace

// The fields in their fixed order; a field added later goes after the last.
void json_format::write(const diagnostic &d)
{
    output &out = this->out();
    if (!first_of_input())
        out.put(',');
    out.text("\n  {\"file\": ");
    json_string(out, name());
    out.text(", ");
    line_and_column(out, shown_position(d));
    out.text(", \"severity\": ");
    json_string(out, severity_name(severity_of(d.kind)));
    out.text(", \"code\": ");
    json_string(out, code(d.kind));
    out.text(", \"message\": ");
    json_string(out, message(d));
    if (d.opener.line != 0) {
        out.text(", \"related\": [{");
        line_and_column(out, d.opener);
        out.text(", \"message\": ");
        json_string(out, related_message(d));
        out.text("}]");
    }
    if (d.likely.at.line != 0) {
        out.text(", \"likely\": {");
        line_and_column(out, d.likely.at);
        out.text(", \"reason\": ");
        json_string(out, hint_text(d.likely));
        out.put('}');
    }
    if (!d.fix.empty())
        write_fix(out, d.fix);
    if (d.suppressed != suppression::none)
        out.text(d.suppressed == suppression::in_source ? ", \"suppressed\": \"inSource\"" : ", \"suppressed\": \"external\"");
    out.put('}');
}

} // namespace delimcheck::format
