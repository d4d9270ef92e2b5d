// Which quotes open and close strings, the accepted followers, strings over lines and brackets.
#include <gtest/gtest.h>

#include "golden.h"
#include "harness.h"

using namespace std::string_literals;

static const std::vector<golden_case> quote_cases = {
    {"quote_opens_at_start_of_input", {}, "\"a\" \n", ""},
    {"quote_opens_at_start_of_line", {}, "a\n\"b\n", "\" missing, opened on line 2 char 1\n"},
    {"quotes_inside_a_word_are_plain", {}, "x\"abc\"\n", ""},
    {"any_quote_opens", {"-t"}, "x\"abc\n", "\" missing, opened on line 1 char 2\n"},
    {"any_quote_opens_and_closes", {"-t"}, "x\"abc\"\n", ""},
    {"quote_opens_after_openers", {}, "{\"a\n", "\" missing, opened on line 1 char 2\n} missing, opened on line 1 char 1\n"},
    {"quote_after_paren_opens", {}, "(\"a\n", "\" missing, opened on line 1 char 2\n"},
    {"quote_after_bracket_opens", {}, "[\"a\n", "\" missing, opened on line 1 char 2\n] missing, opened on line 1 char 1\n"},
    {"quote_after_escaped_blank_opens", {}, "\\ \"a\n", "\" missing, opened on line 1 char 3\n"},
    {"quote_after_escaped_letter_is_plain", {}, "\\x\"a\n", ""},
    {"quote_after_vertical_tab_opens", {}, "a\v\"b\n", "\" missing, opened on line 1 char 3\n"},
    {"extra_characters_after_string", {}, "\"a\"b\n", "Extra characters after string : line 1 char 3\n"},
    {"quote_after_closing_quote", {}, "\"a\"\"b\"\n", "Extra characters after string : line 1 char 3\n"},
    {"follower_paren", {}, "(\"a\")\n", ""},
    {"follower_semicolon", {}, "\"a\";\n", ""},
    {"follower_backslash", {}, "\"a\"\\x\n", ""},
    {"follower_bracket", {}, "[\"a\"]\n", ""},
    {"follower_brace", {}, "{\"a\"}\n", ""},
    {"follower_blank", {}, "\"a\" b\n", ""},
    {"follower_tab", {}, "\"a\"\tb\n", ""},
    {"follower_newline", {}, "\"a\"\n", ""},
    {"follower_carriage_return", {}, "\"a\"\r\n", ""},
    {"follower_form_feed", {}, "\"a\"\f\n", ""},
    {"follower_high_byte", {}, "\"a\"\x80\n", "Extra characters after string : line 1 char 3\n"},
    {"follower_byte_ff", {}, "\"a\"\xff\n", "Extra characters after string : line 1 char 3\n"},
    {"follower_nul", {}, "\"a\"\0\n"s, "Extra characters after string : line 1 char 3\n"},
    {"follower_end_of_input", {}, "\"a\"", "Extra characters after string : line 1 char 3\n"},
    {"no_follower_test_in_hash_line", {}, "# \"a\"b\n", ""},
    {"hash_state_carried_by_string", {}, "# \"a\n(\n\"\n", ""},
    {"paren_tracked_in_string_outside_hash_line", {}, "\"a\n(\n\"\n",
     "Inside a string: unmatched ( ending line 3 char 1\n"},
    {"hash_state_ends_when_string_closes", {}, "# \"a\n\"\n{\n", "} missing, opened on line 3 char 1\n"},
    {"string_holding_bracket_holding_string", {}, "\"x [y \"z\"] w\"\n", ""},
    {"nested_string_after_bracket", {}, "\"[\"",
     "\" missing, opened on line 1 char 3\n"
     "] missing, opened on line 1 char 2\n"
     "\" missing, opened on line 1 char 1\n"},
    {"paren_against_quote_entry", {}, "{ \"a)\" }\n", "Inside a string: unmatched ) on line 1 char 5\n"},
    {"string_over_lines", {}, "set a \"one\n  two {\n  three }\"\n", ""},
    {"no_hash_line_in_string_continuation", {}, "{ \"a\n# {\n\" }\n",
     "Inside a string: unmatched { ending line 3 char 1\n"},
    {"warning_then_unwinding", {}, "\"a {\"x\n",
     "Extra characters after string : line 1 char 5\n"
     "Inside a string: unmatched { ending line 1 char 5\n"},
};

GOLDEN_SUITE(QuotedStrings, quote_cases);
