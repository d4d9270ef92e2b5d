// The compiler format: FILE:LINE:COLUMN: error: MESSAGE, one line per diagnostic, with a note
// line for the opener it names, as editors read compiler output.
#pragma once

#include <string>

#include "format/writer.h"

namespace delimcheck::format {

class gcc_format final : public input_writer {
protected:
    void write(const diagnostic &d) override;

private:
    void line(position at, std::string_view severity, std::string_view text);
};

} // namespace delimcheck::format
