// The JSON format: one array for the whole run, one object per diagnostic on a line of its
// own, in report order.
#pragma once

#include <string>

#include "format/writer.h"

namespace delimcheck::format {

class json_format final : public input_writer {
public:
    // show_suppressed: suppressed findings are written too, with "suppressed" saying by what.
    explicit json_format(bool show_suppressed = false) : show_suppressed_(show_suppressed) {}

protected:
    bool keeps_suppressed() const override { return show_suppressed_; }
    void write(const diagnostic &d) override;

private:
    bool show_suppressed_;
};

// The brackets around every input's objects; inputs are joined by a comma.
class json_document final : public document {
public:
    void begin(output &out) override { out.put('['); }
    void end(output &out) override { out.text("\n]\n"); }
    std::string_view separator() const override { return ","; }
};

} // namespace delimcheck::format
