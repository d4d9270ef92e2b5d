// The JSON format: one array for the whole run, one object per diagnostic on a line of its
// own, in report order.
#pragma once

#include <string>

#include "format/writer.h"

namespace delimcheck::format {

class json_format final : public input_writer {
protected:
    void write(const diagnostic &d) override;
};

// The brackets around every input's objects; inputs are joined by a comma.
class json_document final : public document {
public:
    void begin(output &out) override { out.put('['); }
    void end(output &out) override { out.text("\n]\n"); }
    std::string_view separator() const override { return ","; }
};

} // namespace delimcheck::format
