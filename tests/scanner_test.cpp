// Line and column counting, hash lines, escapes and the tracking conditions.
#include <gtest/gtest.h>

#include "check/nesting_machine.h"
#include "golden.h"
#include "harness.h"
#include "scan/lexer.h"

using namespace std::string_literals;

static const std::vector<golden_case> scanner_cases = {
    {"empty_input", {}, "", ""},
    {"empty_input_listed", {"-s"}, "", ""},
    {"outer_parens_are_plain", {}, "(a)\n)\n", ""},
    {"parens_inside_brace_are_tracked", {}, "{ ( }\n", "Expecting ) got } : line 1 char 5 (balancing {})\n"},
    {"parens_inside_brackets_are_plain", {}, "{[(]}\n", ""},
    {"paren_inside_bracket_never_closes", {}, "{[)]}\n", ""},
    {"hash_line_empty_stack", {}, "# { [ ( ] }\n", ""},
    {"quote_opens_in_hash_line", {}, "# a \"b\n", "\" missing, opened on line 1 char 5\n"},
    {"hash_line_after_blanks", {}, "  \t# } ]\n", ""},
    {"hash_after_word_is_plain", {}, "a # {\n", "} missing, opened on line 1 char 5\n"},
    {"hash_lines_off", {"-c"}, "# {\n", "} missing, opened on line 1 char 3\n"},
    {"hash_line_inside_brace_tracks_braces", {}, "{\n# }\n", ""},
    {"hash_line_never_tracks_parens", {}, "{\n# (\n}\n", ""},
    {"hash_line_never_tracks_close_paren", {}, "{ (\n# )\n)}\n", ""},
    {"hash_line_continued_by_escape", {}, "# a \\\n{\n}\n", "Unmatching } : line 3 char 1\n"},
    {"hash_state_ends_at_plain_newline", {}, "# a\n{\n", "} missing, opened on line 2 char 1\n"},
    {"escaped_brace_is_inert", {}, "\\{\n", ""},
    {"escaped_closer_is_inert", {}, "{\\}\n", "} missing, opened on line 1 char 1\n"},
    {"escaped_quote_never_opens", {}, "\\\"{\n", "} missing, opened on line 1 char 3\n"},
    {"escaped_hash_opens_no_hash_line", {}, "\\# {\n", "} missing, opened on line 1 char 4\n"},
    {"escaped_backslash_then_brace", {}, "\\\\{\n", "} missing, opened on line 1 char 3\n"},
    {"escaped_byte_has_a_column", {}, "\\x}\n", "Unmatching } : line 1 char 3\n"},
    {"tab_is_one_column", {}, "\t}\n", "Unmatching } : line 1 char 2\n"},
    {"escaped_newline_starts_a_line", {}, "\\\n}\n", "Unmatching } : line 2 char 1\n"},
    {"escaped_newline_keeps_column_reset", {}, "ab\\\n  }\n", "Unmatching } : line 2 char 3\n"},
    {"line_numbers_count_every_newline", {}, "\n\n\n   ]\n", "Unmatching ] : line 4 char 4\n"},
    {"backslash_at_end_of_input", {}, "{\\", "} missing, opened on line 1 char 1\n"},
    {"warning_backslash_blank", {"-e"}, "a\\ \n", "\\ followed by blank space at the end of line 1.\n"},
    {"warning_backslash_blanks", {"-e"}, "a\\ \t \n", "\\ followed by blank space at the end of line 1.\n"},
    {"warning_backslash_tab", {"-e"}, "x\n\\\t\n", "\\ followed by blank space at the end of line 2.\n"},
    {"no_warning_after_other_byte", {"-e"}, "a\\ b\n", ""},
    {"no_warning_before_carriage_return", {"-e"}, "a\\ \r\n", ""},
    {"no_warning_without_e", {}, "a\\ \n", ""},
    {"no_warning_for_escaped_newline", {"-e"}, "a\\ \\\n\n", ""},
    {"no_warning_at_end_of_input", {"-e"}, "a\\ ", ""},
    {"warning_before_listing_line", {"-e", "-s"}, "{\\ \n}\n",
     "\\ followed by blank space at the end of line 1.\n    1 : {\n    2 : }\n"},
    {"crlf_is_ordinary", {}, "{\r\n}\r\n", ""},
    {"crlf_backslash_escapes_the_cr", {}, "a\\\r\n}\n", "Unmatching } : line 2 char 1\n"},
    {"cr_ends_line_start", {}, "\r# {\n", "} missing, opened on line 1 char 4\n"},
    {"quote_as_first_byte_opens", {}, "\"", "\" missing, opened on line 1 char 1\n"},
    {"quote_as_last_byte_closes_with_eof", {}, "{\"a\"",
     "Extra characters after string : line 1 char 4\n} missing, opened on line 1 char 1\n"},
    {"bracket_in_string_saves_string_state", {}, "\"a[b]c\"\n", ""},
    {"newline_in_string_keeps_line_state", {}, "{ \"a\n# (\n\" }\n",
     "Inside a string: unmatched ( ending line 3 char 1\n"},
    {"nul_and_high_bytes_are_ordinary", {}, "{\0\x80\xff\x7f}\n"s, ""},
    {"high_byte_is_no_blank_before_quote", {}, "\xa0\"{\n", "} missing, opened on line 1 char 3\n"},
    {"columns_past_many_lines", {}, "{\n\n\n      )\n}\n", "Expecting } got ) : line 4 char 7\n"},
};

GOLDEN_SUITE(Scanner, scanner_cases);

// What the scanners require of their machine is checked where they are instantiated: the
// checker's view meets it in every mode, and a type that falls short of it in one member, or
// whose modes are known only at run time, does not.
namespace contract {

using delimcheck::position;
using delimcheck::checking::machine_mode;
using delimcheck::checking::machine_view;
using delimcheck::scan::machine;

struct complete {
    bool in_string() const { return false; }
    bool hash_lines() const { return true; }
    static constexpr bool warn_backslash_blank() { return false; }
    static constexpr bool listing_on() { return false; }
    static constexpr bool hints_on() { return false; }
    void record_blanks(const char *, std::size_t) {}
    void end_of_line(std::int64_t) {}
    void backslash_blank(position) {}
    void delimiter(unsigned char, position, bool) {}
    void quote(position, signed char, signed char, bool) {}
    void line_begins(position, std::int32_t, unsigned char, bool) {}
    bool wants_lines() const { return false; }
    static constexpr bool stops() { return false; }
    bool stopped() const { return false; }
};
struct mode_at_run_time : complete {
    static bool hints_on() { return false; }
};
struct listing_not_static : complete {
    bool listing_on() const { return false; }
};
struct string_state_not_bool : complete {
    int in_string() const { return 0; }
};
struct quote_without_follower : complete {
    void quote(position, signed char, bool) {}
};
struct lines_only_when_not_const : complete {
    bool wants_lines() { return false; }
};
struct stop_not_static : complete {
    bool stops() const { return false; }
};

static_assert(machine<complete>);
static_assert(machine<machine_view<machine_mode{}>>);
static_assert(machine<machine_view<machine_mode{true, true, true}>>);
static_assert(!machine<int>);
static_assert(!machine<mode_at_run_time>);
static_assert(!machine<listing_not_static>);
static_assert(!machine<string_state_not_bool>);
static_assert(!machine<quote_without_follower>);
static_assert(!machine<lines_only_when_not_const>);
static_assert(!machine<stop_not_static>);

} // namespace contract
