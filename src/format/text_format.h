// The text format: a header line per named input, then one line per report or listing line,
// in the words users have always read.
#pragma once

#include <string>
#include <string_view>

#include "delimcheck/sink.h"
#include "format/output.h"

namespace delimcheck::format {

class text_format final : public sink {
public:
    // quiet (-q): a file's header waits for its first report or listing line.
    text_format(output &out, bool quiet) : out_(out), quiet_(quiet) {}

    // A named input gets the header "File NAME:"; standard input (no name) never does.
    void begin_input(const std::string *name);
    void report(const diagnostic &d) override;
    void listing(const listing_line &l) override;

private:
    void header_once()
    {
        if (!header_printed_ && named_)
            print_header();
    }
    void print_header();

    output &out_;
    bool quiet_;
    std::string name_;
    bool named_ = false;
    bool header_printed_ = false;
};

} // namespace delimcheck::format
