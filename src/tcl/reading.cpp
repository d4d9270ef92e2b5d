#include "tcl/reading.h"

#include <algorithm>
#include <utility>

namespace delimcheck::tcl {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

bool is_name_byte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// A command's word as far as telling its shape goes.
struct word_info {
    std::size_t begin = 0, end = 0; // the whole word, braces or quotes included
    bool braced = false;            // {...}: its value is the bytes between the braces
    bool plain = false;             // no substitution at all: its value is its bytes
};

// Commands with more words than this are not looked into for bodies.
constexpr std::size_t max_words = 64;

// Whose class definition a script is: its commands are read for the bodies that system runs.
enum class definition_kind : std::uint8_t { none, tcloo, snit, itcl };

struct range {
    std::size_t begin = 0, end = 0;
    std::size_t depth = 0;   // how many bodies it stands in
    definition_kind definition = definition_kind::none; // a class's definition script, and whose
};

// Bodies deeper than this are not read: each body's bytes are read once more for each body it
// stands in, and this bounds the work on any input to a multiple of its size.
constexpr std::size_t max_body_depth = 48;

// The roles of the probed bytes, overwritten range by range: a script's range is marked code
// before its comments and braced words are marked, and a body after the script it stands in.
class role_marks {
public:
    explicit role_marks(std::span<const std::size_t> probes) : roles_(probes.size(), byte_role::literal)
    {
        order_.reserve(probes.size());
        for (std::size_t i = 0; i < probes.size(); ++i)
            order_.emplace_back(probes[i], i);
        std::sort(order_.begin(), order_.end());
    }

    void mark(std::size_t begin, std::size_t end, byte_role role)
    {
        if (order_.empty() || begin >= end)
            return;
        auto it = std::lower_bound(order_.begin(), order_.end(), std::pair<std::size_t, std::size_t>{begin, 0});
        for (; it != order_.end() && it->first < end; ++it)
            roles_[it->second] = role;
    }

    std::vector<byte_role> take() { return std::move(roles_); }

private:
    std::vector<std::pair<std::size_t, std::size_t>> order_; // offset, index of the probe
    std::vector<byte_role> roles_;
};

// One script of the text, read with an explicit stack of what is open in it: command
// substitutions, quoted and bare words, array indices.
class script_reader {
public:
    script_reader(std::string_view text, range r, role_marks *marks, std::vector<range> *bodies)
        : text_(text), p_(r.begin), end_(r.end), depth_(r.depth), definition_(r.definition), marks_(marks),
          bodies_(bodies)
    {
    }

    reading_break run();
    // Whether the script ends in a backslash-newline where a blank may stand: `info complete`
    // then waits for more.
    bool trailing_continuation() const { return trailing_; }
    // Where the first command stands that Tcl reads but refuses to run (see reading), or npos.
    std::size_t misshapen() const { return misshapen_; }

private:
    enum class kind : std::uint8_t { script, bare, quoted, index };
    struct frame {
        kind k = kind::script;
        std::size_t open = 0;      // the [, the quote, the ( or where a bare word begins
        bool bracket = false;      // a script that a ] ends
        bool lines = false;        // a script that a ] ends, with a command ended by a newline
        bool command_start = true; // a script: what comes next begins a command
        bool expanded = false;     // a script: a word of the command has {*}
        bool plain = true;         // a word: no substitution in it so far
        std::size_t words = 0;     // a script: the words of the command so far
        std::vector<word_info> kept; // a script: the first max_words of them
    };

    bool step_script(std::size_t top, reading_break &out);
    bool step_word(std::size_t top, reading_break &out);
    bool step_index(reading_break &out);
    bool dollar(reading_break &out);
    bool ends_word(std::size_t at, bool bracket) const;
    // Past a backslash-newline at p_ and the blanks after it.
    void skip_continuation();
    // Past a backslash sequence at p_ other than a backslash-newline.
    void skip_escape() { p_ = std::min(p_ + 2, end_); }
    bool continuation_at(std::size_t at) const { return text_[at] == '\\' && at + 1 < end_ && text_[at + 1] == '\n'; }
    void add_word(std::size_t top, word_info w);
    void end_command(frame &f);
    bool switch_bodies(range list, std::vector<range> &found);
    void mark(std::size_t begin, std::size_t end, byte_role role)
    {
        if (marks_ != nullptr)
            marks_->mark(begin, end, role);
    }
    static reading_break fail(break_kind k, std::size_t opener, std::size_t at) { return {k, opener, at}; }

