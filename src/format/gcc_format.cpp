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

// An input that cannot be read has no position of its own: its errors stand at line 1, column 1.
void gcc_format::write(const diagnostic &d)
{
    position at = d.at.line != 0 ? d.at : position{1, 1};
    line(at, severity_name(severity_of(d.kind)), message(d));
    if (d.opener.line != 0)
        line(d.opener, "note", related_message(d));
}

} // namespace delimcheck::format
