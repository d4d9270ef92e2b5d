// The table of diagnostic kinds is the one wording: the text format's fast path and the words of
// the other formats must say what the table says, for every kind.
#include <gtest/gtest.h>

#include <cerrno>
#include <set>
#include <string>

#include "delimcheck/diagnostic.h"
#include "format/messages.h"
#include "format/output.h"
#include "format/text_format.h"

namespace {

using namespace delimcheck;

// A diagnostic of each kind with every field set to something that shows where it lands: the
// numbers all differ, and so do the bytes.
diagnostic sample(diagnostic_kind kind)
{
    diagnostic d;
    d.kind = kind;
    d.at = {1234, 56};
    d.got = '}';
    d.expected = ']';
    d.pair_opener = '(';
    d.pair_closer = ')';
    d.opener = {78, 9};
    d.opener_byte = '[';
    d.system_error = ENOENT;
    return d;
}

// The text format's line for d, for standard input (no header, no hints).
std::string text_line(const diagnostic &d)
{
    std::string out;
    format::string_destination dest(out);
    format::output o(dest);
    format::text_format f(false, false);
    f.begin_input(o, nullptr);
    f.report(d);
    o.flush();
    return out;
}

TEST(DiagnosticTable, TextFastPathSaysWhatTheTableSays)
{
    for (int k = 0; k < all_kind_count; ++k) {
        diagnostic d = sample(static_cast<diagnostic_kind>(k));
        std::string words = fill_template(info(d.kind).text, d);
        EXPECT_EQ(text_line(d), words.empty() ? "" : words + "\n") << code(d.kind);
    }
}

// The words and values of each kind, written out once more by hand: a row in the wrong order,
// or a template that names the wrong field, shows here.
TEST(DiagnosticTable, MessagesFillTheFields)
{
    struct row {
        diagnostic_kind kind;
        const char *code;
        severity level;
        std::string message;
    };
    const std::string enoent = std::strerror(ENOENT);
    const row rows[] = {
        {diagnostic_kind::unmatched_closer, "unmatched-closer", severity::error, "Unmatching }"},
        {diagnostic_kind::wrong_closer, "wrong-closer", severity::error, "Expecting ] got }"},
        {diagnostic_kind::balanced_closer, "wrong-closer-balanced", severity::error, "Expecting ] got } (balancing ())"},
        {diagnostic_kind::string_stray_closer, "string-stray-closer", severity::error, "Inside a string: unmatched }"},
        {diagnostic_kind::string_unclosed, "string-unclosed-opener", severity::error,
         "Inside a string: unmatched } ending the string"},
        {diagnostic_kind::extra_after_string, "extra-after-string", severity::warning, "Extra characters after string"},
        {diagnostic_kind::backslash_blank, "backslash-blank", severity::warning,
         "\\ followed by blank space at the end of the line"},
        {diagnostic_kind::missing_closer, "missing-closer", severity::error, "] missing, opened on line 78 char 9"},
        {diagnostic_kind::cannot_access, "cannot-access", severity::error, "Cannot be accessed: " + enoent},
        {diagnostic_kind::read_error, "read-error", severity::error, "Could not be read to its end: " + enoent},
        {diagnostic_kind::unused_directive, "unused-directive", severity::warning, "Directive suppresses nothing"},
        {diagnostic_kind::bad_directive, "bad-directive", severity::warning, "Malformed directive"},
    };
    ASSERT_EQ(std::size(rows), static_cast<std::size_t>(all_kind_count));
    for (const row &r : rows) {
        EXPECT_EQ(code(r.kind), r.code);
        EXPECT_EQ(info(r.kind).level, r.level) << r.code;
        EXPECT_EQ(format::message(sample(r.kind)), r.message) << r.code;
        diagnostic_kind back{};
        EXPECT_TRUE(kind_of_code(r.code, back)) << r.code;
        EXPECT_EQ(back, r.kind) << r.code;
    }
    diagnostic_kind unused{};
    EXPECT_FALSE(kind_of_code("Unmatched-closer", unused));
    EXPECT_FALSE(kind_of_code("", unused));
}

} // namespace