    std::string_view text_;
    std::size_t p_, end_, depth_;
    definition_kind definition_;
    role_marks *marks_;
    std::vector<range> *bodies_;
    std::vector<frame> stack_;
    bool trailing_ = false;
    std::size_t misshapen_ = std::string_view::npos;
};

void script_reader::skip_continuation()
{
    p_ += 2;
    if (p_ == end_)
        trailing_ = true;
    while (p_ < end_ && (text_[p_] == ' ' || text_[p_] == '\t'))
        ++p_;
}

bool script_reader::ends_word(std::size_t at, bool bracket) const
{
    if (at == end_)
        return true;
    char c = text_[at];
    return is_blank(c) || c == '\n' || c == ';' || (bracket && c == ']') || continuation_at(at);
}

reading_break script_reader::run()
{
    stack_.push_back(frame{});
    reading_break out;
    for (;;) {
        std::size_t top = stack_.size() - 1;
        bool go_on = false;
        switch (stack_[top].k) {
        case kind::script:
            go_on = step_script(top, out);
            break;
        case kind::bare:
        case kind::quoted:
            go_on = step_word(top, out);
            break;
        case kind::index:
            go_on = step_index(out);
            break;
        }
        if (!go_on)
            return out;
    }
}

// Reads from p_ in a script up to a word that opens a frame, the end of a command
// substitution, or the end; false when reading is over (out says how).
bool script_reader::step_script(std::size_t top, reading_break &out)
{
    for (;;) {
        frame &f = stack_[top];
        if (f.command_start) {
            while (p_ < end_) {
                char c = text_[p_];
                if (is_blank(c) || c == '\n' || c == ';')
                    ++p_;
                else if (continuation_at(p_))
                    skip_continuation();
                else
                    break;
            }
            if (p_ < end_ && text_[p_] == '#') {
                std::size_t start = p_;
                while (p_ < end_) {
                    if (continuation_at(p_))
                        skip_continuation();
                    else if (text_[p_] == '\\')
                        skip_escape();
                    else if (text_[p_++] == '\n')
                        break;
                }
                mark(start, p_, byte_role::comment);
                continue;
            }
            f.command_start = false;
            f.expanded = false;
            f.words = 0;
            f.kept.clear();
        }
        while (p_ < end_ && (is_blank(text_[p_]) || continuation_at(p_))) {
            if (is_blank(text_[p_]))
                ++p_;
            else
                skip_continuation();
        }
        if (p_ == end_) {
            end_command(f);
            if (f.bracket)
                out = fail(break_kind::missing_close_bracket, f.open, end_);
            return false;
        }
        char c = text_[p_];
        if (c == '\n' || c == ';' || (c == ']' && f.bracket)) {
            end_command(f);
            f.command_start = true;
            ++p_;
            f.lines = f.lines || (c == '\n' && f.bracket);
            if (c == ']') {
                // Commands over lines in brackets are rare, and where a newline ends one there
                // is easily misread: none of it is taken for code that an edit may touch.
                if (f.lines)
                    mark(f.open, p_, byte_role::literal);
                stack_.pop_back();
                return true;
            }
            continue;
        }
        // A word begins; {*} before a word that follows at once expands it.
        bool expand = false;
        if (c == '{' && end_ - p_ > 3 && text_.substr(p_, 3) == "{*}" && !ends_word(p_ + 3, f.bracket)) {
            expand = true;
            f.expanded = true;
            p_ += 3;
            c = text_[p_];
        }
        if (c == '{') {
            std::size_t open = p_, depth = 1;
            std::size_t q = p_ + 1;
            for (; q < end_; ++q) {
                char b = text_[q];
                if (b == '\\')
                    ++q; // the escaped byte, a newline too, neither opens nor closes
                else if (b == '{')
                    ++depth;
                else if (b == '}' && --depth == 0)
                    break;
            }
            if (q >= end_) {
                out = fail(break_kind::missing_close_brace, open, end_);
                return false;
            }
            mark(open + 1, q, byte_role::literal);
            p_ = q + 1;
            add_word(top, {open, p_, !expand, false});
            if (!ends_word(p_, f.bracket)) {
                out = fail(break_kind::extra_after_brace, open, p_);
                return false;
            }
            continue;
        }
        frame w;
        w.k = c == '"' ? kind::quoted : kind::bare;
        w.open = p_;
        w.plain = !expand;
        if (c == '"')
            ++p_;
        stack_.push_back(std::move(w));
        return true;
    }
}

// Reads a bare or quoted word on from p_, up to its end, a frame it opens, or a break.
bool script_reader::step_word(std::size_t top, reading_break &out)
{
    bool quoted = stack_[top].k == kind::quoted;
    bool bracket = stack_[top - 1].bracket;
    for (;;) {
        if (p_ == end_ && quoted) {
            out = fail(break_kind::missing_quote, stack_[top].open, end_);
            return false;
        }
        char c = p_ < end_ ? text_[p_] : '\n';
        bool done = quoted ? c == '"' : ends_word(p_, bracket);
        if (done) {
            std::size_t open = stack_[top].open;
            bool plain = stack_[top].plain;
            if (quoted)
                ++p_;
            stack_.pop_back();
            add_word(top - 1, {open, p_, false, plain && !quoted});
            if (quoted && !ends_word(p_, bracket)) {
                out = fail(break_kind::extra_after_quote, open, p_);
                return false;
            }
            return true;
        }
        if (c == '\\') {
            stack_[top].plain = false;
            if (continuation_at(p_))
                skip_continuation(); // only in a quoted word: in a bare one it ends the word
            else
                skip_escape();
        } else if (c == '[') {
            stack_[top].plain = false;
            frame s;
            s.open = p_++;
            s.bracket = true;
            stack_.push_back(std::move(s));
            return true;
        } else if (c == '$') {
            stack_[top].plain = false;
            std::size_t depth = stack_.size();
            if (!dollar(out))
                return false;
            if (stack_.size() != depth)
                return true;
        } else {
            ++p_;
        }
    }
}

// A variable at p_: $name, $name(index), ${name}, or a lone $. An index opens a frame.
bool script_reader::dollar(reading_break &out)
{
    std::size_t at = p_, q = p_ + 1;
    if (q < end_ && text_[q] == '{') {
        std::size_t close = text_.find('}', q + 1);
        if (close == std::string_view::npos || close >= end_) {
            out = fail(break_kind::missing_variable_brace, at, end_);
            return false;
        }
        p_ = close + 1;
        return true;
    }
    while (q < end_) {
        if (is_name_byte(text_[q])) {
            ++q;
        } else if (text_[q] == ':' && q + 1 < end_ && text_[q + 1] == ':') {
            q += 2;
            while (q < end_ && text_[q] == ':')
                ++q;
        } else {
            break;
        }
    }
    if (q < end_ && text_[q] == '(') { // an empty name with an index is an array too
        frame f;
        f.k = kind::index;
        f.open = q;
        stack_.push_back(std::move(f));
        p_ = q + 1;
        return true;
    }
    p_ = q;
    return true;
}

// An array index runs to its ), blanks and quotes and command ends included.
bool script_reader::step_index(reading_break &out)
{
    for (;;) {
        if (p_ == end_) {
            out = fail(break_kind::missing_paren, stack_.back().open, end_);
            return false;
        }
        char c = text_[p_];
        if (c == ')') {
            ++p_;
            stack_.pop_back();
            return true;
        }
        if (c == '\\') {
            if (continuation_at(p_))
                skip_continuation();
            else
                skip_escape();
        } else if (c == '[') {
            frame s;
            s.open = p_++;
            s.bracket = true;
            stack_.push_back(std::move(s));
            return true;
        } else if (c == '$') {
            std::size_t depth = stack_.size();
            if (!dollar(out))
                return false;
            if (stack_.size() != depth)
                return true;
        } else {
            ++p_;
        }
    }
}

void script_reader::add_word(std::size_t top, word_info w)
{
    frame &f = stack_[top];
    if (f.words++ < max_words)
        f.kept.push_back(w);
}

// The braced bodies of a command that runs them as scripts, as listed in the header.
void script_reader::end_command(frame &f)
{
    auto refuse = [&] { misshapen_ = std::min(misshapen_, f.kept[0].begin); };
    // A command named by a braced word that is empty or holds a blank: no command is named so,
    // but by a deliberate act that scripts do not make.
    if (bodies_ != nullptr && !f.expanded && !f.kept.empty() && f.kept[0].braced) {
        std::string_view named = text_.substr(f.kept[0].begin + 1, f.kept[0].end - f.kept[0].begin - 2);
        if (named.empty() || named.find_first_of(" \t\n") != std::string_view::npos)
            refuse();
    }
    if (bodies_ == nullptr || depth_ >= max_body_depth || f.expanded || f.words > max_words || f.kept.empty() ||
        !f.kept[0].plain)
        return;
    const std::vector<word_info> &w = f.kept;
    std::size_t n = w.size();
    std::string_view name = text_.substr(w[0].begin, w[0].end - w[0].begin);
    if (name.starts_with("::"))
        name.remove_prefix(2);
    auto value = [&](std::size_t i) -> std::string_view {
        if (w[i].braced)
            return text_.substr(w[i].begin + 1, w[i].end - w[i].begin - 2);
        if (w[i].plain)
            return text_.substr(w[i].begin, w[i].end - w[i].begin);
        return "\x01"; // matches no keyword
    };
    std::vector<range> found;
    auto body = [&](std::size_t i, definition_kind definition = definition_kind::none) {
        if (i < n && w[i].braced)
            found.push_back({w[i].begin + 1, w[i].end - 1, depth_ + 1, definition});
    };
    // A braced expression that the command evaluates, or a procedure's list of arguments that
    // it reads, on one line: code, though not read as a script. Over lines an expression stays
    // data, since a newline in its brackets ends a command there, which this reading does not
    // follow.
    std::vector<std::size_t> expressions;
    auto expression = [&](std::size_t i) {
        if (i < n && w[i].braced && text_.substr(w[i].begin, w[i].end - w[i].begin).find('\n') == std::string_view::npos)
            expressions.push_back(i);
    };
    auto arguments = expression;
    // A command of a class's definition, its words from `at` on: the bodies that become
    // methods and procedures. [incr Tcl] lets a protection level stand before the command.
    auto definition_bodies = [&](std::size_t at, definition_kind kind) {
        std::string_view what = at < n ? value(at) : "";
        if (kind == definition_kind::itcl && (what == "public" || what == "protected" || what == "private"))
            what = ++at < n ? value(at) : "";
        std::size_t m = n - std::min(at, n); // the words of the definition command
        bool named_body = what == "method" || (kind != definition_kind::tcloo && what == "proc") ||
                          (kind == definition_kind::snit && (what == "typemethod" || what == "onconfigure"));
        if (named_body && m == 4) {
            arguments(at + 2);
            body(at + 3);
        } else if (what == "constructor" && (m == 3 || (kind == definition_kind::itcl && m == 4))) {
            arguments(at + 1);
            body(at + m - 1); // [incr Tcl]'s may have an initialisation before its body
        }
        else if ((what == "destructor" || (kind == definition_kind::snit && what == "typeconstructor")) && m == 2)
            body(at + 1);
        else if (kind == definition_kind::snit && what == "oncget" && m == 3)
            body(at + 2);
    };
    if (definition_ != definition_kind::none) {
        definition_bodies(0, definition_);
    } else if ((name == "oo::define" || name == "oo::objdefine") && n >= 3) {
        if (n == 3)
            body(2, definition_kind::tcloo);
        else
            definition_bodies(2, definition_kind::tcloo);
    } else if (name == "oo::class" && n == 4 && value(1) == "create") {
        body(3, definition_kind::tcloo);
    } else if ((name == "snit::type" || name == "snit::widget" || name == "snit::widgetadaptor") && n == 3) {
        body(2, definition_kind::snit);
    } else if (name == "itcl::class" && n == 3) {
        body(2, definition_kind::itcl);
    } else if ((name == "snit::method" || name == "snit::typemethod") && n == 5) {
        arguments(3);
        body(4);
    } else if ((name == "snit::macro" || name == "itcl::body") && n == 4) {
        arguments(2);
        body(3);
    } else if (name == "itcl::configbody" && n == 3) {
        body(2);
    } else if (name == "proc") {
        if (n != 4)
            return refuse();
        arguments(2);
        body(3);
    } else if (name == "dict" && n == 5 && (value(1) == "for" || value(1) == "map")) {
        body(4);
    } else if (name == "dict" && n >= 4 && value(1) == "with") {
        body(n - 1);
    } else if (name == "dict" && n >= 6 && n % 2 == 0 && value(1) == "update") {
        body(n - 1);
    } else if (name == "namespace" && n >= 2 && value(1) == "eval") {
        if (n < 4)
            return refuse();
        if (n == 4)
            body(3);
    } else if (name == "catch" && n >= 2 && n <= 4) {
        body(1);
    } else if (name == "eval" && n == 2) {
        body(1);
    } else if (name == "time" && (n == 2 || n == 3)) {
        body(1);
    } else if (name == "uplevel" && (n == 2 || n == 3)) {
        std::string_view level = n == 3 ? value(1) : "1";
        if (level.starts_with('#'))
            level.remove_prefix(1);
        if (!level.empty() && level.find_first_not_of("0123456789") == std::string_view::npos)
            body(n - 1);
    } else if (name == "while") {
        if (n != 3)
            return refuse();
        expression(1);
        body(2);
    } else if (name == "for") {
        if (n != 5)
            return refuse();
        expression(2);
        body(1);
        body(3);
        body(4);
    } else if (name == "foreach" || name == "lmap") {
        if (n < 4 || n % 2 != 0)
            return refuse();
        body(n - 1);
    } else if (name == "if") {
        std::size_t i = 1;
        for (;;) {
            expression(i);
            if (++i >= n) // past the condition: no body
                return refuse();
            if (value(i) == "then" && ++i >= n)
                return refuse();
            body(i);
            if (++i == n)
                break;
            if (value(i) == "elseif") {
                ++i; // at its condition
                continue;
            }
            if (value(i) == "else")
                ++i;
            if (i + 1 != n) // no else body, or words after it
                return refuse();
            body(i);
            break;
        }
    } else if (name == "expr" && n == 2) {
        expression(1);
    } else if (name == "try" && n >= 2) {
        body(1);
        for (std::size_t i = 2; i < n;) {
            if ((value(i) == "on" || value(i) == "trap") && i + 3 < n) {
                body(i + 3);
                i += 4;
            } else if (value(i) == "finally" && i + 2 == n) {
                body(i + 1);
                i += 2;
            } else {
                return;
            }
        }
    } else if (name == "switch" && n >= 3) {
        std::size_t i = 1;
        for (; i < n && value(i).starts_with('-'); ++i) {
            std::string_view option = value(i);
            if (option == "--") {
                ++i;
                break;
            }
            if (option == "-matchvar" || option == "-indexvar")
                ++i;
            else if (option != "-exact" && option != "-glob" && option != "-regexp" && option != "-nocase")
                return;
        }
        std::size_t rest = i < n ? n - i - 1 : 0; // the words after the string
        if (rest == 1 && w[i + 1].braced) {
            if (!switch_bodies({w[i + 1].begin + 1, w[i + 1].end - 1, depth_ + 1}, found))
                return;
        } else if (rest >= 2 && rest % 2 == 0) {
            for (std::size_t k = i + 2; k < n; k += 2)
                body(k);
        }
    }
    bodies_->insert(bodies_->end(), found.begin(), found.end());
    for (std::size_t i : expressions)
        mark(w[i].begin + 1, w[i].end - 1, byte_role::code);
}

// The bodies of switch's list of patterns and bodies, split as Tcl splits a list: each body
// that is a braced element. False when the list is not one Tcl can split into pairs.
bool script_reader::switch_bodies(range list, std::vector<range> &found)
{
    auto is_space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; };
    struct element {
        std::size_t begin, end; // the whole element, its braces or quotes included
        bool braced;
    };
    std::vector<element> elements;
    std::size_t p = list.begin, e = list.end;
    for (;;) {
        while (p < e && is_space(text_[p]))
            ++p;
        if (p >= e)
            break;
        std::size_t q = p;
        if (text_[p] == '{' || text_[p] == '"') {
            std::size_t depth = 1;
            for (q = p + 1; q < e; ++q) {
                char c = text_[q];
                if (c == '\\')
                    ++q;
                else if (text_[p] == '"' ? c == '"' : c == '}' && --depth == 0)
                    break;
                else if (c == '{' && text_[p] == '{')
                    ++depth;
            }
            if (q >= e || (q + 1 < e && !is_space(text_[q + 1])))
                return false; // unclosed, or followed by more than a blank
            elements.push_back({p, q + 1, text_[p] == '{'});
            p = q + 1;
        } else {
            while (q < e && !is_space(text_[q]))
                q += text_[q] == '\\' ? 2 : 1;
            elements.push_back({p, std::min(q, e), false});
            p = q;
        }
    }
    if (elements.size() % 2 != 0)
        return false;
    // The list is the command's own structure, read by switch: its blanks and the braces of its
    // bodies are code, its patterns data.
    mark(list.begin, list.end, byte_role::code);
    for (std::size_t k = 0; k < elements.size(); ++k) {
        const element &x = elements[k];
        if (k % 2 == 1 && x.braced)
            found.push_back({x.begin + 1, x.end - 1, list.depth});
        else
            mark(x.begin, x.end, byte_role::literal);
    }
    return true;
}

} // namespace

