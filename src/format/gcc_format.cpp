#include "format/gcc_format.h"

#include "format/messages.h"

namespace delimcheck::format {

void gcc_format::begin_input(output &out, const std::string *name)
{
    out_ = &out;
    name_ = name != nullptr ? *name : "-";
}

void gcc_format::line(position at, std::string_view severity, std::string_view text)
{
    out_->text(name_);
    out_->put(':');
    out_->decimal(at.line);
    out_->put(':');
    out_->decimal(at.column);
    out_->text(": ");
    out_->text(severity);
    out_->text(": ");
    out_->text(text);
    out_->put('\n');
}

// The hint first, right after its error: it is where an editor should go.
void gcc_format::write(const diagnostic &d)
{
    line(shown_position(d), severity_name(severity_of(d.kind)), message(d));
    if (d.likely.at.line != 0)
        line(d.likely.at, "note", "likely fault: " + hint_text(d.likely));
    if (d.opener.line != 0)
        line(d.opener, "note", related_message(d));
}

} // namespace delimcheck::format
