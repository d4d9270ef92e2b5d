// The nesting machine: what the scanners' steps mean (the delimiter stack, the quote rules and
// the reports), for one input at a time. Both scanners are instantiated with a view of it in
// one mode (see scan/lexer.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "check/delim_stack.h"
#include "check/fault_hints.h"
#include "delimcheck/delimiters.h"
#include "delimcheck/diagnostic.h"
#include "delimcheck/options.h"
#include "delimcheck/sink.h"
#include "listing/listing.h"

namespace delimcheck::checking {

// What a scan does besides checking, fixed when its code is compiled: a run without the
// listing, the -e warning, the hints or a stop carries none of their tests per byte.
struct machine_mode {
    bool listing = false;
    bool warn = false;
    bool hints = false;
    bool stops = false; // the scan ends at the end of the line where the sink said stop
};

// Whether the hints are read. Either way a scan may end at the first fault, where its sink
// answers stop (with set_stops, at the end of that line): for the input to be read again from
// its start with them (most inputs have no fault, and then the hints cost nothing), or because
// a repair tried on it has failed.
enum class hint_mode : std::uint8_t { off, on };

// What a stop and a repair are about: the errors, and a string that ends before its time.
constexpr bool is_nesting_fault(diagnostic_kind kind)
{
    return severity_of(kind) == severity::error || kind == diagnostic_kind::extra_after_string;
}

class nesting_machine {
public:
    nesting_machine(const options &opts, sink &out) : opts_(opts), out_(&out), listing_(opts.listing) {}

    // Where the reports and the listing lines go from the next input on.
    void send_to(sink &out) { out_ = &out; }

    // Forgets the last input, whatever state it was left in.
    void begin_input();
    // The input ended at `end`: its last line is listed, then everything still open is
    // reported, innermost first, then the surviving listing records.
    void end_input(position end);

    bool in_string() const { return in_string_; }
    bool hash_lines() const { return opts_.hash_lines; }
    bool warns_backslash_blank() const { return opts_.warn_backslash_blank; }
    bool lists() const { return listing_.on(); }
    bool gives_hints() const { return hint_mode_ == hint_mode::on; }
    bool wants_lines() const { return hints_.reading(); }
    void set_hint_mode(hint_mode m) { hint_mode_ = m; }
    // With stops on, the scan ends at the end of the line where the sink answered stop, not
    // at its next read: for a sink that stops at the first nesting fault, before the input is
    // read again from its start with the hints, or when a repair tried has failed.
    void set_stops(bool on) { stops_ = on; }
    bool stops() const { return stops_; }
    // Whether the sink answered stop: nothing more of this input reaches it.
    bool ended() const { return ended_; }
    // The report the sink answered stop to, until the next input begins.
    const diagnostic &stopped_at() const { return diag_; }
    // The opener of the innermost string open at that report; line 0 if none was.
    position string_at_stop() const { return string_at_stop_; }
    // The signs of the indentation read to the end of the input (see fault_hints).
    void count_signs(bool on) { hints_.count_signs(on); }
    const fault_hints &hints() const { return hints_; }
    void line_begins(position first, std::int32_t indent, unsigned char first_byte, bool afresh)
    {
        hints_.line_begins(first, indent, first_byte, afresh, stack_);
    }
    void record_blanks(const char *p, std::size_t n) { listing_.record_blanks(p, n); }
    void end_of_line(std::int64_t line)
    {
        if (!ended_)
            listing_.end_of_line(line, *out_);
    }
    void backslash_blank(position at);

    // Parentheses count only inside something open that is not a bracket, and never in a hash
    // line; braces and brackets everywhere but in a hash line with nothing open.
    template <machine_mode Mode>
    [[gnu::always_inline]] void delimiter(unsigned char c, position at, bool in_hash_line)
    {
        switch (c) {
        case '(':
            if (paren_tracked(in_hash_line))
                push<Mode>(')', at);
            break;
        case ')':
            if (paren_tracked(in_hash_line))
                close<Mode>(')', at);
            break;
        case '{':
            if (!in_hash_line || !stack_.empty())
                push<Mode>('}', at);
            break;
        case '[':
            if (!in_hash_line || !stack_.empty())
                push<Mode>(']', at);
            in_string_ = false; // a bracket opens a command context, even inside a string
            break;
        default: // ']' or '}'
            if (!in_hash_line || !stack_.empty())
                close<Mode>(static_cast<char>(c), at);
            break;
        }
    }

