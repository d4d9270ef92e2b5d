// The language server's pieces on their own: positions in both encodings, edits of a document,
// the framing of messages with every kind of broken header, and quick fixes made from
// hand-built diagnostics. The protocol as a whole is driven over pipes by lsp_protocol.py.
#include <gtest/gtest.h>

#include <poll.h>
#include <string>
#include <vector>

#include "format/output.h"
#include "lsp/document.h"
#include "lsp/message_reader.h"
#include "lsp/repair_worker.h"
#include "lsp/reports.h"
#include "lsp/text_position.h"

namespace {

using namespace delimcheck::lsp;
using delimcheck::diagnostic;
using delimcheck::diagnostic_kind;
using delimcheck::position;

// "é" is 2 bytes and 1 UTF-16 unit, "€" 3 bytes and 1 unit, "😀" 4 bytes and 2 units.
const std::string mixed = "set a \"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\" {\r\nx}\n";

struct column_case {
    position at;          // as the checker counts
    client_position utf8, utf16;
};

TEST(LspPositions, CheckerColumnsBecomeClientCharacters)
{
    const std::vector<column_case> cases = {
        {{1, 1}, {0, 0}, {0, 0}},
        {{1, 7}, {0, 6}, {0, 6}},    // the opening quote, before any wide character
        {{1, 17}, {0, 16}, {0, 11}}, // the closing quote: 9 bytes of 3 characters and 4 units
        {{1, 19}, {0, 18}, {0, 13}}, // the brace
        {{1, 20}, {0, 19}, {0, 14}}, // just past the line's last byte, its carriage return not counted
        {{1, 99}, {0, 19}, {0, 14}}, // past the end of the line: its end
        {{2, 2}, {1, 1}, {1, 1}},
        {{3, 1}, {2, 0}, {2, 0}},    // the empty line after the last line feed
        {{9, 1}, {2, 0}, {2, 0}},    // a line past the text: its end
    };
    std::vector<std::int64_t> named;
    for (const column_case &c : cases)
        named.push_back(c.at.line);
    named.push_back(1);
    line_index lines(mixed, named);
    for (const column_case &c : cases) {
        EXPECT_EQ(lines.to_client(c.at, encoding::utf8), c.utf8) << c.at.line << ':' << c.at.column;
        EXPECT_EQ(lines.to_client(c.at, encoding::utf16), c.utf16) << c.at.line << ':' << c.at.column;
    }
    EXPECT_EQ(lines.line_end(1, encoding::utf16), (client_position{0, 14}));
    EXPECT_EQ(lines.line_end(1, encoding::utf8), (client_position{0, 19}));
}

struct offset_case {
    client_position p;
    encoding enc;
    std::size_t offset;
};

TEST(LspPositions, ClientPositionsBecomeOffsetsClamped)
{
    const std::vector<offset_case> cases = {
        {{0, 0}, encoding::utf16, 0},
        {{0, 7}, encoding::utf16, 7},   // after the quote: é starts
        {{0, 8}, encoding::utf16, 9},   // after é
        {{0, 9}, encoding::utf16, 12},  // after €
        {{0, 10}, encoding::utf16, 12}, // inside the surrogate pair of 😀: before it
        {{0, 11}, encoding::utf16, 16}, // after 😀
        {{0, 14}, encoding::utf16, 19}, // the line's end, before its CR LF
        {{0, 500}, encoding::utf16, 19},
        {{0, 8}, encoding::utf8, 7},    // inside é's bytes: before it
        {{0, 10}, encoding::utf8, 9},   // inside €'s bytes
        {{0, 16}, encoding::utf8, 16},
        {{0, 500}, encoding::utf8, 19},
        {{1, 1}, encoding::utf16, 22},
        {{2, 0}, encoding::utf16, 24},
        {{2, 5}, encoding::utf16, 24},
        {{7, 0}, encoding::utf16, 24},  // past the last line: the end of the text
        {{-1, 3}, encoding::utf16, 0},
        {{0, -4}, encoding::utf16, 0},
    };
    for (const offset_case &c : cases)
        EXPECT_EQ(offset_of(mixed, c.p, c.enc), c.offset)
            << c.p.line << ':' << c.p.character << (c.enc == encoding::utf8 ? " utf-8" : " utf-16");
}

struct edit_case {
    std::string before;
    std::optional<client_range> range;
    std::string text;
    std::string after;
};

TEST(LspDocument, EditsApplyInPlaceClampedToTheText)
{
    const std::vector<edit_case> cases = {
        {"proc p {} {\n}\n", client_range{{0, 11}, {0, 11}}, "\n  puts x", "proc p {} {\n  puts x\n}\n"},
        {"a\nbc\nd", client_range{{1, 0}, {2, 0}}, "", "a\nd"},                // a whole line deleted
        {"a\nbc\nd", client_range{{1, 1}, {1, 2}}, "X", "a\nbX\nd"},
        {"a\nbc\nd", client_range{{1, 2}, {1, 1}}, "X", "a\nbX\nd"},           // reversed ends
        {"a\nbc\nd", client_range{{1, 9}, {9, 9}}, "!", "a\nbc!"},             // past the line, past the text
        {"a\nbc\nd", client_range{{5, 0}, {5, 0}}, "\ne", "a\nbc\nd\ne"},      // appended
        {"\xf0\x9f\x98\x80{", client_range{{0, 2}, {0, 3}}, "}", "\xf0\x9f\x98\x80}"}, // after a surrogate pair
        {"a\nbc\nd", std::nullopt, "whole", "whole"},
    };
    for (const edit_case &c : cases) {
        document d(c.before, 1);
        d.edit(c.range, c.text, encoding::utf16);
        EXPECT_EQ(d.text(), c.after) << c.before;
    }
}

std::string framed(const std::string &body) { return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body; }

// A limit of the reader's own, so that a body above it is small enough to build here.
constexpr std::uint64_t test_limit = std::uint64_t{1} << 20;

// What the reader makes of a stream: each result as "message BODY", "bad", "large" or "end".
std::vector<std::string> read_all(const std::string &bytes, std::size_t step)
{
    memory_input in(bytes, step);
    message_reader reader(in, test_limit);
    std::vector<std::string> seen;
    for (;;) {
        read_result r = reader.next();
        switch (r.kind) {
        case read_result::message:
            seen.push_back("message " + r.body);
            continue;
        case read_result::bad_header:
            seen.push_back("bad");
            continue;
        case read_result::too_large:
            seen.push_back("large");
            continue;
        case read_result::end:
        case read_result::read_error:
            seen.push_back("end");
            return seen;
        }
    }
}

struct framing_case {
    const char *name;
    std::string bytes;
    std::vector<std::string> expected;
};

TEST(LspReader, EveryBrokenHeaderCostsOneMessageOnly)
{
    const std::string next = framed("{\"next\":1}");
    const std::vector<framing_case> cases = {
        {"two messages", framed("{}") + framed("[1]"), {"message {}", "message [1]", "end"}},
        {"other headers, any case, bare LF",
         "content-length: 2\nContent-Type: application/vscode-jsonrpc; charset=utf-8\n\n{}" + next,
         {"message {}", "message {\"next\":1}", "end"}},
        {"blank lines between messages", "\r\n\r\n" + framed("{}") + "\r\n" + next,
         {"message {}", "message {\"next\":1}", "end"}},
        {"no Content-Length", "Content-Type: x\r\n\r\n{\"lost\":1}" + next, {"bad", "message {\"next\":1}", "end"}},
        {"not a number", "Content-Length: twelve\r\n\r\n{\"lost\":1}" + next, {"bad", "message {\"next\":1}", "end"}},
        {"negative", "Content-Length: -5\r\n\r\n{\"lost\":1}" + next, {"bad", "message {\"next\":1}", "end"}},
        {"empty value", "Content-Length:\r\n\r\n" + next, {"bad", "message {\"next\":1}", "end"}},
        {"a header line too long", "X-Junk: " + std::string(20000, 'j') + "\r\nContent-Length: 2\r\n\r\n{}" + next,
         {"bad", "message {\"next\":1}", "end"}},
        {"above the limit, body skipped",
         "Content-Length: " + std::to_string(test_limit + 1) + "\r\n\r\n" + std::string(test_limit + 1, 'x') + next,
         {"large", "message {\"next\":1}", "end"}},
        {"far above any limit", "Content-Length: 99999999999999999999999\r\n\r\n" + next, {"large", "end"}},
        {"truncated body", "Content-Length: 100\r\n\r\n{\"cut", {"end"}},
        {"truncated header", "Content-Len", {"end"}},
        {"empty body", framed("") + next, {"message ", "message {\"next\":1}", "end"}},
        {"a body one byte longer than said", "Content-Length: 2\r\n\r\n{}}" + framed("[1]") + next,
         {"message {}", "message [1]", "message {\"next\":1}", "end"}},
        {"a lower-case header after a bad one", "Content-Length: x\r\n\r\n{}content-length: 3\r\n\r\n[1]" + next,
         {"bad", "message [1]", "message {\"next\":1}", "end"}},
    };
    for (const framing_case &c : cases)
        for (std::size_t step : {std::size_t{1}, std::size_t{7}, std::size_t{1} << 20}) {
            if (step < 1000 && c.bytes.size() > 100000)
                continue;
            EXPECT_EQ(read_all(c.bytes, step), c.expected) << c.name << ", " << step << " bytes a read";
        }
}

// A report as the checker makes it: an opener at `opener` that `at` finds open.
diagnostic report(diagnostic_kind kind, position at, char expected, position opener, char opener_byte)
{
    diagnostic d;
    d.kind = kind;
    d.at = at;
    d.expected = expected;
    d.opener = opener;
    d.opener_byte = opener_byte;
    return d;
}

// The report's likely fault: its opener, never closed, placed at `at`.
void place_never_closed(diagnostic &d, position at)
{
    d.likely.at = at;
    d.likely.reason = delimcheck::hint_reason::never_closed;
    d.likely.opener = d.opener;
    d.likely.opener_byte = d.opener_byte;
}

// A hand-built report with a repair, on a line where UTF-16 and bytes part ways.
TEST(LspQuickFix, RepairEditsAreConvertedToTheClientsCounting)
{
    const std::string text = "set s \"\xc3\xa9t\xc3\xa9\"; if {1} {\n  puts $s\n";
    diagnostic d = report(diagnostic_kind::missing_closer, {2, 10}, '}', {1, 23}, '{');
    place_never_closed(d, {2, 3});
    d.fix = {"insert } after line 2", {{{3, 1}, {3, 1}, "}\n"}, {{1, 13}, {1, 14}, "{"}}};

    for (encoding enc : {encoding::utf16, encoding::utf8}) {
        published p = describe({d}, text, "file:///s.tcl", enc);
        ASSERT_EQ(p.diagnostics.size(), 2u); // the report and its likely fault
        EXPECT_EQ(p.diagnostics[1]["severity"], 3);
        EXPECT_EQ(p.diagnostics[1]["range"]["start"], (nlohmann::json{{"line", 1}, {"character", 2}}));
        int shift = enc == encoding::utf16 ? 2 : 0; // two é before the opener and the quote
        EXPECT_EQ(p.diagnostics[0]["relatedInformation"][0]["location"]["range"]["start"]["character"], 22 - shift);
        ASSERT_EQ(p.fixes.size(), 1u);
        const quick_fix &f = p.fixes[0];
        EXPECT_EQ(f.title, "insert } after line 2");
        EXPECT_EQ(f.edits[0]["range"]["start"], (nlohmann::json{{"line", 2}, {"character", 0}}));
        EXPECT_EQ(f.edits[0]["newText"], "}\n");
        EXPECT_EQ(f.edits[1]["range"]["start"]["character"], 12 - shift);
        EXPECT_EQ(f.edits[1]["range"]["end"]["character"], 13 - shift);
        // Both Diagnostics lead to it, as the client sends them back; another does not.
        EXPECT_NE(answers(f, p.diagnostics[0]), nullptr);
        EXPECT_NE(answers(f, p.diagnostics[1]), nullptr);
        nlohmann::json bytes = p.diagnostics[0]; // a client that sends back byte columns
        bytes["range"]["start"]["character"] = 99;
        EXPECT_EQ(answers(f, bytes), &f.answers[0]);
        nlohmann::json other = p.diagnostics[0];
        other["range"]["start"]["line"] = 0;
        EXPECT_EQ(answers(f, other), nullptr);
        other = p.diagnostics[0];
        other["message"] = "another";
        EXPECT_EQ(answers(f, other), nullptr);
        EXPECT_EQ(answers(f, nlohmann::json::array()), nullptr);
    }
}

// A report without a repair offers no quick fix. One at the end of the input holds the line
// ending there, or, at the end of a text without one, is the empty range there.
TEST(LspQuickFix, NoRepairNoFixAndTheEndOfTheInput)
{
    diagnostic d = report(diagnostic_kind::missing_closer, {1, 4}, ']', {1, 1}, '[');
    for (std::string text : {"[ab", "[ab\n", "[ab\r\n"}) {
        published p = describe({d}, text, "file:///t.tcl", encoding::utf16);
        ASSERT_EQ(p.diagnostics.size(), 1u);
        EXPECT_TRUE(p.fixes.empty());
        nlohmann::json end = text == "[ab" ? nlohmann::json{{"line", 0}, {"character", 3}}
                                           : nlohmann::json{{"line", 1}, {"character", 0}};
        EXPECT_EQ(p.diagnostics[0]["range"]["start"], (nlohmann::json{{"line", 0}, {"character", 3}})) << text;
        EXPECT_EQ(p.diagnostics[0]["range"]["end"], end) << text;
    }
}

// Two reports of one fault, placed at the same likely place: that place is shown once, and
// each report still names it.
TEST(LspReports, ALikelyPlaceSharedByReportsIsShownOnce)
{
    diagnostic d = report(diagnostic_kind::balanced_closer, {3, 1}, ']', {2, 5}, '[');
    d.got = '}';
    d.pair_opener = '{';
    d.pair_closer = '}';
    place_never_closed(d, {2, 7});
    diagnostic other = d;
    other.opener = {2, 3};
    other.opener_byte = '"';
    published p = describe({d, other}, "x {\n  \"[abc\n}\n", "file:///u.tcl", encoding::utf16);
    ASSERT_EQ(p.diagnostics.size(), 3u);
    EXPECT_EQ(p.diagnostics[0]["severity"], 1);
    EXPECT_EQ(p.diagnostics[1]["severity"], 3);
    EXPECT_EQ(p.diagnostics[2]["severity"], 1);
    EXPECT_EQ(p.diagnostics[2]["relatedInformation"].size(), 2u) << "the opener and the likely place";
}

// What the worker finishes within `tenths` tenths of a second, until `count` results are in.
std::vector<repair_result> results(repair_worker &w, std::size_t count, int tenths = 50)
{
    std::vector<repair_result> all;
    for (int waits = 0; all.size() < count && waits < tenths; ++waits) {
        struct pollfd pfd = {w.wake_fd(), POLLIN, 0};
        ::poll(&pfd, 1, 100);
        for (repair_result &r : w.take())
            all.push_back(std::move(r));
    }
    return all;
}

// A newer text of a document replaces its search still waiting; another document's waits on
// its own; a hurried search does not wait for the pause.
TEST(LspRepairWorker, ANewerTextSupersedesTheWaitingOne)
{
    repair_worker w;
    delimcheck::options o;
    o.hints = true;
    o.repair = true;
    auto start = clock::now();
    w.submit({"a", {}, 1, "{\n", o, 1});
    w.submit({"b", {}, 2, "x\n", o, 1});
    w.submit({"a", {}, 3, "}\n", o, 1});
    w.hurry("a");
    std::vector<repair_result> first = results(w, 1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].uri, "a");
    EXPECT_EQ(first[0].generation, 3u) << "the text that replaced the first";
    ASSERT_EQ(first[0].reports.size(), 1u);
    EXPECT_EQ(first[0].reports[0].kind, diagnostic_kind::unmatched_closer);
    std::vector<repair_result> second = results(w, 1);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].uri, "b");
    EXPECT_TRUE(second[0].reports.empty());
    EXPECT_GE(clock::now() - start, typing_pause) << "b waited for the pause";
    EXPECT_TRUE(results(w, 1, 3).empty()) << "the first text of a was never searched";
}

} // namespace
