// The format for people: the lines a diagnostic speaks of, with carets where the columns are,
// in colour or not, and without the lines when the input cannot be read again.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "format/formats.h"
#include "format/output.h"
#include "format/source_lines.h"

namespace {

using namespace delimcheck::format;
using delimcheck::diagnostic;
using delimcheck::diagnostic_kind;

// One input written by the pretty writer; text is the input's bytes, or nullptr when its lines
// cannot be had.
std::string pretty(const diagnostic &d, const char *text, bool color = false, const char *name = "w.tcl")
{
    format_settings s;
    s.kind = format_kind::pretty;
    s.color = color;
    std::string result, file = name;
    string_destination dest(result);
    output out(dest);
    text_lines lines(text != nullptr ? text : "");
    auto w = make_input_writer(s);
    w->begin_input(out, &file, text != nullptr ? &lines : nullptr);
    w->report(d);
    w->end_input();
    out.flush();
    return result;
}

diagnostic closer_at(diagnostic_kind kind, delimcheck::position at, char got)
{
    diagnostic d;
    d.kind = kind;
    d.at = at;
    d.got = got;
    return d;
}

// A lost brace: the opener, the likely fault and the end of the input, in line order, then the
// repair as the lines it changes.
const char lost_brace[] = "proc walk {dir} {\n"
                          "    foreach f $dir {\n"
                          "        puts $f\n"
                          "    set x 1\n"
                          "}\n";

diagnostic lost_brace_report()
{
    diagnostic d = closer_at(diagnostic_kind::missing_closer, {5, 2}, 0);
    d.expected = '}';
    d.opener = {1, 17};
    d.opener_byte = '{';
    d.likely = {{4, 5}, delimcheck::hint_reason::dedent_without_close, {2, 20}, '{'};
    d.fix = {"insert } before line 4", {{{4, 1}, {4, 1}, "    }\n"}}};
    return d;
}

TEST(PrettyFormat, PlacesInLineOrderAndTheRepair)
{
    EXPECT_EQ(pretty(lost_brace_report(), lost_brace),
              "w.tcl:5:2: error: } missing, opened on line 1 char 17\n"
              "    1 | proc walk {dir} {\n"
              "      |                 ^ { opened here, never closed\n"
              "    4 |     set x 1\n"
              "      |     ^ likely fault: indentation returns to the level of the { on line 2 here, but nothing "
              "closes it\n"
              "    5 | }\n"
              "      |  ^ the input ends here\n"
              "  repair: insert } before line 4\n"
              "    3 |          puts $f\n"
              "      | +    }\n"
              "    4 |      set x 1\n"
              "\n");
}

// A line that the repair changes is shown as it is, with its number, and as it would be.
TEST(PrettyFormat, ALineChanged)
{
    diagnostic d = closer_at(diagnostic_kind::missing_closer, {2, 8}, 0);
    d.expected = ']';
    d.opener = {1, 7};
    d.opener_byte = '[';
    d.fix = {"insert ] at line 1 char 16", {{{1, 16}, {1, 16}, "]"}}};
    EXPECT_EQ(pretty(d, "set a [list 1 2\nputs $a\n"), "w.tcl:2:8: error: ] missing, opened on line 1 char 7\n"
                                                        "    1 | set a [list 1 2\n"
                                                        "      |       ^ [ opened here, never closed\n"
                                                        "    2 | puts $a\n"
                                                        "      |        ^ the input ends here\n"
                                                        "  repair: insert ] at line 1 char 16\n"
                                                        "    1 | -set a [list 1 2\n"
                                                        "      | +set a [list 1 2]\n"
                                                        "    2 |  puts $a\n"
                                                        "\n");
}

TEST(PrettyFormat, PlacesOnOneLineShareIt)
{
    diagnostic d = closer_at(diagnostic_kind::missing_closer, {1, 11}, 0);
    d.expected = '"';
    d.opener = {1, 6};
    d.opener_byte = '"';
    EXPECT_EQ(pretty(d, "puts \"done"),
              "w.tcl:1:11: error: \" missing, opened on line 1 char 6\n"
              "    1 | puts \"done\n"
              "      |      ^ \" opened here, never closed\n"
              "      |           ^ the input ends here\n"
              "\n");
}

TEST(PrettyFormat, WithoutTheLinesOnlyThePlaces)
{
    EXPECT_EQ(pretty(lost_brace_report(), nullptr, false, "-"),
              "-:5:2: error: } missing, opened on line 1 char 17\n"
              "  at 1:17: { opened here, never closed\n"
              "  at 4:5: likely fault: indentation returns to the level of the { on line 2 here, but nothing closes it\n"
              "  at 5:2: the input ends here\n"
              "  repair: insert } before line 4\n"
              "\n");
    diagnostic gone;
    gone.kind = diagnostic_kind::cannot_access;
    gone.system_error = ENOENT;
    EXPECT_EQ(pretty(gone, nullptr), "w.tcl:1:1: error: Cannot be accessed: " + std::string(std::strerror(ENOENT)) + "\n\n");
}

// The caret lands under its byte: a tab stays a tab, a UTF-8 character takes one cell, and a
// byte that would steer the terminal is shown as '?'.
TEST(PrettyFormat, CaretUnderItsByte)
{
    const struct {
        const char *line;
        std::int64_t column;
        const char *expected;
    } cases[] = {
        {"\tset a ]\n", 8, "    1 | \tset a ]\n      | \t      ^\n"},
        {"\xc3\xa9t\xc3\xa9 ]\n", 7, "    1 | \xc3\xa9t\xc3\xa9 ]\n      |     ^\n"},
        {"\x1b[2J ]\r\n", 6, "    1 | ?[2J ]\n      |      ^\n"},
    };
    for (const auto &c : cases) {
        std::string out = pretty(closer_at(diagnostic_kind::unmatched_closer, {1, c.column}, ']'), c.line);
        EXPECT_EQ(out, std::string("w.tcl:1:") + std::to_string(c.column) + ": error: Unmatching ]\n" + c.expected + "\n")
            << c.line;
    }
}

TEST(PrettyFormat, Colour)
{
    EXPECT_EQ(pretty(closer_at(diagnostic_kind::unmatched_closer, {1, 1}, ']'), "]\n", true),
              "\x1b[1mw.tcl:1:1: \x1b[0m\x1b[1;31merror: \x1b[0m\x1b[1mUnmatching ]\x1b[0m\n"
              "\x1b[34m    1 | \x1b[0m]\n"
              "\x1b[34m      | \x1b[0m\x1b[1;31m^\x1b[0m\n\n");
    std::string repaired = pretty(lost_brace_report(), lost_brace, true);
    EXPECT_NE(repaired.find("\x1b[1;32m  repair: \x1b[0minsert } before line 4\n"), std::string::npos) << repaired;
    EXPECT_NE(repaired.find("\x1b[32m+\x1b[0m    }\n"), std::string::npos) << repaired;
    EXPECT_EQ(pretty(lost_brace_report(), lost_brace, false).find('\x1b'), std::string::npos);
}

} // namespace
