// Which findings are reported: the selection of codes and severity that the settings make, and
// the directives that an input's own comments hold. Both sit between the checker and a format,
// as a sink that marks what they accept; the formats decide what a marked finding becomes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "delimcheck/diagnostic.h"
#include "delimcheck/options.h"
#include "delimcheck/sink.h"

namespace delimcheck::checking {

// A set of codes, one bit per kind.
using code_set = std::uint32_t;
inline constexpr code_set all_codes = (code_set{1} << all_kind_count) - 1;
constexpr code_set code_bit(diagnostic_kind k) { return code_set{1} << static_cast<int>(k); }

// "wrong-closer,extra-after-string" (blanks around the commas allowed) into set, added to what
// it holds; false, with the word that is no code in bad, for anything else. An empty list is bad.
bool parse_codes(std::string_view list, code_set &set, std::string &bad);
// The codes of set, in the table's order, joined by commas.
std::string code_list(code_set set);

// What the settings report: the codes selected and not ignored, at the threshold or above.
struct selection {
    code_set selected = all_codes;
    code_set ignored = 0;
    severity threshold = severity::warning; // error: errors only
    bool report_unused_directives = false;

    bool reports(diagnostic_kind k) const
    {
        return (selected & ~ignored & code_bit(k)) != 0 && severity_of(k) <= threshold;
    }
    friend bool operator==(const selection &, const selection &) = default;
};

// Where the words that start a directive first stand in bytes (npos: nowhere). An input in
// which they stand nowhere has no directive, and need not be read line by line. The level is the
// widest vector instructions used (the processor's best, or less to compare them).
std::size_t find_marker(std::string_view bytes, simd_level level = simd_level::best);
inline constexpr std::size_t marker_size = 11; // "delimcheck:"

// One "# delimcheck: ignore..." comment.
struct directive {
    enum class scope : std::uint8_t { next_line, this_line, file };
    scope where = scope::next_line;
    position at;             // its '#'
    std::int64_t line = 0;   // the line it covers; 0 for the whole file
    code_set codes = all_codes;
    bool used = false;
};

// Reads the directives of one input from its bytes, given in pieces of any size. A directive is
// a comment whose text starts with "delimcheck:": on a line of its own ("# delimcheck: ignore"
// covers the next line), after ";#" at the end of a line (covers that line), or, as
// "ignore-file", among the comment lines at the top of the input (covers all of it). Codes
// follow '=' with commas between; " -- " and any words may end it. The words hold no tracked
// delimiter, so that the comment changes nothing that the checker sees.
class directive_reader {
public:
    void feed(std::string_view bytes);
    void finish(); // the last line, if it has no newline

    std::vector<directive> directives; // for lines, in the order of the lines they cover
    std::vector<directive> whole_file; // ignore-file
    std::vector<diagnostic> malformed; // bad_directive warnings

private:
    void line_done(std::string_view line);
    void parse_at(std::string_view line, std::size_t hash, bool own_line);
    static std::int64_t count_lines(std::string_view s);

    static constexpr std::size_t longest_kept = 1 << 16; // a line's bytes beyond this are not read
    std::string line_;     // a line that the last piece began, up to longest_kept bytes
    bool partial_ = false; // such a line is under way
    std::int64_t line_number_ = 1;
    bool in_header_ = true; // every line so far blank or a comment
};

// Marks the findings that the selection or a directive accepts, and passes everything on.
// Directives are read only when they are needed, by load: at an input's first finding, or at
// its end when unused directives are asked for. So a clean input costs nothing more.
class suppressing_sink final : public sink {
public:
    using loader = std::function<void(directive_reader &)>;

    explicit suppressing_sink(sink &next) : next_(next) {}

    // Before each input: its selection, the codes its settings ignore for its name alone
    // (per-file ignores), and how to read its directives (empty: it has none to read).
    void begin_input(const selection &s, code_set ignored_here, loader load);
    // The loader, once the caller knows how to read the input again.
    void set_loader(loader load) { load_ = std::move(load); }
    sink_answer report(const diagnostic &d) override;
    void listing(const listing_line &l) override { next_.listing(l); }
    // After the input: the malformed directives, and with report_unused_directives the unused.
    void end_input();
    // For an input that cannot be read again: the reader that its caller feeds as the checker
    // reads, and finishes at its end; set before the check, in place of a loader.
    directive_reader &reader_fed_by_caller()
    {
        loaded_ = true;
        return reader_;
    }

private:
    const directive_reader &directives();
    directive *covering(std::int64_t line, diagnostic_kind k);
    void pass(diagnostic d);

    sink &next_;
    selection selection_;
    code_set ignored_here_ = 0;
    loader load_;
    bool loaded_ = false;
    directive_reader reader_;
};

} // namespace delimcheck::checking
