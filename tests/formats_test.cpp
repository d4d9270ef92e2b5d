// The machine-read formats, written from hand-made diagnostics and compared byte for byte:
// the strings that carry file names and messages, then each format over a run of several
// inputs.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "format/formats.h"
#include "format/json_text.h"
#include "format/output.h"
#include "format/writer.h"

#include "document_run.h"

namespace {

using namespace delimcheck::format;
using delimcheck::diagnostic;
using delimcheck::diagnostic_kind;

struct bytes_case {
    std::string in;
    std::string expected;
};

std::string json_of(std::string_view s)
{
    std::string text;
    string_destination dest(text);
    output out(dest);
    json_string(out, s);
    out.flush();
    return text;
}

TEST(JsonString, EscapesWhatJsonForbidsAndKeepsValidUtf8)
{
    const std::vector<bytes_case> cases = {
        {"", R"("")"},
        {"dir/plain name.tcl", R"("dir/plain name.tcl")"},
        {"a\"b\\c/", R"("a\"b\\c/")"},
        {"\n\r\t", R"("\n\r\t")"},
        {std::string("\0\x01\x1f\x7f ~", 6), R"("\u0000\u0001\u001f\u007f ~")"},
        // The first and last code point of each length, and either side of the surrogates.
        {"\xc2\x80|\xdf\xbf|\xe0\xa0\x80|\xed\x9f\xbf|\xee\x80\x80|\xef\xbf\xbf|\xf0\x90\x80\x80|\xf4\x8f\xbf\xbf",
         "\"\xc2\x80|\xdf\xbf|\xe0\xa0\x80|\xed\x9f\xbf|\xee\x80\x80|\xef\xbf\xbf|\xf0\x90\x80\x80|\xf4\x8f\xbf\xbf\""},
    };
    for (const bytes_case &c : cases)
        EXPECT_EQ(json_of(c.in), c.expected) << c.in;
}

// Each byte outside valid UTF-8 becomes a lone low surrogate of its own; what follows it is
// read afresh, so a valid character right after an invalid byte survives.
TEST(JsonString, BytesOutsideUtf8BecomeLoneSurrogates)
{
    const std::vector<bytes_case> cases = {
        {"\x80", R"("\udc80")"},
        {"a\xbf", R"("a\udcbf")"},
        {"\xc3", R"("\udcc3")"},                                        // cut short at the end
        {"\xc3(", R"("\udcc3(")"},                                      // cut short by ASCII
        {"\xe2\x82", R"("\udce2\udc82")"},                              // three bytes, two there
        {"\xf0\x9d\x28\x9e", R"("\udcf0\udc9d(\udc9e")"},               // a bad third byte
        {"\xc0\xaf", R"("\udcc0\udcaf")"},                              // overlong '/'
        {"\xc1\xbf", R"("\udcc1\udcbf")"},                              // overlong, C1
        {"\xe0\x9f\xbf", R"("\udce0\udc9f\udcbf")"},                    // overlong, three bytes
        {"\xf0\x8f\xbf\xbf", R"("\udcf0\udc8f\udcbf\udcbf")"},          // overlong, four bytes
        {"\xed\xa0\x80", R"("\udced\udca0\udc80")"},                    // U+D800
        {"\xed\xbf\xbf", R"("\udced\udcbf\udcbf")"},                    // U+DFFF
        {"\xf4\x90\x80\x80", R"("\udcf4\udc90\udc80\udc80")"},          // U+110000
        {"\xf5\x80\x80\x80", R"("\udcf5\udc80\udc80\udc80")"},          // F5 never leads
        {"\xfe\xff", R"("\udcfe\udcff")"},
        {"\xff\xc3\xa9\x80", "\"\\udcff\xc3\xa9\\udc80\""},
    };
    for (const bytes_case &c : cases)
        EXPECT_EQ(json_of(c.in), c.expected) << c.expected;
}

TEST(UriPath, KeepsUnreservedBytesAndSlashes)
{
    const std::vector<bytes_case> cases = {
        {"", ""},
        {"src/a-b_c.d~e/Z9.tcl", "src/a-b_c.d~e/Z9.tcl"},
        {"a b%", "a%20b%25"},
        {":?#[]@!$&'()*+,;=\"\\", "%3A%3F%23%5B%5D%40%21%24%26%27%28%29%2A%2B%2C%3B%3D%22%5C"},
        {std::string("\0\n\x7f\xc3\xa9\xff", 6), "%00%0A%7F%C3%A9%FF"},
    };
    for (const bytes_case &c : cases)
        EXPECT_EQ(uri_path(c.in), c.expected) << c.in;
}

// One input of a run: its name (nullptr for standard input) and what it reports.
struct run_input {
    const char *name;
    std::vector<diagnostic> diagnostics;
};

// A run as the driver makes it: each input written on its own, and the inputs that wrote
// something joined by the document's separator.
std::string run(const format_settings &s, const std::vector<run_input> &inputs)
{
    std::string text;
    string_destination dest(text);
    output out(dest);
    {
        document_run run(s, out);
        for (const run_input &in : inputs) {
            std::string name = in.name != nullptr ? in.name : "";
            run.input(in.name != nullptr ? &name : nullptr, [&](input_writer &w) {
                for (const diagnostic &d : in.diagnostics)
                    w.report(d);
            });
        }
    }
    out.flush();
    return text;
}

// A diagnostic from its kind and position; the functions below set the other fields.
diagnostic at(diagnostic_kind kind, delimcheck::position p)
{
    diagnostic d;
    d.kind = kind;
    d.at = p;
    return d;
}

diagnostic with_opener(diagnostic d, delimcheck::position opener, char opener_byte)
{
    d.opener = opener;
    d.opener_byte = opener_byte;
    return d;
}

diagnostic closer(diagnostic_kind kind, delimcheck::position p, char got, char expected)
{
    diagnostic d = at(kind, p);
    d.got = got;
    d.expected = expected;
    return d;
}

diagnostic balanced(delimcheck::position p, char got, char expected, const char pair[2],
                    delimcheck::position opener, char opener_byte)
{
    diagnostic d = closer(diagnostic_kind::balanced_closer, p, got, expected);
    d.pair_opener = pair[0];
    d.pair_closer = pair[1];
    return with_opener(d, opener, opener_byte);
}

diagnostic wrong(delimcheck::position p, char got, char expected, delimcheck::position opener, char opener_byte)
{
    return with_opener(closer(diagnostic_kind::wrong_closer, p, got, expected), opener, opener_byte);
}

diagnostic missing(delimcheck::position p, char expected, delimcheck::position opener, char opener_byte)
{
    return with_opener(closer(diagnostic_kind::missing_closer, p, 0, expected), opener, opener_byte);
}

diagnostic extra_after_string(delimcheck::position p)
{
    return closer(diagnostic_kind::extra_after_string, p, '"', 0);
}

diagnostic unmatched(delimcheck::position p, char got) { return closer(diagnostic_kind::unmatched_closer, p, got, 0); }

diagnostic cannot_access(int error)
{
    diagnostic d = at(diagnostic_kind::cannot_access, {});
    d.system_error = error;
    return d;
}

// A named input with an error and its note, a warning and a missing closer; a clean input,
// which writes nothing and so needs no separator; standard input; an input that is not there.
const std::vector<run_input> several_inputs = {
    {"a b.tcl",
     {balanced({3, 1}, '}', ']', "{}", {2, 11}, '['), extra_after_string({4, 7}),
      missing({4, 9}, '}', {1, 12}, '{')}},
    {"clean.tcl", {}},
    {nullptr, {unmatched({1, 1}, ']')}},
    {"gone.tcl", {cannot_access(ENOENT)}},
};

// A name with every byte that a format must escape: quote, backslash, space, comma, colon,
// percent, newline, a control byte and a byte outside UTF-8.
const char awkward_name[] = "d/we\"ird\\ n,a:m%e\n\x01\xff.tcl";
const std::vector<run_input> awkward_input = {{awkward_name, {wrong({2, 5}, ')', ']', {1, 1}, '[')}}};

const std::vector<run_input> clean_inputs = {{"clean.tcl", {}}, {nullptr, {}}};

diagnostic with_repair(diagnostic d, const char *description, std::vector<delimcheck::text_edit> edits)
{
    d.fix.description = description;
    d.fix.edits = std::move(edits);
    return d;
}

diagnostic with_likely(diagnostic d, delimcheck::position at, delimcheck::position opener, char opener_byte)
{
    d.likely.at = at;
    d.likely.reason = delimcheck::hint_reason::dedent_without_close;
    d.likely.opener = opener;
    d.likely.opener_byte = opener_byte;
    return d;
}

// A repair on the first fault only: an insertion with a hint, and after it a replacement of
// two edits without one, whose text needs escaping, and a diagnostic without a repair.
const std::vector<run_input> repaired_inputs = {
    {"r.tcl",
     {with_repair(with_likely(missing({4, 9}, '}', {1, 12}, '{'), {3, 1}, {1, 12}, '{'), "insert } before line 3",
                  {{{3, 1}, {3, 1}, "}\n"}})}},
    {"q.tcl",
     {with_repair(wrong({2, 5}, ')', ']', {1, 1}, '['), "replace ) by \"]\" on line 2",
                  {{{1, 1}, {1, 2}, ""}, {{2, 5}, {2, 6}, "\"]\\"}}),
      unmatched({3, 1}, ']')}},
};

const std::string enoent = std::strerror(ENOENT);

// What every SARIF log starts with, up to its results.
const std::string sarif_head = R"head({
  "$schema": "https://json.schemastore.org/sarif-2.1.0.json",
  "version": "2.1.0",
  "runs": [
    {
      "tool": {
        "driver": {
          "name": "delimcheck",
          "informationUri": "man:delimcheck(1)",
          "version": "1.2.3",
          "rules": [
            {"id": "unmatched-closer", "name": "UnmatchedCloser", "shortDescription": {"text": "A closing delimiter with nothing open"}, "fullDescription": {"text": "A closer with nothing open."}, "help": {"text": "A closer with nothing open. See delimcheck(1), Message codes."}, "defaultConfiguration": {"level": "error"}},
            {"id": "wrong-closer", "name": "WrongCloser", "shortDescription": {"text": "A closing delimiter where another one was expected"}, "fullDescription": {"text": "A closer where another was expected; nothing is discarded."}, "help": {"text": "A closer where another was expected; nothing is discarded. See delimcheck(1), Message codes."}, "defaultConfiguration": {"level": "error"}},
            {"id": "wrong-closer-balanced", "name": "WrongCloserBalanced", "shortDescription": {"text": "A closing delimiter where another one was expected; the opener in the way is discarded"}, "fullDescription": {"text": "A closer where another was expected: the entry in the way is discarded, one diagnostic for each, until an entry that the closer closes is found."}, "help": {"text": "A closer where another was expected: the entry in the way is discarded, one diagnostic for each, until an entry that the closer closes is found. See delimcheck(1), Message codes."}, "defaultConfiguration": {"level": "error"}},
            {"id": "string-stray-closer", "name": "StringStrayCloser", "shortDescription": {"text": "A closing delimiter inside a string that holds nothing it closes"}, "fullDescription": {"text": "A closer inside a string that holds nothing it closes; the string stays open."}, "help": {"text": "A closer inside a string that holds nothing it closes; the string stays open. See delimcheck(1), Message codes."}, "defaultConfiguration": {"level": "error"}},
            {"id": "string-unclosed-opener", "name": "StringUnclosedOpener", "shortDescription": {"text": "A string ends with an opener inside it left open"}, "fullDescription": {"text": "The quote that ends a string leaves an opener inside it unclosed."}, "help": {"text": "The quote that ends a string leaves an opener inside it unclosed. See delimcheck(1), Message codes."}, "defaultConfiguration": {"level": "error"}},
            {"id": "extra-after-string", "name": "ExtraAfterString", "shortDescription": {"text": "A closing quote followed by a stray character"}, "fullDescription": {"text": "A warning: a closing quote followed by something other than a blank, ), ;, a backslash, ] or }."}, "help": {"text": "A warning: a closing quote followed by something other than a blank, ), ;, a backslash, ] or }. See delimcheck(1), Message codes."}, "defaultConfiguration": {"level": "warning"}},
            {"id": "backslash-blank", "name": "BackslashBlank", "shortDescription": {"text": "A line ends in a backslash followed by blanks"}, "fullDescription": {"text": "A warning, with -e: a line ends in a backslash and blanks."}, "help": {"text": "A warning, with -e: a line ends in a backslash and blanks. See delimcheck(1), Message codes."}, "defaultConfiguration": {"level": "warning"}},
            {"id": "missing-closer", "name": "MissingCloser", "shortDescription": {"text": "An opener left open at the end of the input"}, "fullDescription": {"text": "At the end of an input: an opener never closed."}, "help": {"text": "At the end of an input: an opener never closed. See delimcheck(1), Message codes."}, "defaultConfiguration": {"level": "error"}},
            {"id": "cannot-access", "name": "CannotAccess", "shortDescription": {"text": "The input could not be opened"}, "fullDescription": {"text": "The input could not be opened: it is missing, unreadable or a directory."}, "help": {"text": "The input could not be opened: it is missing, unreadable or a directory. See delimcheck(1), Message codes."}, "defaultConfiguration": {"level": "error"}},
            {"id": "read-error", "name": "ReadError", "shortDescription": {"text": "The input could not be read to its end"}, "fullDescription": {"text": "The input could not be read to its end; it was checked as far as it was read."}, "help": {"text": "The input could not be read to its end; it was checked as far as it was read. See delimcheck(1), Message codes."}, "defaultConfiguration": {"level": "error"}}
          ]
        }
      },
      "originalUriBaseIds": {
        "SRCROOT": {"uri": "file:///home/dev/my%20project/"}
      },
      "results": [)head";
const std::string sarif_tail = "\n      ]\n    }\n  ]\n}\n";

struct format_case {
    const char *name;
    format_kind kind;
    const std::vector<run_input> *inputs;
    std::string expected;
};

void PrintTo(const format_case &c, std::ostream *os) { *os << c.name; }

const std::vector<format_case> format_cases = {
    {"json_several_inputs", format_kind::json, &several_inputs,
     R"x([
  {"file": "a b.tcl", "line": 3, "column": 1, "severity": "error", "code": "wrong-closer-balanced", "message": "Expecting ] got } (balancing {})", "related": [{"line": 2, "column": 11, "message": "[ opened here, discarded"}]},
  {"file": "a b.tcl", "line": 4, "column": 7, "severity": "warning", "code": "extra-after-string", "message": "Extra characters after string"},
  {"file": "a b.tcl", "line": 4, "column": 9, "severity": "error", "code": "missing-closer", "message": "} missing, opened on line 1 char 12", "related": [{"line": 1, "column": 12, "message": "{ opened here, never closed"}]},
  {"file": "-", "line": 1, "column": 1, "severity": "error", "code": "unmatched-closer", "message": "Unmatching ]"},
  {"file": "gone.tcl", "line": 1, "column": 1, "severity": "error", "code": "cannot-access", "message": "Cannot be accessed: )x" +
         enoent + R"x("}
]
)x"},
    {"json_awkward_name", format_kind::json, &awkward_input,
     R"x([
  {"file": "d/we\"ird\\ n,a:m%e\n\u0001\udcff.tcl", "line": 2, "column": 5, "severity": "error", "code": "wrong-closer", "message": "Expecting ] got )", "related": [{"line": 1, "column": 1, "message": "[ opened here"}]}
]
)x"},
    {"json_nothing_reported", format_kind::json, &clean_inputs, "[\n]\n"},

    {"sarif_several_inputs", format_kind::sarif, &several_inputs,
     sarif_head + R"x(
        {"ruleId": "wrong-closer-balanced", "level": "error", "message": {"text": "Expecting ] got } (balancing {})"}, "locations": [{"physicalLocation": {"artifactLocation": {"uri": "a%20b.tcl", "uriBaseId": "SRCROOT"}, "region": {"startLine": 3, "startColumn": 1}}}], "relatedLocations": [{"id": 1, "physicalLocation": {"artifactLocation": {"uri": "a%20b.tcl", "uriBaseId": "SRCROOT"}, "region": {"startLine": 2, "startColumn": 11}}, "message": {"text": "[ opened here, discarded"}}]},
        {"ruleId": "extra-after-string", "level": "warning", "message": {"text": "Extra characters after string"}, "locations": [{"physicalLocation": {"artifactLocation": {"uri": "a%20b.tcl", "uriBaseId": "SRCROOT"}, "region": {"startLine": 4, "startColumn": 7}}}]},
        {"ruleId": "missing-closer", "level": "error", "message": {"text": "} missing, opened on line 1 char 12"}, "locations": [{"physicalLocation": {"artifactLocation": {"uri": "a%20b.tcl", "uriBaseId": "SRCROOT"}, "region": {"startLine": 4, "startColumn": 9}}}], "relatedLocations": [{"id": 1, "physicalLocation": {"artifactLocation": {"uri": "a%20b.tcl", "uriBaseId": "SRCROOT"}, "region": {"startLine": 1, "startColumn": 12}}, "message": {"text": "{ opened here, never closed"}}]},
        {"ruleId": "unmatched-closer", "level": "error", "message": {"text": "Unmatching ]"}, "locations": [{"physicalLocation": {"artifactLocation": {"uri": "stdin:"}, "region": {"startLine": 1, "startColumn": 1}}}]},
        {"ruleId": "cannot-access", "level": "error", "message": {"text": "Cannot be accessed: )x" +
         enoent +
         R"x("}, "locations": [{"physicalLocation": {"artifactLocation": {"uri": "gone.tcl", "uriBaseId": "SRCROOT"}, "region": {"startLine": 1, "startColumn": 1}}}]})x" +
         sarif_tail},
    {"sarif_awkward_name", format_kind::sarif, &awkward_input,
     sarif_head + R"x(
        {"ruleId": "wrong-closer", "level": "error", "message": {"text": "Expecting ] got )"}, "locations": [{"physicalLocation": {"artifactLocation": {"uri": "d/we%22ird%5C%20n%2Ca%3Am%25e%0A%01%FF.tcl", "uriBaseId": "SRCROOT"}, "region": {"startLine": 2, "startColumn": 5}}}], "relatedLocations": [{"id": 1, "physicalLocation": {"artifactLocation": {"uri": "d/we%22ird%5C%20n%2Ca%3Am%25e%0A%01%FF.tcl", "uriBaseId": "SRCROOT"}, "region": {"startLine": 1, "startColumn": 1}}, "message": {"text": "[ opened here"}}]})x" +
         sarif_tail},
    {"sarif_nothing_reported", format_kind::sarif, &clean_inputs, sarif_head + sarif_tail},

    {"github_several_inputs", format_kind::github, &several_inputs,
     "::error file=a b.tcl,line=3,col=1::Expecting ] got } (balancing {})%0A2:11: [ opened here, discarded\n"
     "::warning file=a b.tcl,line=4,col=7::Extra characters after string\n"
     "::error file=a b.tcl,line=4,col=9::} missing, opened on line 1 char 12%0A1:12: { opened here, never closed\n"
     "::error file=-,line=1,col=1::Unmatching ]\n"
     "::error file=gone.tcl,line=1,col=1::Cannot be accessed: " +
         enoent + "\n"},
    {"github_awkward_name", format_kind::github, &awkward_input,
     "::error file=d/we\"ird\\ n%2Ca%3Am%25e%0A\x01\xff.tcl,line=2,col=5::Expecting ] got )%0A1:1: [ opened here\n"},
    {"github_nothing_reported", format_kind::github, &clean_inputs, ""},

    {"text_repaired", format_kind::text, &repaired_inputs,
     "File r.tcl:\n} missing, opened on line 1 char 12\n"
     "  hint: line 3 char 1: indentation returns to the level of the { on line 1 here, but nothing closes it; "
     "repair: insert } before line 3\n"
     "File q.tcl:\nExpecting ] got ) : line 2 char 5\n"
     "  hint: line 1 char 1: repair: replace ) by \"]\" on line 2\n"
     "Unmatching ] : line 3 char 1\n"},
    {"gcc_repaired", format_kind::gcc, &repaired_inputs,
     "r.tcl:4:9: error: } missing, opened on line 1 char 12\n"
     "r.tcl:3:1: note: likely fault: indentation returns to the level of the { on line 1 here, but nothing closes it\n"
     "r.tcl:1:12: note: { opened here, never closed\n"
     "r.tcl:3:1: note: insert } before line 3\n"
     "q.tcl:2:5: error: Expecting ] got )\n"
     "q.tcl:1:1: note: [ opened here\n"
     "q.tcl:1:1: note: replace ) by \"]\" on line 2\n"
     "q.tcl:3:1: error: Unmatching ]\n"},
    {"github_repaired", format_kind::github, &repaired_inputs,
     "::error file=r.tcl,line=4,col=9::} missing, opened on line 1 char 12%0A1:12: { opened here, never closed"
     "%0Alikely 3:1: indentation returns to the level of the { on line 1 here, but nothing closes it"
     "%0Arepair: insert } before line 3\n"
     "::error file=q.tcl,line=2,col=5::Expecting ] got )%0A1:1: [ opened here%0Arepair: replace ) by \"]\" on line 2\n"
     "::error file=q.tcl,line=3,col=1::Unmatching ]\n"},
    {"sarif_repaired", format_kind::sarif, &repaired_inputs,
     sarif_head + R"x(
        {"ruleId": "missing-closer", "level": "error", "message": {"text": "} missing, opened on line 1 char 12"}, "locations": [{"physicalLocation": {"artifactLocation": {"uri": "r.tcl", "uriBaseId": "SRCROOT"}, "region": {"startLine": 4, "startColumn": 9}}}], "relatedLocations": [{"id": 1, "physicalLocation": {"artifactLocation": {"uri": "r.tcl", "uriBaseId": "SRCROOT"}, "region": {"startLine": 1, "startColumn": 12}}, "message": {"text": "{ opened here, never closed"}}, {"id": 2, "physicalLocation": {"artifactLocation": {"uri": "r.tcl", "uriBaseId": "SRCROOT"}, "region": {"startLine": 3, "startColumn": 1}}, "message": {"text": "likely fault: indentation returns to the level of the { on line 1 here, but nothing closes it"}}], "fixes": [{"description": {"text": "insert } before line 3"}, "artifactChanges": [{"artifactLocation": {"uri": "r.tcl", "uriBaseId": "SRCROOT"}, "replacements": [{"deletedRegion": {"startLine": 3, "startColumn": 1, "endLine": 3, "endColumn": 1}, "insertedContent": {"text": "}\n"}}]}]}]},
        {"ruleId": "wrong-closer", "level": "error", "message": {"text": "Expecting ] got )"}, "locations": [{"physicalLocation": {"artifactLocation": {"uri": "q.tcl", "uriBaseId": "SRCROOT"}, "region": {"startLine": 2, "startColumn": 5}}}], "relatedLocations": [{"id": 1, "physicalLocation": {"artifactLocation": {"uri": "q.tcl", "uriBaseId": "SRCROOT"}, "region": {"startLine": 1, "startColumn": 1}}, "message": {"text": "[ opened here"}}], "fixes": [{"description": {"text": "replace ) by \"]\" on line 2"}, "artifactChanges": [{"artifactLocation": {"uri": "q.tcl", "uriBaseId": "SRCROOT"}, "replacements": [{"deletedRegion": {"startLine": 1, "startColumn": 1, "endLine": 1, "endColumn": 2}, "insertedContent": {"text": ""}}, {"deletedRegion": {"startLine": 2, "startColumn": 5, "endLine": 2, "endColumn": 6}, "insertedContent": {"text": "\"]\\"}}]}]}]},
        {"ruleId": "unmatched-closer", "level": "error", "message": {"text": "Unmatching ]"}, "locations": [{"physicalLocation": {"artifactLocation": {"uri": "q.tcl", "uriBaseId": "SRCROOT"}, "region": {"startLine": 3, "startColumn": 1}}}]})x" +
         sarif_tail},
};

