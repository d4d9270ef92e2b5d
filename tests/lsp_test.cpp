// The language server's pieces on their own: positions in both encodings, edits of a document,
// the framing of messages with every kind of broken header, and quick fixes made from
// hand-built diagnostics. The protocol as a whole is driven over pipes by lsp_protocol.py.
#include <gtest/gtest.h>

#include <poll.h>
#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
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

// A closer that discards two entries is one fault: one Diagnostic, whose related information
// names each entry discarded and the likely place once.
TEST(LspReports, OneCloserThatDiscardsTwoEntriesIsOneDiagnostic)
{
    diagnostic d = report(diagnostic_kind::balanced_closer, {3, 1}, ']', {2, 5}, '[');
    d.got = '}';
    d.pair_opener = '{';
    d.pair_closer = '}';
    place_never_closed(d, {2, 7});
    diagnostic other = d;
    other.expected = '"';
    other.opener = {2, 3};
    other.opener_byte = '"';
    published p = describe({d, other}, "x {\n  \"[abc\n}\n", "file:///u.tcl", encoding::utf16);
    ASSERT_EQ(p.diagnostics.size(), 2u) << p.diagnostics.dump();
    EXPECT_EQ(p.diagnostics[0]["severity"], 1);
    EXPECT_EQ(p.diagnostics[0]["message"], "Expecting ] got } (balancing {})") << "the innermost entry's closer";
    EXPECT_EQ(p.diagnostics[1]["severity"], 3);
    const nlohmann::json &related = p.diagnostics[0]["relatedInformation"];
    ASSERT_EQ(related.size(), 3u) << related.dump();
    EXPECT_EQ(related[0]["message"], "[ opened here, discarded");
    EXPECT_EQ(related[0]["location"]["range"]["start"], (nlohmann::json{{"line", 1}, {"character", 4}}));
    EXPECT_EQ(related[1]["message"], "\" opened here, discarded");
    EXPECT_EQ(related[1]["location"]["range"]["start"], (nlohmann::json{{"line", 1}, {"character", 2}}));
    EXPECT_TRUE(related[2]["message"].get<std::string>().starts_with("likely fault: "));
}

// Two faults placed at the same likely place: that place is shown once, and each report
// still names it.
TEST(LspReports, ALikelyPlaceSharedByReportsIsShownOnce)
{
    diagnostic d = report(diagnostic_kind::missing_closer, {3, 2}, '}', {1, 3}, '{');
    place_never_closed(d, {2, 1});
    diagnostic other = report(diagnostic_kind::missing_closer, {3, 2}, ']', {2, 1}, '[');
    other.likely = d.likely;
    published p = describe({d, other}, "x {\n[abc\n}\n", "file:///u.tcl", encoding::utf16);
    ASSERT_EQ(p.diagnostics.size(), 3u);
    EXPECT_EQ(p.diagnostics[0]["severity"], 1);
    EXPECT_EQ(p.diagnostics[1]["severity"], 3);
    EXPECT_EQ(p.diagnostics[2]["severity"], 1);
    EXPECT_EQ(p.diagnostics[2]["relatedInformation"].size(), 2u) << "the opener and the likely place";
}

// A lone carriage return ends a client line, as LSP counts, inside a checker line; CR LF is
// one line break. Positions both ways, and a line's end, see the same lines.
TEST(LspPositions, ALoneCarriageReturnIsALineBreak)
{
    // Checker lines: "a\rbc\r{" and "\r}" and "" ; client lines: a, bc, {, "", }, "".
    const std::string text = "a\rbc\r{\r\n\r}\n";
    struct to_client_case {
        position at;
        client_position client;
    };
    const std::vector<to_client_case> cases = {
        {{1, 1}, {0, 0}}, {{1, 2}, {0, 1}}, {{1, 3}, {1, 0}}, {{1, 4}, {1, 1}}, {{1, 6}, {2, 0}},
        {{1, 7}, {2, 1}}, {{1, 9}, {2, 1}}, {{2, 1}, {3, 0}}, {{2, 2}, {4, 0}}, {{2, 3}, {4, 1}},
        {{3, 1}, {5, 0}},
    };
    line_index lines(text, {1, 2, 3});
    for (const to_client_case &c : cases) {
        EXPECT_EQ(lines.to_client(c.at, encoding::utf16), c.client) << c.at.line << ':' << c.at.column;
        EXPECT_EQ(offset_of(text, c.client, encoding::utf16),
                  std::min<std::size_t>(c.at.line == 1 ? c.at.column - 1 : c.at.line == 2 ? 8 + c.at.column - 1 : 11, 6 + (c.at.line > 1) * 100))
            << "back from " << c.client.line << ':' << c.client.character;
    }
    EXPECT_EQ(lines.line_end(position{1, 3}, encoding::utf16), (client_position{1, 2})) << "bc ends at its CR";
    EXPECT_EQ(lines.line_end(1, encoding::utf16), (client_position{2, 1})) << "the checker line's last client line";
    EXPECT_EQ(offset_of(text, {3, 0}, encoding::utf16), 8u) << "after CR LF";
    EXPECT_EQ(offset_of(text, {9, 0}, encoding::utf16), text.size());

    document d("a\rb\rc", 1);
    d.edit(client_range{{1, 0}, {2, 0}}, "", encoding::utf16);
    EXPECT_EQ(d.text(), "a\rc") << "a whole CR-ended line deleted";
}