std::string_view break_message(break_kind kind)
{
    switch (kind) {
    case break_kind::none:
        return "";
    case break_kind::missing_close_brace:
        return "missing close-brace";
    case break_kind::missing_quote:
        return "missing \"";
    case break_kind::missing_close_bracket:
        return "missing close-bracket";
    case break_kind::missing_paren:
        return "missing )";
    case break_kind::missing_variable_brace:
        return "missing close-brace for variable name";
    case break_kind::extra_after_brace:
        return "extra characters after close-brace";
    case break_kind::extra_after_quote:
        return "extra characters after close-quote";
    }
    return "";
}

reading_break read_script(std::string_view text)
{
    return script_reader(text, {0, text.size()}, nullptr, nullptr).run();
}

bool complete(std::string_view text)
{
    script_reader r(text, {0, text.size()}, nullptr, nullptr);
    reading_break b = r.run();
    return b ? !b.incomplete() : !r.trailing_continuation();
}

reading read_where_run(std::string_view text, std::span<const std::size_t> probes)
{
    role_marks marks(probes);
    std::vector<range> work = {{0, text.size()}};
    reading result;
    while (!work.empty()) {
        range r = work.back();
        work.pop_back();
        marks.mark(r.begin, r.end, byte_role::code);
        script_reader reader(text, r, &marks, &work);
        reading_break b = reader.run();
        result.misshapen = std::min(result.misshapen, reader.misshapen());
        if (!b)
            continue;
        marks.mark(b.opener, r.end, byte_role::literal);
        if (!result.first || b.at < result.first.at)
            result.first = b;
    }
    result.roles = marks.take();
    return result;
}

} // namespace delimcheck::tcl