class Formats : public ::testing::TestWithParam<format_case> {};

TEST_P(Formats, WholeRun)
{
    const format_case &c = GetParam();
    format_settings s;
    s.kind = c.kind;
    s.tool_version = "1.2.3";
    s.working_directory = "/home/dev/my project";
    EXPECT_EQ(run(s, *c.inputs), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Formats, ::testing::ValuesIn(format_cases),
                         [](const ::testing::TestParamInfo<format_case> &i) { return std::string(i.param.name); });

std::string sarif_log(const std::string &working_directory, const char *name)
{
    format_settings s;
    s.kind = format_kind::sarif;
    s.working_directory = working_directory;
    return run(s, {{name, {unmatched({1, 1}, ']')}}});
}

// A relative name is a reference against SRCROOT and must stay relative: "./" goes, and so
// do the slashes after it, which would make it absolute. An absolute name is a file URI;
// standard input, which is no file of SRCROOT, a URI of its own.
TEST(SarifLocations, RelativeAndAbsoluteNames)
{
    const struct {
        const char *name;
        const char *artifact;
    } cases[] = {
        {"x.tcl", R"("artifactLocation": {"uri": "x.tcl", "uriBaseId": "SRCROOT"})"},
        {"./x.tcl", R"("artifactLocation": {"uri": "x.tcl", "uriBaseId": "SRCROOT"})"},
        {"././sub/./y.tcl", R"("artifactLocation": {"uri": "sub/./y.tcl", "uriBaseId": "SRCROOT"})"},
        {".//z.tcl", R"("artifactLocation": {"uri": "z.tcl", "uriBaseId": "SRCROOT"})"},
        {"../up.tcl", R"("artifactLocation": {"uri": "../up.tcl", "uriBaseId": "SRCROOT"})"},
        {".hidden.tcl", R"("artifactLocation": {"uri": ".hidden.tcl", "uriBaseId": "SRCROOT"})"},
        {"c:d.tcl", R"("artifactLocation": {"uri": "c%3Ad.tcl", "uriBaseId": "SRCROOT"})"},
        {"/abs/p q.tcl", R"("artifactLocation": {"uri": "file:///abs/p%20q.tcl"})"},
        {"//net/r.tcl", R"("artifactLocation": {"uri": "file:////net/r.tcl"})"},
        {nullptr, R"("artifactLocation": {"uri": "stdin:"})"},
    };
    for (const auto &c : cases)
        EXPECT_NE(sarif_log("/w", c.name).find(c.artifact), std::string::npos)
            << (c.name != nullptr ? c.name : "standard input") << "\n" << sarif_log("/w", c.name);
}

// SRCROOT names a directory, so its URI ends in one slash; without a working directory there
// is no base to give.
TEST(SarifLocations, SourceRoot)
{
    const struct {
        const char *working_directory;
        const char *base;
    } cases[] = {
        {"/", R"("SRCROOT": {"uri": "file:///"})"},
        {"/home/dev", R"("SRCROOT": {"uri": "file:///home/dev/"})"},
        {"/home/dev/", R"("SRCROOT": {"uri": "file:///home/dev/"})"},
        {"/d\xc3\xa9j\xc3\xa0 vu/100%", R"("SRCROOT": {"uri": "file:///d%C3%A9j%C3%A0%20vu/100%25/"})"},
    };
    for (const auto &c : cases)
        EXPECT_NE(sarif_log(c.working_directory, "x.tcl").find(c.base), std::string::npos) << c.working_directory;
    EXPECT_EQ(sarif_log("", "x.tcl").find("originalUriBaseIds"), std::string::npos);
}

// Every format's writer answers stop from the report whose writing failed on: the output's
// first failed write sticks, and nothing is written to the destination after it.
TEST(FormatWriters, AnswerStopOnceTheOutputCannotBeWritten)
{
    struct failing final : destination {
        int left; // writes taken before they fail
        int tries = 0;
        explicit failing(int accepted) : left(accepted) {}
        int put(const char *, std::size_t) override
        {
            ++tries;
            return left-- > 0 ? 0 : ENOSPC;
        }
    };
    for (format_kind kind : {format_kind::text, format_kind::gcc, format_kind::json, format_kind::github,
                             format_kind::sarif, format_kind::pretty}) {
        for (int accepted : {0, 2}) {
            SCOPED_TRACE(static_cast<int>(kind));
            format_settings s;
            s.kind = kind;
            std::unique_ptr<input_writer> writer = make_input_writer(s);
            failing dest(accepted);
            output out(dest);
            std::string name = "a.tcl";
            writer->begin_input(out, &name);
            diagnostic d = unmatched({1, 1}, ']');
            int reports = 0;
            bool stopped = false;
            // The output holds 64 KiB before it writes: enough reports to make it write often.
            for (; reports < 200000 && !stopped; ++reports)
                stopped = writer->report(d) == delimcheck::sink_answer::stop;
            ASSERT_TRUE(stopped);
            EXPECT_TRUE(out.failed());
            EXPECT_EQ(dest.error(), ENOSPC);
            EXPECT_EQ(dest.tries, accepted + 1);
            EXPECT_EQ(writer->report(d), delimcheck::sink_answer::stop) << "and from then on";
            writer->end_input();
            EXPECT_FALSE(out.flush());
            EXPECT_EQ(dest.tries, accepted + 1) << "a write after the failure";
        }
    }
}

} // namespace
