// The GitHub Actions format: a workflow command per diagnostic, which the runner shows as an
// annotation on the file and line it names.
#pragma once

#include <string>

#include "format/report_format.h"

namespace delimcheck::format {

class github_format final : public input_writer {
public:
    void begin_input(output &out, const std::string *name) override;

protected:
    void write(const diagnostic &d) override;

private:
    output *out_ = nullptr;
    std::string file_; // escaped as a property value
};

} // namespace delimcheck::format
