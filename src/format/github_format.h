// The GitHub Actions format: a workflow command per diagnostic, which the runner shows as an
// annotation on the file and line it names.
#pragma once

#include <string>

#include "format/writer.h"

namespace delimcheck::format {

class github_format final : public input_writer {
protected:
    void input_begins() override;
    void write(const diagnostic &d) override;

private:
    std::string file_; // the name escaped as a property value
};

} // namespace delimcheck::format
