// The text format: a header line per named input, then one line per report or listing line,
// in the words users have always read.
#pragma once

#include <string>
#include <string_view>

#include "format/output.h"
#include "format/writer.h"

namespace delimcheck::format {

class text_format final : public input_writer {
public:
    // quiet (-q): a file's header waits for its first report or listing line.
    // hints: a diagnostic that carries a hint gets its hint line (--hints).
    explicit text_format(bool quiet, bool hints = true) : quiet_(quiet), hints_(hints) {}

    void listing(const listing_line &l) override;

protected:
    // A named input gets the header "File NAME:"; standard input never does.
    void input_begins() override;
    void write(const diagnostic &d) override;

private:
    void header_once()
    {
        if (!header_printed_ && !standard_input())
            print_header();
    }
    void print_header();
    void write_hint(const hint &h, const repair &fix);

    bool quiet_;
    bool hints_;
    bool header_printed_ = false;
};

} // namespace delimcheck::format
