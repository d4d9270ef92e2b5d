// The text format: a header line per named input, then one line per report or listing line,
// in the words users have always read.
#pragma once

#include <string>
#include <string_view>

#include "format/output.h"
#include "format/report_format.h"

namespace delimcheck::format {

class text_format final : public input_writer {
public:
    // quiet (-q): a file's header waits for its first report or listing line.
    explicit text_format(bool quiet) : quiet_(quiet) {}

    // A named input gets the header "File NAME:"; standard input (no name) never does.
    void begin_input(output &out, const std::string *name) override;
    void listing(const listing_line &l) override;

protected:
    void write(const diagnostic &d) override;

private:
    void header_once()
    {
        if (!header_printed_ && named_)
            print_header();
    }
    void print_header();
    void write_hint(const hint &h);

    output *out_ = nullptr;
    bool quiet_;
    std::string name_;
    bool named_ = false;
    bool header_printed_ = false;
};

} // namespace delimcheck::format
