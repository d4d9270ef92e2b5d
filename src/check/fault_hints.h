// Where the fault most likely is. The stack notices a lost brace where the nesting can no
// longer go on, often hundreds of lines later; the indentation shows where it was lost. Three
// signs are read from it, line by line, as the input is scanned:
//   - a dedent: a code line stands at or left of the indentation of the line that opened the
//     innermost open brace, whose block is indented, and does not close it;
//   - a closer out of place: a line that begins with a closing brace stands at another
//     indentation than the line (or the command) that opened what it closes;
//   - an indent from nowhere: a code line is indented deeper than the code line before it,
//     which opened nothing that is still open.
// A sign that later proves harmless (the block is closed where its opener's line stands, the
// indentation comes back without a closer out of place) is dropped and counted as a quirk; the
// others stand. A diagnostic's hint is the earliest sign standing, else the earliest pending.
// Comment lines, continuation lines and lines inside strings or multi-line brackets are not
// read, nor blocks whose first line is not indented deeper than their opener (data, unindented
// namespace bodies).
// The indentation is trusted only as far as it has earned it: a sign may stand only when the
// blocks closed in place before it outnumber twice over the quirks and the signs that could not
// stand (and are at least one). So a script whose indentation does not follow its nesting
// gets no hint, rather than a wrong one.
#pragma once

#include <cstdint>
#include <vector>

#include "delimcheck/chunked_stack.h"
#include "check/delim_stack.h"
#include "delimcheck/delimiters.h"
#include "delimcheck/diagnostic.h"

namespace delimcheck::checking {

class fault_hints {
public:
    void begin_input();

    // A physical line begins with a non-blank byte at `first`; indent is the width of the
    // blanks before it (a tab to the next multiple of 8). afresh: the line is not a continuation
    // and not inside a string. The stack is as it stands before the line's first step.
    void line_begins(position first, std::int32_t indent, unsigned char first_byte, bool afresh,
                     const delim_stack &stack);

    // The pops of the stack: a match (by a closer at `at`) or a discard, leaving it at depth.
    // The hints keep their own record of an entry only from the line after its opener's on, so
    // that the pairs that open and close on one line, most of them, cost a comparison here.
    [[gnu::always_inline]] void matched(position at, std::size_t depth)
    {
        if (depth < stack_.size())
            matched_across_lines(at);
    }
    void discarded(std::size_t depth)
    {
        if (depth < stack_.size())
            discard_top();
    }
    // An unmatched closer at `at`: it judges the indentation, if it begins its line.
    void unmatched(position at);

    // The hint for a diagnostic found at `at`; at.line 0 when there is none to give.
    hint likely(position at) const;
    // Once a sign stands, the first fault of the input is placed, and nothing the lines after it
    // say can move it: they need not be read any more.
    bool placed() const { return standing_.set(); }
    // Whether the lines are still to be handed over: until the fault is placed, or to the end
    // when the signs are counted.
    bool reading() const { return counting_ || !placed(); }

    // Counting: every sign is counted as it is noticed, to the end of the input, and the lines
    // of the first few are kept. So are two oddities that the hints let pass, since scripts
    // have their reasons for them: a block over lines that is not indented, and one closed in
    // the middle of a line; the lines of the last few are kept. A repaired input with fewer
    // signs and oddities follows its indentation better.
    void count_signs(bool on) { counting_ = on; }
    std::int64_t signs() const { return signs_; }
    const std::vector<std::int64_t> &sign_lines() const { return sign_lines_; }
    const std::vector<std::int64_t> &oddity_lines() const { return oddity_lines_; }
    // Whether the innermost open entry, of a stack at depth, is a brace whose block stayed
    // indented to the end: its closer is missing at the end of the input, not near its opener.
    bool top_block_runs_to_end(std::size_t depth) const
    {
        return depth != 0 && stack_.size() == depth && stack_.top().body == block::indented &&
               stack_.top().dedent_line == 0;
    }

private:
    static constexpr std::int32_t no_entry = -1;

    struct mark {
        position at;
        hint_reason reason = hint_reason::none;
        position opener;
        char opener_byte = 0;
        bool set() const { return at.line != 0; }
        bool before(const mark &o) const { return !o.set() || (set() && at.line < o.at.line); }
    };

    enum class block : std::uint8_t { unknown, indented, flat };

    // What the hints know of each open entry, in step with the delimiter stack.
    struct entry {
        std::int64_t line, column;  // the opener
        std::int64_t dedent_line;   // a pending dedent inside its block; 0 when there is none
        std::int32_t dedent_column;
        std::int32_t indent;        // of the logical line that opened it
        std::int32_t phys_indent;   // of the physical line where the opener stands
        std::int32_t cmd_indent;    // of the command it belongs to, when that began on a line before
        std::int32_t earliest;      // the entry, this one or one below, with the earliest pending dedent
        char opener_byte;
        block body;
        bool in_bracket;            // a brace opened just inside a bracket on its line: `[expr {`
    };

    // A pending indent from nowhere: the line that opened nothing, and its indentation.
    struct indent_mark {
        mark m;
        std::int32_t indent;
    };

    void record_open_entries(const delim_stack &stack);
    void matched_across_lines(position at);
    void discard_top();
    mark dedent_of(const entry &e) const
    {
        return {{e.dedent_line, e.dedent_column}, hint_reason::dedent_without_close, {e.line, e.column}, e.opener_byte};
    }
    void stand(const mark &m);
    void quirk()
    {
        if (!placed())
            ++doubts_;
    }
    bool closer_first(position at) const { return at == line_first_ && line_closer_first_; }
    void judge_indents(bool proper);
    // A sign, and an oddity, while counting (see count_signs).
    void noticed(std::int64_t line);
    void odd(std::int64_t line);
    static constexpr std::size_t max_sign_lines = 16;

    chunked_stack<entry> stack_;
    std::vector<indent_mark> indents_;
    std::int32_t deepest_indent_ = -1; // the greatest indentation among indents_, -1 when empty
    mark standing_;
    std::int64_t in_place_ = 0; // blocks over several lines closed where their opener's line stands
    std::int64_t doubts_ = 0;   // quirks, and signs that could not stand
    // Code lines inside indented blocks deeper than their opener, before the first sign of all.
    std::int64_t nested_lines_ = 0;
    bool any_sign_ = false; // a sign of any kind came in this input, whatever became of it
    mark first_doubt_;      // the earliest sign that could not stand for want of trust
    void note_sign() { any_sign_ = true; }
    bool trusted() const;

    // The current physical line, and the logical line it belongs to.
    position line_first_;
    std::int32_t line_indent_ = 0;
    bool line_closer_first_ = false;
    // A brace that ran over lines closed inside this line (the condition of an `if`, the list
    // of a `foreach`): what opens after it on the line belongs to the command it began.
    std::int32_t command_indent_ = -1;
    std::int64_t last_content_line_ = 0; // the last line read that is not a comment
    std::int32_t logical_indent_ = 0;
    // The code line before the current one: where it began, its indentation, and whether it
    // left open something it opened.
    bool have_code_ = false;
    position code_first_;
    std::int32_t code_indent_ = 0;
    bool code_left_open_ = false;
    bool awaiting_judgement_ = false; // indents come back on this line, which begins with a closer
    bool counting_ = false;
    std::int64_t signs_ = 0;
    std::vector<std::int64_t> sign_lines_, oddity_lines_;
};

} // namespace delimcheck::checking
