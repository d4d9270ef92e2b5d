#include "check/steps.h"

namespace delimcheck::checking {

void steps::begin_input()
{
    stack_.clear();
    in_string_ = false;
    listing_.clear();
}

void steps::end_input(position end)
{
    // A last line without a newline is listed as a newline would list it, so that nothing it
    // recorded leaks into the next input's listing.
    listing_.end_of_line(end.line, out_);
    while (!stack_.empty()) {
        const delim_entry &e = stack_.top();
        diagnostic d;
        d.kind = diagnostic_kind::missing_closer;
        d.at = end;
        d.expected = e.closer;
        report_opener(d, e);
        stack_.pop();
    }
    stack_.clear();
    listing_.end_of_input(out_);
}

void steps::report_opener(diagnostic d, const delim_entry &e)
{
    d.opener = {e.line, e.column};
    d.opener_byte = opener_of(e.closer);
    out_.report(d);
}

void steps::backslash_blank(position at)
{
    diagnostic d;
    d.kind = diagnostic_kind::backslash_blank;
    d.at = at;
    out_.report(d);
}

// What may stand right after a closing quote without a warning.
static bool accepted_follower(signed char c)
{
    return is_c_space(c) || c == ')' || c == ';' || c == '\\' || c == ']' || c == '}';
}

void steps::quote(position at, signed char prev, signed char follower, bool in_hash_line)
{
    if (in_string_) {
        if (!in_hash_line && !accepted_follower(follower)) {
            diagnostic d;
            d.kind = diagnostic_kind::extra_after_string;
            d.at = at;
            d.got = '"';
            out_.report(d);
        }
        close('"', at);
    } else if (opts_.any_quote_opens || is_c_space(prev) || prev == '(' || prev == '{' || prev == '[') {
        push('"', at);
        in_string_ = true;
    }
}

// The closer did not match the top of the stack, or the stack is empty.
void steps::mismatch(char c, position at)
{
    diagnostic d;
    d.at = at;
    d.got = c;
    if (stack_.empty()) {
        d.kind = diagnostic_kind::unmatched_closer;
        out_.report(d);
        return;
    }
    char expected = stack_.top_closer();
    if (in_string_) {
        if (c == '"') {
            unwind_string(at);
        } else if (opts_.report_in_string) {
            d.kind = diagnostic_kind::string_stray_closer;
            d.expected = expected;
            report_opener(d, stack_.top());
        }
        return;
    }
    if (!opts_.balancing) {
        d.kind = diagnostic_kind::wrong_closer;
        d.expected = expected;
        report_opener(d, stack_.top());
        return;
    }
    balance(expected, c, at);
}

// A closing quote discards what was opened inside its string and still waits, then the quote
// entry itself.
void steps::unwind_string(position at)
{
    while (!stack_.empty() && stack_.top_closer() != '"') {
        if (opts_.report_in_string) {
            diagnostic d;
            d.kind = diagnostic_kind::string_unclosed;
            d.at = at;
            d.got = opener_of(stack_.top_closer());
            report_opener(d, stack_.top());
        }
        stack_.pop();
    }
    if (!stack_.empty()) {
        in_string_ = stack_.top().saved_in_string;
        stack_.pop();
    }
}

// Discards the entries in the way until one of the closer's class turns up. A closer of a
// lower class than the one expected is reported and leaves the stack alone.
void steps::balance(char expected, char c, position at)
{
    char k = balancing_closer(c, expected);
    diagnostic d;
    d.at = at;
    d.got = c;
    d.expected = expected;
    for (;;) {
        if (stack_.top_closer() == k) {
            if (k == c) {
                stack_.pop();
            } else {
                d.kind = diagnostic_kind::wrong_closer;
                report_opener(d, stack_.top());
            }
            return;
        }
        d.kind = diagnostic_kind::balanced_closer;
        d.pair_opener = opener_of(k);
        d.pair_closer = k;
        report_opener(d, stack_.top());
        stack_.pop();
        if (stack_.empty())
            return;
    }
}

} // namespace delimcheck::checking
