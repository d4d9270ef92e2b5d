#include "format/gcc_format.h"

#include "format/messages.h"

namespace delimcheck::format {

void gcc_format::line(position at, std::string_view severity, std::string_view text)
{
    output &o = out();
    o.text(name());
    o.put(':');
    o.decimal(at.line);
    o.put(':');
    o.decimal(at.column);
    o.text(": ");
    o.text(severity);
    o.text(": ");
    o.text(text);
    o.put('\n');
}

// The hint first, right after its error: it is where an editor should go. The repair comes
// last, at its first edit.
void gcc_format::write(const diagnostic &d)
{
    const std::string_view note = severity_name(severity::note);
    line(shown_position(d), severity_name(severity_of(d.kind)), message(d));
    if (d.likely.at.line != 0)
        line(d.likely.at, note, "likely fault: " + hint_text(d.likely));
    if (d.opener.line != 0)
        line(d.opener, note, related_message(d));
    if (!d.fix.empty())
        line(d.fix.edits.front().from, note, d.fix.description);
}

} // namespace delimcheck::format
