#include "format/github_format.h"

#include "format/messages.h"

namespace delimcheck::format {

namespace {

// The runner reads a command up to the end of its line, and its properties up to the next
// ',' or "::"; these bytes are written as %XY so that a name or message cannot end them early.
std::string escaped(std::string_view s, bool property)
{
    std::string e;
    for (char c : s) {
        if (c == '%')
            e += "%25";
        else if (c == '\r')
            e += "%0D";
        else if (c == '\n')
            e += "%0A";
        else if (property && c == ':')
            e += "%3A";
        else if (property && c == ',')
            e += "%2C";
        else
            e += c;
    }
    return e;
}

} // namespace

void github_format::input_begins() { file_ = escaped(name(), true); }

// The opener's position and words go on a second line of the annotation.
void github_format::write(const diagnostic &d)
{
    output &out = this->out();
    position at = shown_position(d);
    out.text("::");
    out.text(severity_name(severity_of(d.kind)));
    out.text(" file=");
    out.text(file_);
    out.text(",line=");
    out.decimal(at.line);
    out.text(",col=");
    out.decimal(at.column);
    out.text("::");
    out.text(escaped(message(d), false));
    if (d.opener.line != 0) {
        out.text("%0A");
        out.decimal(d.opener.line);
        out.put(':');
        out.decimal(d.opener.column);
        out.text(": ");
        out.text(escaped(related_message(d), false));
    }
    if (d.likely.at.line != 0) {
        out.text("%0Alikely ");
        out.decimal(d.likely.at.line);
        out.put(':');
        out.decimal(d.likely.at.column);
        out.text(": ");
        out.text(escaped(hint_text(d.likely), false));
    }
    // An annotation carries no edit; the repair is said in words, where a reader looks.
    if (!d.fix.empty()) {
        out.text("%0Arepair: ");
        out.text(escaped(d.fix.description, false));
    }
    out.put('\n');
}

} // namespace delimcheck::format
