// The machine-read formats, written from hand-made diagnostics and compared byte for byte:
// the strings that carry file names and messages, then each format over a run of several
// inputs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format/json_text.h"
#include "format/output.h"

namespace {

using namespace delimcheck::format;

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

} // namespace