// The words of messages and titles that name a position name the client's: its line, and its
// column in its units, from 1.
TEST(LspReports, PositionsInWordsAreTheClients)
{
    // é is 2 bytes, 😀 4 bytes and 2 UTF-16 units; the CR before line 2 starts a client line.
    const std::string text = "a\rset s \"\xc3\xa9\xf0\x9f\x98\x80\" {\n  puts [x\n";
    diagnostic d = report(diagnostic_kind::missing_closer, {2, 11}, '}', {1, 18}, '{');
    d.fix = {"insert ] at line 2 char 10", {{{2, 10}, {2, 10}, "]"}}};
    struct words_case {
        encoding enc;
        std::string message, title;
    };
    const std::vector<words_case> cases = {
        {encoding::utf16, "} missing, opened on line 2 char 13", "insert ] at line 3 char 10"},
        {encoding::utf8, "} missing, opened on line 2 char 16", "insert ] at line 3 char 10"},
    };
    for (const words_case &c : cases) {
        published p = describe({d}, text, "file:///w.tcl", c.enc);
        ASSERT_EQ(p.fixes.size(), 1u);
        EXPECT_EQ(p.diagnostics[0]["message"], c.message);
        EXPECT_EQ(p.fixes[0].title, c.title);
    }
}

// A hand-built report whose repair is marked safe or not: the quick fix on the report, matched
// by the context's Diagnostics or by the range; preferred only when safe; the source action
// only for a safe repair and only when `only` asks for it, by LSP's hierarchy of kinds.
TEST(LspCodeActions, KindsRangesAndSafety)
{
    const std::string text = "proc p {} {\n  puts [x\n}\n";
    diagnostic d = report(diagnostic_kind::balanced_closer, {3, 1}, ']', {2, 8}, '[');
    d.got = '}';
    d.pair_opener = '{';
    d.pair_closer = '}';
    d.likely = {{2, 10}, delimcheck::hint_reason::repaired, {}, 0};
    d.fix = {"insert ] at line 2 char 10", {{{2, 10}, {2, 10}, "]"}}};
    using nlohmann::json;
    auto at_line = [](int first, int last) {
        return json{{"start", {{"line", first}, {"character", 0}}}, {"end", {{"line", last}, {"character", 0}}}};
    };
    struct action_case {
        const char *name;
        bool safe;
        json only;        // null: none
        bool with_report; // the report in the context
        json range;
        std::vector<std::string> kinds;
        bool preferred;
    };
    const std::vector<action_case> cases = {
        {"context", true, nullptr, true, at_line(0, 0), {"quickfix"}, true},
        {"context, unsafe", false, nullptr, true, at_line(0, 0), {"quickfix"}, false},
        {"cursor on the report", true, nullptr, false, at_line(2, 2), {"quickfix"}, true},
        {"cursor on the likely line", false, nullptr, false, at_line(1, 1), {"quickfix"}, false},
        {"a selection across it", false, nullptr, false, at_line(0, 5), {"quickfix"}, false},
        {"elsewhere", true, nullptr, false, at_line(0, 0), {}, false},
        {"a range ending at a line's start takes none of it", true, nullptr, false,
         json{{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 1}, {"character", 0}}}}, {}, false},
        {"no range", true, nullptr, false, nullptr, {}, false},
        {"a sub-kind asks not for its parent", true, json{"quickfix.delimcheck"}, true, at_line(2, 2), {}, false},
        {"a parent asks for its sub-kinds", true, json{"source"}, false, at_line(0, 0), {"source.fixAll.delimcheck"}, false},
        {"source.fixAll", true, json{"source.fixAll"}, false, at_line(0, 0), {"source.fixAll.delimcheck"}, false},
        {"no fix-all for an unsafe repair", false, json{"source.fixAll.delimcheck"}, true, at_line(2, 2), {}, false},
        {"not a prefix by words", true, json{"source.fix"}, true, at_line(2, 2), {}, false},
        {"both", true, json{"quickfix", "source"}, true, at_line(2, 2), {"quickfix", "source.fixAll.delimcheck"}, true},
        {"nothing asked", true, json::array(), true, at_line(2, 2), {}, false},
        {"refactor", true, json{"refactor"}, true, at_line(2, 2), {}, false},
    };
    for (const action_case &c : cases) {
        diagnostic r = d;
        r.fix.safe = c.safe;
        r.fix.sure = c.safe;
        published p = describe({r}, text, "file:///a.tcl", encoding::utf16);
        json context = {{"diagnostics", c.with_report ? json::array({p.diagnostics[0]}) : json::array()}};
        if (!c.only.is_null())
            context["only"] = c.only;
        json params = {{"textDocument", {{"uri", "file:///a.tcl"}}}, {"context", context}};
        if (!c.range.is_null())
            params["range"] = c.range;
        json actions = code_actions(p, params, {"file:///a.tcl", 3, true});
        std::vector<std::string> kinds;
        for (const json &a : actions) {
            kinds.push_back(a["kind"]);
            EXPECT_EQ(a["edit"]["documentChanges"][0]["textDocument"]["version"], 3) << c.name;
            EXPECT_EQ(a["edit"]["documentChanges"][0]["edits"][0]["newText"], "]") << c.name;
            if (a["kind"] == "quickfix")
                EXPECT_EQ(a.value("isPreferred", false), c.preferred) << c.name;
            else
                EXPECT_FALSE(a.contains("isPreferred")) << c.name;
        }
        EXPECT_EQ(kinds, c.kinds) << c.name;
    }
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
// its own; a hurried search does not wait for the pause. The pause is far longer than the
// test, so nothing is searched unless hurried.
TEST(LspRepairWorker, ANewerTextSupersedesTheWaitingOne)
{
    repair_worker w(std::chrono::hours(1));
    delimcheck::options o;
    o.hints = true;
    o.repair = true;
    w.submit({"a", {}, 1, "{\n", o, 1});
    w.submit({"b", {}, 2, "x\n", o, 1});
    w.submit({"a", {}, 3, "}\n", o, 1});
    w.hurry("a");
    std::vector<repair_result> first = results(w, 1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].uri, "a");
    EXPECT_EQ(first[0].generation, 3u) << "the text that replaced the first";
    EXPECT_FALSE(first[0].gave_up);
    ASSERT_EQ(first[0].reports.size(), 1u);
    EXPECT_EQ(first[0].reports[0].kind, diagnostic_kind::unmatched_closer);
    EXPECT_TRUE(results(w, 1, 3).empty()) << "b waits for its pause; the first text of a is never searched";
    w.hurry("b");
    std::vector<repair_result> second = results(w, 1);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].uri, "b");
    EXPECT_TRUE(second[0].reports.empty());
    w.submit({"c", {}, 4, "]\n", o, 1});
    w.forget("c");
    w.hurry("c");
    EXPECT_TRUE(results(w, 1, 3).empty()) << "a closed document's search is dropped";
}

