// The SARIF format: one SARIF 2.1.0 log for the whole run, with a rule per diagnostic kind
// and a result per diagnostic. Relative names are resolved against the working directory
// through the base SRCROOT, so that the log can be read on another machine.
#pragma once

#include <string>

#include "format/writer.h"

namespace delimcheck::format {

class sarif_format final : public input_writer {
protected:
    bool keeps_suppressed() const override { return true; } // marked, as SARIF's own field says
    void input_begins() override;
    void write(const diagnostic &d) override;

private:
    void artifact_location();
    void physical_location(position at);
    void fixes(const repair &fix);

    std::string uri_;
    bool relative_ = true;
};

// Everything around the results: the tool, its rules and the base of relative names.
class sarif_document final : public document {
public:
    explicit sarif_document(const format_settings &s)
        : version_(s.tool_version), root_(s.working_directory), directive_rules_(s.directive_rules)
    {
    }
    void begin(output &out) override;
    void end(output &out) override;
    std::string_view separator() const override { return ","; }

private:
    std::string version_;
    std::string root_;
    bool directive_rules_;
};

} // namespace delimcheck::format
