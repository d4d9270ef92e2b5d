#include "check/fault_hints.h"

#include <algorithm>

namespace delimcheck::checking {

namespace {

constexpr std::size_t max_pending_indents = 64;
constexpr std::int64_t small_input_lines = 40;

// A closer stands in place at its opener's indentation, give or take a column: a brace out by
// one is a slip of the hand, a lost or stray brace moves the lines a whole level.
bool same_level(std::int32_t a, std::int32_t b) { return a - b <= 1 && b - a <= 1; }

} // namespace

void fault_hints::begin_input()
{
    stack_.clear();
    indents_.clear();
    deepest_indent_ = -1;
    standing_ = {};
    in_place_ = doubts_ = nested_lines_ = 0;
    first_doubt_ = {};
    any_sign_ = false;
    line_first_ = {};
    line_indent_ = 0;
    line_closer_first_ = false;
    command_indent_ = -1;
    last_content_line_ = 0;
    logical_indent_ = 0;
    have_code_ = false;
    code_first_ = {};
    code_indent_ = 0;
    code_left_open_ = false;
    awaiting_judgement_ = false;
    signs_ = 0;
    sign_lines_.clear();
    oddity_lines_.clear();
}

void fault_hints::noticed(std::int64_t line)
{
    if (!counting_)
        return;
    ++signs_;
    if (sign_lines_.size() < max_sign_lines)
        sign_lines_.push_back(line);
}

void fault_hints::odd(std::int64_t line)
{
    if (!counting_)
        return;
    ++signs_;
    if (oddity_lines_.size() == max_sign_lines)
        oddity_lines_.erase(oddity_lines_.begin());
    oddity_lines_.push_back(line);
}

// The entries opened since the last line began and still open: opened on the line before, whose
// indentation is still at hand.
void fault_hints::record_open_entries(const delim_stack &stack)
{
    for (std::size_t i = stack_.size(); i < stack.size(); ++i) {
        const delim_entry &d = stack[i];
        std::int32_t below = stack_.empty() ? no_entry : stack_.top().earliest;
        entry &e = stack_.push();
        e.line = d.line;
        e.column = d.column;
        e.dedent_line = 0;
        e.indent = logical_indent_;
        e.phys_indent = line_indent_;
        e.cmd_indent = command_indent_ >= 0 ? command_indent_ : logical_indent_;
        e.earliest = below;
        e.opener_byte = opener_of(d.closer);
        e.body = block::unknown;
        e.in_bracket = i > 0 && stack[i - 1].closer == ']' && stack[i - 1].line == d.line;
        code_left_open_ = true;
    }
}

void fault_hints::stand(const mark &m)
{
    note_sign();
    if (placed()) {
        if (m.before(standing_))
            standing_ = m;
        return;
    }
    if (trusted()) {
        standing_ = m;
        return;
    }
    if (m.before(first_doubt_))
        first_doubt_ = m;
    ++doubts_;
}

// The indentation has earned trust when blocks were closed in place and the doubts are few
// beside them, or when, with no doubt at all, enough lines sat nested in their blocks before the
// first sign of a fault: a script indented at random seldom gets that far.
bool fault_hints::trusted() const
{
    return in_place_ >= 1 + 2 * doubts_ || (doubts_ == 0 && nested_lines_ >= 8);
}

// The indentation came back to or left of lines that opened nothing before deeper ones: if the
// line that came back is in place, those deeper lines were harmless; if not, a brace was lost.
void fault_hints::judge_indents(bool proper)
{
    auto back = std::remove_if(indents_.begin(), indents_.end(), [&](const indent_mark &i) {
        if (line_indent_ > i.indent)
            return false;
        if (proper)
            quirk();
        else
            stand(i.m);
        return true;
    });
    indents_.erase(back, indents_.end());
    deepest_indent_ = -1;
    for (const indent_mark &i : indents_)
        deepest_indent_ = std::max(deepest_indent_, i.indent);
}

void fault_hints::line_begins(position first, std::int32_t indent, unsigned char first_byte, bool afresh,
                              const delim_stack &stack)
{
    // A carriage return first is the ending of a blank line of a file with CRLF endings: a
    // line with nothing on it, not a code line at indentation 0.
    if (!reading() || first_byte == '\r')
        return;
    record_open_entries(stack);
    const std::size_t depth = stack.size();
    const char top_closer = depth > 0 ? stack.top_closer() : 0;
    line_first_ = first;
    line_indent_ = indent;
    line_closer_first_ = first_byte == '}';
    command_indent_ = -1;
    awaiting_judgement_ = false;
    std::int64_t content_before = last_content_line_;
    if (first_byte != '#' || !afresh)
        last_content_line_ = first.line;
    if (!afresh)
        return; // a continuation, or a line inside a string: the logical line goes on
    logical_indent_ = indent;
    // Comment lines are indented as their writers liked, and the lines of a bracket or a
    // parenthesis that runs over lines are aligned, not nested.
    if (first_byte == '#' || (depth > 0 && top_closer != '}'))
        return;

    bool previous_left_open = have_code_ && code_left_open_;
    if (indent <= deepest_indent_) {
        if (line_closer_first_)
            awaiting_judgement_ = true; // its closer says whether it stands in place
        else
            judge_indents(true);
    }

    if (depth > 0 && !stack_.empty()) {
        entry &e = stack_.top();
        std::int32_t level = std::min(e.indent, e.phys_indent);
        if (e.line < first.line && !line_closer_first_) {
            if (e.body == block::unknown) {
                e.body = indent > level ? block::indented : block::flat;
                if (e.body == block::flat && e.opener_byte == '{')
                    odd(e.line);
            } else if (e.body == block::indented && indent > level && !any_sign_) {
                ++nested_lines_;
            }
            if (e.body == block::indented && indent <= level && e.dedent_line == 0) {
                // The closer went missing right after the block's last line, at its opener's level.
                note_sign();
                e.dedent_line = std::min(content_before + 1, first.line);
                noticed(e.dedent_line);
                e.dedent_column = level + 1;
                auto self = static_cast<std::int32_t>(stack_.size() - 1);
                if (e.earliest == no_entry || e.dedent_line < stack_[static_cast<std::size_t>(e.earliest)].dedent_line)
                    e.earliest = self;
            }
        }
    }

    if (have_code_ && !line_closer_first_ && indent > code_indent_ && !previous_left_open &&
        indents_.size() < max_pending_indents)
    {
        note_sign();
        noticed(code_first_.line);
        indents_.push_back({{code_first_, hint_reason::indent_without_open, {}, 0}, code_indent_});
        deepest_indent_ = std::max(deepest_indent_, code_indent_);
    }

    have_code_ = true;
    code_first_ = first;
    code_indent_ = indent;
    code_left_open_ = false;
}

void fault_hints::matched_across_lines(position at)
{
    const entry e = stack_.top();
    stack_.pop();
    // Closed in the middle of a line, or an expression's brace closed where it was aligned:
    // nothing to say either way.
    if (!closer_first(at) || e.in_bracket) {
        if (!e.in_bracket && e.opener_byte == '{')
            odd(at.line);
        if (e.dedent_line != 0)
            quirk();
        if (e.opener_byte == '{')
            command_indent_ = e.cmd_indent;
        return;
    }
    bool in_place = same_level(line_indent_, e.indent) || same_level(line_indent_, e.phys_indent) ||
                    same_level(line_indent_, e.cmd_indent);
    if (in_place) {
        ++in_place_;
        if (e.dedent_line != 0)
            quirk();
    } else {
        noticed(at.line);
        stand({at, hint_reason::closer_indentation, {e.line, e.column}, e.opener_byte});
        if (e.dedent_line != 0)
            stand(dedent_of(e));
    }
    if (awaiting_judgement_) {
        judge_indents(in_place);
        awaiting_judgement_ = false;
    }
}

void fault_hints::discard_top()
{
    if (stack_.top().dedent_line != 0)
        stand(dedent_of(stack_.top())); // never closed: its dedent was where its closer went missing
    stack_.pop();
}

void fault_hints::unmatched(position at)
{
    if (awaiting_judgement_ && closer_first(at)) {
        judge_indents(false);
        awaiting_judgement_ = false;
    }
}

// A short script has had no room to earn trust, and is on one screen anyway: it gets the
// earliest sign, trusted or not.
hint fault_hints::likely(position at) const
{
    mark best = standing_;
    bool small = at.line <= small_input_lines;
    if (!best.set()) {
        if (!stack_.empty() && stack_.top().earliest != no_entry)
            best = dedent_of(stack_[static_cast<std::size_t>(stack_.top().earliest)]);
        for (const indent_mark &i : indents_)
            if (i.m.before(best))
                best = i.m;
        if (small && first_doubt_.before(best))
            best = first_doubt_;
    }
    if (!best.set() || best.at.line == at.line || (!placed() && !trusted() && !small))
        return {};
    return {best.at, best.reason, best.opener, best.opener_byte};
}

} // namespace delimcheck::checking