// The worker waits for the end of a text's pause; that text may be forgotten or replaced
// meanwhile, and the next wake must not read what was dropped.
TEST(LspRepairWorker, ATextDroppedDuringItsPauseIsNotReadAfterwards)
{
    repair_worker w(std::chrono::hours(1));
    delimcheck::options o;
    o.hints = true;
    o.repair = true;
    for (int round = 0; round < 20; ++round) {
        std::string uri = "d" + std::to_string(round);
        w.submit({uri, {}, 1, "{\n", o, 1});
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // the worker waits on it
        if (round % 2 == 0)
            w.forget(uri);
        else
            w.submit({uri, {}, 2, "}\n", o, 1});
        w.submit({"other", {}, 3, "x\n", o, 1});
        w.hurry("other");
        std::vector<repair_result> r = results(w, 1);
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].uri, "other");
        w.forget(uri);
    }
}

// Without a pause, a text is searched as soon as it comes.
TEST(LspRepairWorker, NoPauseSearchesAtOnce)
{
    repair_worker w(std::chrono::milliseconds(0));
    delimcheck::options o;
    o.hints = true;
    o.repair = true;
    w.submit({"a", {}, 1, "proc p {} {\n  puts [x\n}\n", o, 1});
    std::vector<repair_result> r = results(w, 1);
    ASSERT_EQ(r.size(), 1u);
    ASSERT_FALSE(r[0].reports.empty());
    EXPECT_FALSE(r[0].reports[0].fix.empty()) << "searched, not given up";
}

} // namespace