    // A quote closes the open string, or opens one at the start of a word (anywhere with -t),
    // or is plain text in a word. prev is the byte before it; follower the byte after it, -1
    // at the end of the input.
    template <machine_mode Mode>
    [[gnu::always_inline]] void quote(position at, signed char prev, signed char follower, bool in_hash_line)
    {
        if (in_string_) {
            if (!in_hash_line && !accepted_follower(follower))
                extra_after_string(at);
            close<Mode>('"', at);
        } else if (opts_.any_quote_opens || is_c_space(prev) || prev == '(' || prev == '{' || prev == '[') {
            push<Mode>('"', at);
            in_string_ = true;
        }
    }

private:
    // What may stand right after a closing quote without a warning.
    static bool accepted_follower(signed char c)
    {
        return is_c_space(c) || c == ')' || c == ';' || c == '\\' || c == ']' || c == '}';
    }

    bool paren_tracked(bool in_hash_line) const
    {
        return !stack_.empty() && stack_.top_closer() != ']' && !in_hash_line;
    }

    template <machine_mode Mode> [[gnu::always_inline]] void push(char closer, position at)
    {
        stack_.push({at.line, at.column, closer, in_string_});
        if constexpr (Mode.listing)
            listing_.record(opener_of(closer));
    }

    // What a closer means against the stack: a match, or one of the reports.
    template <machine_mode Mode> [[gnu::always_inline]] void close(char c, position at)
    {
        if constexpr (Mode.listing)
            listing_.record(c);
        if (!stack_.empty() && stack_.top_closer() == c) {
            in_string_ = stack_.top().saved_in_string;
            stack_.pop();
            if constexpr (Mode.hints)
                hints_.matched(at, stack_.size());
            return;
        }
        mismatch(c, at);
    }

    void extra_after_string(position at);
    void note_string_at_stop();
    void mismatch(char c, position at);
    // Pops the top entry without a match: balancing, unwinding a string, the end of the input.
    void discard();
    void unwind_string(position at);
    void balance(char expected, char c, position at);
    // Every report goes through here. Its fields are set one by one in a value kept for the
    // purpose: building a fresh one for each of millions of reports costs more than the report.
    void emit(diagnostic_kind kind, position at, char got, char expected, const delim_entry *opener,
              char pair_closer = 0);

    const options opts_;
    sink *out_;
    delim_stack stack_;
    bool in_string_ = false;
    listing::listing listing_;
    fault_hints hints_;
    hint_mode hint_mode_ = hint_mode::off;
    bool stops_ = false, ended_ = false;
    position string_at_stop_;
    diagnostic diag_;
};

// The machine as the scanners see it (a scan::machine, see scan/lexer.h), in one mode.
template <machine_mode Mode> class machine_view {
public:
    explicit machine_view(nesting_machine &m) : m_(m) {}
    bool in_string() const { return m_.in_string(); }
    bool hash_lines() const { return m_.hash_lines(); }
    static constexpr bool warn_backslash_blank() { return Mode.warn; }
    static constexpr bool listing_on() { return Mode.listing; }
    static constexpr bool hints_on() { return Mode.hints; }
    static constexpr bool stops() { return Mode.stops; }
    bool stopped() const { return Mode.stops && m_.ended(); }
    void record_blanks(const char *p, std::size_t n)
    {
        if constexpr (Mode.listing)
            m_.record_blanks(p, n);
    }
    void end_of_line(std::int64_t line)
    {
        if constexpr (Mode.listing)
            if (!stopped())
                m_.end_of_line(line);
    }
    void line_begins(position first, std::int32_t indent, unsigned char first_byte, bool afresh)
    {
        if constexpr (Mode.hints)
            m_.line_begins(first, indent, first_byte, afresh);
    }
    bool wants_lines() const { return m_.wants_lines(); }
    void backslash_blank(position at) { m_.backslash_blank(at); }
    [[gnu::always_inline]] void delimiter(unsigned char c, position at, bool in_hash_line)
    {
        m_.delimiter<Mode>(c, at, in_hash_line);
    }
    [[gnu::always_inline]] void quote(position at, signed char prev, signed char follower, bool in_hash_line)
    {
        m_.quote<Mode>(at, prev, follower, in_hash_line);
    }

private:
    nesting_machine &m_;
};

} // namespace delimcheck::checking
