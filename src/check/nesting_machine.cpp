#include "check/nesting_machine.h"

namespace delimcheck::checking {

void nesting_machine::begin_input()
{
    stack_.clear();
    in_string_ = false;
    ended_ = false;
    string_at_stop_ = {};
    listing_.clear();
    if (gives_hints())
        hints_.begin_input();
}

void nesting_machine::discard()
{
    stack_.pop();
    if (gives_hints())
        hints_.discarded(stack_.size());
}

void nesting_machine::end_input(position end)
{
    // A last line without a newline is listed as a newline would list it, so that nothing it
    // recorded leaks into the next input's listing.
    listing_.end_of_line(end.line, *out_);
    while (!stack_.empty()) {
        emit(diagnostic_kind::missing_closer, end, 0, stack_.top_closer(), &stack_.top());
        discard();
    }
    stack_.clear();
    if (!ended_)
        listing_.end_of_input(*out_);
}

void nesting_machine::emit(diagnostic_kind kind, position at, char got, char expected,
                           const delim_entry *opener, char pair_closer)
{
    if (ended_)
        return;
    diagnostic &d = diag_;
    d.kind = kind;
    d.at = at;
    d.got = got;
    d.expected = expected;
    d.pair_opener = pair_closer != 0 ? opener_of(pair_closer) : 0;
    d.pair_closer = pair_closer;
    d.opener = opener != nullptr ? position{opener->line, opener->column} : position{};
    d.opener_byte = opener != nullptr ? opener_of(opener->closer) : 0;
    d.likely = {};
    bool error = severity_of(kind) == severity::error;
    if (gives_hints() && error) {
        // A string left open is a quote's fault, which the indentation knows nothing of; what
        // is never closed is, failing all else, best looked for at its opener.
        bool missing = kind == diagnostic_kind::missing_closer;
        if (!(missing && expected == '"'))
            d.likely = hints_.likely(at);
        if (missing && d.likely.at.line == 0 && d.opener.line != at.line && !hints_.top_block_runs_to_end(stack_.size()))
            d.likely = {d.opener, hint_reason::never_closed, d.opener, d.opener_byte};
    }
    ended_ = out_->report(d) == sink_answer::stop;
    if (ended_)
        note_string_at_stop();
}

// Keeps where the innermost open string began: a string that runs on past its end lost its
// closing quote there, mostly, and the repair looks there too.
void nesting_machine::note_string_at_stop()
{
    string_at_stop_ = {};
    for (std::size_t i = stack_.size(); i-- > 0;) {
        if (stack_[i].closer == '"') {
            string_at_stop_ = {stack_[i].line, stack_[i].column};
            break;
        }
    }
}

void nesting_machine::backslash_blank(position at)
{
    emit(diagnostic_kind::backslash_blank, at, 0, 0, nullptr);
}

void nesting_machine::extra_after_string(position at)
{
    emit(diagnostic_kind::extra_after_string, at, '"', 0, nullptr);
}

// The closer did not match the top of the stack, or the stack is empty.
void nesting_machine::mismatch(char c, position at)
{
    if (stack_.empty()) {
        emit(diagnostic_kind::unmatched_closer, at, c, 0, nullptr);
        if (gives_hints())
            hints_.unmatched(at);
        return;
    }
    char expected = stack_.top_closer();
    if (in_string_) {
        if (c == '"')
            unwind_string(at);
        else if (opts_.report_in_string)
            emit(diagnostic_kind::string_stray_closer, at, c, expected, &stack_.top());
        return;
    }
    if (!opts_.balancing) {
        emit(diagnostic_kind::wrong_closer, at, c, expected, &stack_.top());
        return;
    }
    balance(expected, c, at);
}

// A closing quote discards what was opened inside its string and still waits, then the quote
// entry itself.
void nesting_machine::unwind_string(position at)
{
    while (!stack_.empty() && stack_.top_closer() != '"') {
        if (opts_.report_in_string)
            emit(diagnostic_kind::string_unclosed, at, opener_of(stack_.top_closer()), 0, &stack_.top());
        discard();
    }
    if (!stack_.empty()) {
        in_string_ = stack_.top().saved_in_string;
        stack_.pop();
        if (gives_hints())
            hints_.matched(at, stack_.size());
    }
}

// Discards the entries in the way until one of the closer's class turns up. A closer of a
// lower class than the one expected is reported and leaves the stack alone.
void nesting_machine::balance(char expected, char c, position at)
{
    char k = balancing_closer(c, expected);
    for (;;) {
        if (stack_.top_closer() == k) {
            if (k == c) {
                stack_.pop();
                if (gives_hints())
                    hints_.matched(at, stack_.size());
            } else {
                emit(diagnostic_kind::wrong_closer, at, c, expected, &stack_.top());
            }
            return;
        }
        emit(diagnostic_kind::balanced_closer, at, c, expected, &stack_.top(), k);
        discard();
        if (stack_.empty())
            return;
    }
}

} // namespace delimcheck::checking
