// The format for people at a terminal: each diagnostic with the lines it speaks of, a caret
// under each place, the likely fault and its reason, and the repair as a small diff. Its layout
// is for reading and may change; the other formats are for programs.
#pragma once

#include <string>
#include <string_view>

#include "format/writer.h"

namespace delimcheck::format {

class pretty_format final : public input_writer {
public:
    explicit pretty_format(bool color) : color_(color) {}

protected:
    void write(const diagnostic &d) override;

private:
    // A place to show: a line and column of the input, what it is, and the colour of its caret.
    struct mark {
        position at;
        std::string label;
        std::string_view colour;
    };

    void heading(const diagnostic &d);
    void show(const mark &m, bool same_line);
    void show_repair(const repair &fix);
    void gutter(std::int64_t line);
    void source(std::string_view line);
    void paint(std::string_view colour, std::string_view text);

    bool color_;
    std::string text_; // a line of the input, read through lines()
};

} // namespace delimcheck::format
