#include "check/repair_rules.h"

#include <algorithm>
#include <cctype>
#include <queue>

#include "check/tcl_words.h"
#include "scan/text.h"

namespace delimcheck::checking {

namespace {

using scan::content_end;
using scan::indent_of;
using scan::indent_width;
using scan::is_blank;
using scan::is_blank_line;

constexpr std::size_t max_edits_in_line = 32; // of one kind, on one line
constexpr std::size_t max_indents = 12;

bool is_word_byte(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Whether the brace at i stands where braces seldom do: a { right after a word or a closer, a }
// right before a word or an opener. A brace put in by mistake mostly lands inside a word.
bool oddly_placed(std::string_view s, std::size_t i)
{
    if (s[i] == '{')
        return i > 0 && (is_word_byte(s[i - 1]) || s[i - 1] == '}' || s[i - 1] == ']');
    return i + 1 < s.size() && (is_word_byte(s[i + 1]) || s[i + 1] == '{');
}

// Whether a line holds nothing but one brace c.
bool lone_brace(const line_text &l, char c)
{
    std::size_t first = indent_of(l.text).size();
    return l.whole() && content_end(l.text) == first + 1 && l.text[first] == c;
}

// Whether the byte at i begins a word: at the line's start or after a blank, with a word
// byte after it.
bool begins_word(std::string_view s, std::size_t i)
{
    return (i == 0 || is_blank(s[i - 1])) && i + 1 < s.size() && !is_blank(s[i + 1]);
}

// Whether the word after the blanks at i compares or joins two operands of an expression.
bool operator_follows(std::string_view s, std::size_t i)
{
    while (i < s.size() && is_blank(s[i]))
        ++i;
    std::size_t j = i;
    while (j < s.size() && !is_blank(s[j]))
        ++j;
    return tcl_words::one_of(tcl_words::binary_operators, s.substr(i, j - i));
}

// Whether the word before i is the first of a command substituted by the [ that begins it: a
// command there mostly had arguments, so a lost ] seldom stood right after its name.
bool ends_command_name(std::string_view s, std::size_t i)
{
    while (i > 0 && !is_blank(s[i - 1]) && s[i - 1] != '[')
        --i;
    return i > 0 && s[i - 1] == '[' && !escaped(s, i - 1);
}

// Whether i is right after the braced word of an [expr {...}]: expr mostly takes it as its one
// word, so its ] follows it. The brace is looked for within a few hundred bytes.
bool ends_braced_expr(std::string_view s, std::size_t i)
{
    if (i == 0 || s[i - 1] != '}' || escaped(s, i - 1))
        return false;
    std::size_t k = i - 1, depth = 0;
    for (;; --k) {
        if (s[k] == '}' && !escaped(s, k))
            ++depth;
        else if (s[k] == '{' && !escaped(s, k) && --depth == 0)
            break;
        if (k == 0 || i - k > 512)
            return false;
    }
    std::size_t j = k;
    while (j > 0 && is_blank(s[j - 1]))
        --j;
    constexpr std::size_t n = tcl_words::expression_command.size();
    if (j == k || j < n + 1 || s.substr(j - n, n) != tcl_words::expression_command)
        return false;
    j -= n;
    while (j > 0 && is_blank(s[j - 1]))
        --j;
    return j > 0 && s[j - 1] == '[' && !escaped(s, j - 1);
}

bool all_digits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether w is a literal that a command mostly takes from outside a bracket nested in it: a
// number or a version (8.6, 2.1-), an index (end, end-1), a separator (, - /) or a quoted word.
bool literal_word(std::string_view w)
{
    if (w.size() >= 2 && w.front() == '"')
        return w.find('"', 1) == w.size() - 1;
    if (w.starts_with(tcl_words::index_end)) {
        std::string_view rest = w.substr(tcl_words::index_end.size());
        return rest.empty() || ((rest[0] == '+' || rest[0] == '-') && all_digits(rest.substr(1)));
    }
    if (!w.empty() && w.find_first_not_of(tcl_words::separator_bytes) == std::string_view::npos)
        return true;
    if (w.starts_with('-'))
        w.remove_prefix(1);
    if (w.ends_with('-'))
        w.remove_suffix(1);
    for (std::size_t dot; (dot = w.find('.')) != std::string_view::npos; w.remove_prefix(dot + 1))
        if (!all_digits(w.substr(0, dot)))
            return false;
    return all_digits(w);
}

// Whether the word at i, up to end, is a literal with only blanks between it and a ]: as in
// [lindex [split $path /] end], whose ] was lost before that word more often than after it.
bool literal_closes(std::string_view s, std::size_t i, std::size_t end)
{
    std::size_t j = i;
    while (j < end && !is_blank(s[j]) && s[j] != ']')
        ++j;
    std::size_t k = j;
    while (k < end && is_blank(s[k]))
        ++k;
    return k < end && s[k] == ']' && !escaped(s, k) && literal_word(s.substr(i, j - i));
}

// Whether a line ends by opening a block as the first word of a command in brackets that
// takes one there, as [catch { and [time { do; [lsort $names { is a ] lost before a body.
bool opens_block_in_bracket(std::string_view s)
{
    std::size_t i = content_end(s);
    if (i == 0 || s[i - 1] != '{' || escaped(s, i - 1))
        return false;
    --i;
    std::size_t word_end = i;
    while (i > 0 && is_blank(s[i - 1]))
        --i;
    if (i == word_end)
        return false;
    word_end = i;
    while (i > 0 && !is_blank(s[i - 1]) && s[i - 1] != '[' && s[i - 1] != ']')
        --i;
    return i > 0 && s[i - 1] == '[' && !escaped(s, i - 1) &&
           tcl_words::one_of(tcl_words::block_in_bracket, s.substr(i, word_end - i));
}

// How unlikely a lost ] is to have stood at i, before the line's content ends at end, as
// counted where ] stands in real scripts. Most stood at the end of a command, of the line,
// before a semicolon or before the break of foreach {a b} [...] break; then before an operator
// or a closing brace or parenthesis, or before a literal that ends the command around it; then
// before another ] or a continuation; then before a body's brace; least before another word,
// and least of all right after the command's name.
std::int64_t bracket_odds(std::string_view s, std::size_t i, std::size_t end)
{
    std::size_t next = i;
    while (next < end && is_blank(s[next]))
        ++next;
    bool blank = next > i;
    if (next == end || s[next] == ';' || ends_braced_expr(s, i) ||
        (blank && s.substr(next, end - next) == tcl_words::loop_exit))
        return 0;
    if (s[next] == '}' || (blank ? operator_follows(s, i) : s[next] == ')'))
        return 1;
    if (blank ? s[next] == '\\' && next + 1 == end : s[next] == ']')
        return 2;
    if (!blank)
        return 4;
    if (s[next] == '{' || s[next] == ']')
        return 3;
    if (ends_command_name(s, i))
        return 5;
    return literal_closes(s, next, end) ? 1 : 4;
}

// How unlikely a lost closer c is to have stood at i, the end of the line's content at end; 4
// before anything but a blank is tried only when a ; or a quote follows. A quote mostly stood
// at the end of its line, many before a closing brace, some before a ].
std::int64_t closer_odds(char c, std::string_view s, std::size_t i, std::size_t end)
{
    if (c == ']')
        return bracket_odds(s, i, end);
    if (i == end)
        return 0;
    if (s[i] == '}')
        return 1;
    if (s[i] == ']')
        return 2;
    return is_blank(s[i]) ? 3 : 4;
}

// What the lines before a kept line, joined to it by backslashes, leave open: a string,
// brackets.
struct joined_state {
    bool in_string = false;
    bool bracket = false;
};

class maker;
using generator = void (maker::*)(std::size_t k);

struct rule {
    std::string_view name;
    generator make;
};

class maker {
public:
    maker(const kept_lines &lines, std::int64_t stop, std::size_t keep) : lines_(lines), stop_(stop), keep_(keep) {}

    void run();
    std::vector<candidate> take();

    // The rules, one edit kind each; see the table below.
    void close_line(std::size_t k);
    void open_at_end(std::size_t k);
    void delete_lone_closer(std::size_t k);
    void delete_brace(std::size_t k);
    void delete_lone_opener(std::size_t k);
    void close_bracket(std::size_t k) { insert_closers(line_at(k), ']'); }
    void close_quote(std::size_t k) { insert_closers(line_at(k), '"'); }
    void close_block_in_bracket(std::size_t k);
    void close_joined(std::size_t k);
    void delete_surplus(std::size_t k);
    void replace_delimiter(std::size_t k);
    void close_paren(std::size_t k) { insert_closers(line_at(k), ')'); }
    void close_brace_in_line(std::size_t k);
    void open_bracket(std::size_t k);

private:
    const line_text &line_at(std::size_t k) const { return lines_.all()[k]; }
    void propose(std::string description, position from, position to, std::string text, std::int64_t at,
                 std::int64_t prior = 0);
    // From the opener on, or from `from` on: a line that closes a block begun inside a bracket.
    void insert_closers(const line_text &l, char c, std::size_t from = std::string::npos);

    const kept_lines &lines_;
    std::int64_t stop_;
    std::size_t keep_;
    std::string_view rule_;
    std::int64_t made_ = 0;
    std::vector<std::string> indents_;
    std::vector<joined_state> joined_;
    // The cheapest edits so far, the dearest on top.
    struct dearest_on_top {
        bool operator()(const candidate &a, const candidate &b) const { return a.before(b); }
    };
    std::priority_queue<candidate, std::vector<candidate>, dearest_on_top> kept_;
};

// Each rule is tried on every kept line with something on it.
constexpr rule rules[] = {
    {"close-joined", &maker::close_joined},
    {"delete-lone-opener", &maker::delete_lone_opener},
    {"close-line", &maker::close_line},
    {"open-at-end", &maker::open_at_end},
    {"delete-lone-closer", &maker::delete_lone_closer},
    {"delete-brace", &maker::delete_brace},
    {"close-bracket", &maker::close_bracket},
    {"close-quote", &maker::close_quote},
    {"close-block-in-bracket", &maker::close_block_in_bracket},
    {"delete-surplus", &maker::delete_surplus},
    {"replace-delimiter", &maker::replace_delimiter},
    {"close-paren", &maker::close_paren},
    {"close-brace-in-line", &maker::close_brace_in_line},
    {"open-bracket", &maker::open_bracket},
};

void maker::run()
{
    const std::vector<line_text> &all = lines_.all();
    for (const line_text &l : all) {
        std::string indent(indent_of(l.text));
        if (!is_blank_line(l.text) && std::find(indents_.begin(), indents_.end(), indent) == indents_.end() &&
            indents_.size() < max_indents)
            indents_.push_back(indent);
    }
    // What lines joined by backslashes leave open for the next.
    joined_.resize(all.size());
    bool in_string = false;
    std::int64_t brackets = 0, previous = 0;
    for (std::size_t k = 0; k < all.size(); ++k) {
        const line_text &l = all[k];
        if (l.number != previous + 1) {
            in_string = false;
            brackets = 0;
        }
        previous = l.number;
        std::int64_t left_open = brackets + count_unescaped(l.text, '[') - count_unescaped(l.text, ']');
        joined_[k] = {in_string, brackets > 0 && left_open > 0};
        in_string = continues(l) && in_string != (count_unescaped(l.text, '"') % 2 == 1);
        brackets = continues(l) ? std::max<std::int64_t>(left_open, 0) : 0;
    }
    for (std::size_t k = 0; k < all.size(); ++k)
        for (const rule &r : rules) {
            if (is_blank_line(all[k].text) && r.make != &maker::close_joined)
                continue;
            rule_ = r.name;
            (this->*r.make)(k);
        }
}

std::vector<candidate> maker::take()
{
    std::vector<candidate> out;
    out.reserve(kept_.size());
    for (; !kept_.empty(); kept_.pop())
        out.push_back(kept_.top());
    std::reverse(out.begin(), out.end());
    return out;
}

void maker::propose(std::string description, position from, position to, std::string text, std::int64_t at,
                    std::int64_t prior)
{
    std::int64_t a = lines_.offset_of(from), b = lines_.offset_of(to);
    if (a < 0 || b < a || b > lines_.shape().size)
        return;
    candidate c;
    c.edit = {from, to, std::move(text)};
    c.from = a;
    c.to = b;
    c.description = std::move(description);
    c.rule = rule_;
    c.line = at;
    c.distance = at > stop_ ? at - stop_ : stop_ - at;
    c.prior = prior;
    c.order = made_++;
    if (kept_.size() < keep_) {
        kept_.push(std::move(c));
    } else if (c.before(kept_.top())) {
        kept_.pop();
        kept_.push(std::move(c));
    }
}

// A lost closing brace: a line of its own after line l, at the indentation of a line nearby,
// where that indentation falls between l's and the next line's.
void maker::close_line(std::size_t k)
{
    const line_text &l = line_at(k);
    const input_shape &shape = lines_.shape();
    const line_text *next = lines_.next_nonempty(l.number);
    if (next == nullptr && l.number + 1 <= shape.lines && lines_.line(l.number + 1) == nullptr)
        return; // the window ends in the gap
    std::int32_t above = indent_width(l.text);
    std::int32_t below = next != nullptr ? indent_width(next->text) : 0;
    std::string eol(lines_.eol_near(l));
    bool last = l.number == shape.lines;
    // Closing a block right before a lone { would leave that { a command of its own: the {
    // is likelier stray.
    const line_text *after = lines_.line(l.number + 1);
    std::int64_t prior = after != nullptr && lone_brace(*after, '{') ? 1 : 0;
    // A line of blanks alone where the } belongs: most likely what was left of its line when
    // the } went, and its blanks are the line's own indentation, tabs or spaces.
    if (!last && after != nullptr && after->whole() && is_blank_line(after->text)) {
        std::string_view blanks = scan::line_body(after->text);
        std::int32_t w = indent_width(blanks);
        if (!blanks.empty() && w >= below && w < above) {
            auto column = static_cast<std::int64_t>(blanks.size()) + 1;
            propose("insert } at the end of line " + std::to_string(after->number), {after->number, column},
                    {after->number, column}, "}", after->number);
            return;
        }
    }
    for (const std::string &indent : indents_) {
        std::int32_t w = indent_width(indent);
        if (w < below || w >= above)
            continue;
        std::string words = last ? "insert } after line " + std::to_string(l.number)
                                 : "insert } before line " + std::to_string(l.number + 1);
        if (last && !shape.ends_with_newline)
            propose(words, {l.number, l.length + 1}, {l.number, l.length + 1}, eol + indent + "}", l.number);
        else
            propose(words, {l.number + 1, 1}, {l.number + 1, 1}, indent + "}" + eol, l.number + 1, prior);
    }
}

// A lost opening brace at the end of a line that the next line is indented deeper than.
void maker::open_at_end(std::size_t k)
{
    const line_text &l = line_at(k);
    std::size_t end = content_end(l.text);
    if (!l.whole() || end == 0 || l.text[indent_of(l.text).size()] == '#' || l.text[end - 1] == '\\' ||
        count_unescaped(l.text, '{') > count_unescaped(l.text, '}'))
        return;
    const line_text *next = lines_.next_nonempty(l.number);
    if (next == nullptr || indent_width(next->text) <= indent_width(l.text))
        return;
    // After the blank that follows the line's last word, as it most likely stood.
    bool blank_after = end < l.text.size() && is_blank(l.text[end]);
    auto column = static_cast<std::int64_t>(blank_after ? end + 2 : end + 1);
    // A line of a lone } that opens a block is odd: that } is likelier stray.
    bool lone_closer = end == indent_of(l.text).size() + 1 && l.text[end - 1] == '}';
    propose("insert { at the end of line " + std::to_string(l.number), {l.number, column}, {l.number, column},
            blank_after ? "{" : " {", l.number, lone_closer ? 2 : 0);
}

// A stray closing brace alone on its line: the whole line goes.
void maker::delete_lone_closer(std::size_t k)
{
    const line_text &l = line_at(k);
    if (!lone_brace(l, '}'))
        return;
    const input_shape &shape = lines_.shape();
    bool last = l.number == shape.lines && !shape.ends_with_newline;
    propose("delete line " + std::to_string(l.number), {l.number, 1},
            last ? position{l.number, l.length + 1} : position{l.number + 1, 1}, "", l.number);
}

// A stray { alone on its line, put in on a blank line: a command that is a braced word alone
// is rare in Tcl, so its deletion comes before the edits that would make it a block.
void maker::delete_lone_opener(std::size_t k)
{
    const line_text &l = line_at(k);
    if (!lone_brace(l, '{'))
        return;
    auto column = static_cast<std::int64_t>(indent_of(l.text).size() + 1);
    propose("delete the { at line " + std::to_string(l.number) + " char " + std::to_string(column),
            {l.number, column}, {l.number, column + 1}, "", l.number);
}

// A stray brace within a line: likeliest one of the kind the line has more of; but a line that
// opens a block and had a } put in looks even.
void maker::delete_brace(std::size_t k)
{
    const line_text &l = line_at(k);
    std::size_t first = indent_of(l.text).size(), end = content_end(l.text);
    if (!l.whole() || lone_brace(l, '}') || lone_brace(l, '{'))
        return;
    std::int64_t opens = count_unescaped(l.text, '{'), closes = count_unescaped(l.text, '}');
    // Braces in odd places first, so that of those alike they are tried first.
    std::size_t made = 0;
    for (bool odd : {true, false})
        for (std::size_t i = first; i < end && made < max_edits_in_line; ++i) {
            char c = l.text[i];
            if ((c != '{' && c != '}') || escaped(l.text, i) || oddly_placed(l.text, i) != odd)
                continue;
            ++made;
            std::int64_t surplus = c == '{' ? opens - closes : closes - opens;
            std::int64_t prior = surplus > 0 ? 0 : surplus == 0 ? 1 : 2;
            // A { that begins a braced word of a line that opens no block was mostly left
            // without its }: close-brace-in-line puts that back first.
            if (c == '{' && i == first && begins_word(l.text, i) && l.text[end - 1] != '{')
                prior = std::max<std::int64_t>(prior, 1);
            auto column = static_cast<std::int64_t>(i + 1);
            propose(std::string("delete the ") + c + " at line " + std::to_string(l.number) + " char " +
                        std::to_string(column),
                    {l.number, column}, {l.number, column + 1}, "", l.number, prior);
        }
}

// A lost ] or closing quote: at the end of a word on a line that opens more than it closes.
void maker::insert_closers(const line_text &l, char c, std::size_t from)
{
    if (!l.whole())
        return;
    char opener = c == ']' ? '[' : c == ')' ? '(' : '"';
    std::int64_t opens = count_unescaped(l.text, opener);
    bool open = c == '"' ? opens % 2 == 1 : opens > count_unescaped(l.text, c);
    if (!open && from == std::string::npos)
        return;
    std::size_t end = content_end(l.text);
    std::size_t i = from;
    if (i == std::string::npos)
        for (i = 0; i < end && (l.text[i] != opener || escaped(l.text, i));)
            ++i;
    // A quote in a comment of words mostly quotes one; one in code commented out (no blank
    // after the #) is code.
    std::size_t first = indent_of(l.text).size();
    std::string_view body = scan::line_body(l.text);
    bool comment = l.text[first] == '#' && (first + 1 == body.size() || is_blank(l.text[first + 1]) ||
                                            l.text[first + 1] == '#');
    std::size_t open_at = i;
    // A string of blanks alone is common: it mostly held all of them but the one before the
    // next word, and all of them at the end of the line.
    std::size_t blanks_end = std::min(body.find_first_not_of(" \t", open_at + 1), body.size());
    bool blank_string = c == '"' && blanks_end > open_at + 1;
    std::size_t favoured = blanks_end >= end ? blanks_end : blanks_end - 1;
    std::int64_t rank = 0;
    for (++i; i <= end; ++i) {
        char after = i < end ? l.text[i] : '\n';
        std::int64_t prior = closer_odds(c, l.text, i, end);
        bool blanks_only = c == '"' && blanks_end >= i;
        if ((is_blank(l.text[i - 1]) && !blanks_only) || !(prior < 4 || is_blank(after) || after == ';' || after == '"'))
            continue;
        if (rank >= static_cast<std::int64_t>(max_edits_in_line) && i < end)
            continue; // the end of the line is always tried
        std::size_t at = blank_string && blanks_end >= end ? favoured : i; // only i == end is left
        if (c == '"' && (blank_string ? at == favoured : rank == 0))
            prior = std::min<std::int64_t>(prior, comment ? 0 : 1); // a short string's only word
        ++rank;
        if (c == ')')
            ++prior; // parentheses are rarer than the others, and mostly typed in pairs
        auto column = static_cast<std::int64_t>(at + 1);
        propose(std::string("insert ") + c + " at line " + std::to_string(l.number) + " char " + std::to_string(column),
                {l.number, column}, {l.number, column}, std::string(1, c), l.number, prior);
    }
}

// A line that begins by closing a block begun as the first word of a bracket's command, as in
// [time { ... } 10]: the ] mostly stood on this line, after that brace. The opener's line is
// the last before it at the same indentation, within the lines kept without a gap.
void maker::close_block_in_bracket(std::size_t k)
{
    const std::vector<line_text> &all = lines_.all();
    const line_text &l = all[k];
    std::size_t brace = indent_of(l.text).size();
    if (brace >= l.text.size() || l.text[brace] != '}')
        return;
    std::int32_t indent = indent_width(l.text);
    for (std::size_t o = k; o > 0 && all[o - 1].number == all[o].number - 1 && k - o < 64; --o) {
        const line_text &up = all[o - 1];
        if (is_blank_line(up.text) || indent_width(up.text) != indent)
            continue;
        if (opens_block_in_bracket(up.text))
            insert_closers(l, ']', brace);
        return;
    }
}

// A lost closing quote or ] of a string or a command that began on a line before, its lines
// joined by a backslash at their ends: at the end of its last line.
void maker::close_joined(std::size_t k)
{
    const line_text &l = line_at(k);
    if (!l.whole() || continues(l))
        return;
    auto column = static_cast<std::int64_t>(content_end(l.text) + 1);
    for (char c : {'"', ']'})
        if (c == '"' ? joined_[k].in_string && count_unescaped(l.text, '"') % 2 == 0 : joined_[k].bracket)
            propose(std::string("insert ") + c + " at line " + std::to_string(l.number) + " char " +
                        std::to_string(column),
                    {l.number, column}, {l.number, column}, std::string(1, c), l.number);
}


// How many of each delimiter a line holds, unescaped; the surplus of one over its partner.
struct delimiter_counts {
    static constexpr std::string_view bytes = "()[]{}";
    std::int64_t n[6] = {};
    explicit delimiter_counts(std::string_view s)
    {
        for (std::size_t i = 0; i < s.size(); ++i)
            if (std::size_t k = bytes.find(s[i]); k != std::string_view::npos && !escaped(s, i))
                ++n[k];
    }
    std::int64_t surplus(char c) const
    {
        std::size_t k = bytes.find(c);
        return n[k] - n[k ^ 1];
    }
};

std::string at_words(std::int64_t line, std::int64_t column)
{
    return " at line " + std::to_string(line) + " char " + std::to_string(column);
}

// A stray ], ), ( or [ (doubled, or typed once too often), or a stray quote: deleted where the
// line holds more of it than of its partner, or an odd number of quotes. Braces have a rule of
// their own.
void maker::delete_surplus(std::size_t k)
{
    const line_text &l = line_at(k);
    if (!l.whole())
        return;
    std::size_t first = indent_of(l.text).size(), end = content_end(l.text);
    bool odd_quotes = count_unescaped(l.text, '"') % 2 == 1;
    delimiter_counts counts(l.text);
    std::size_t made = 0;
    for (std::size_t i = first; i < end && made < max_edits_in_line; ++i) {
        char c = l.text[i];
        if (std::string_view("[]()\"").find(c) == std::string_view::npos || escaped(l.text, i))
            continue;
        if (c == '"' ? !odd_quotes : counts.surplus(c) <= 0)
            continue;
        ++made;
        // A doubled bracket is the likeliest typed twice; a lone opener or quote was mostly
        // left without its closer, which the rules that insert closers put back.
        bool doubled = (i > 0 && l.text[i - 1] == c) || (i + 1 < end && l.text[i + 1] == c);
        bool closer = c == ']' || c == ')';
        std::int64_t prior = closer ? (doubled ? 0 : 1) : doubled ? 1 : 3;
        auto column = static_cast<std::int64_t>(i + 1);
        propose(std::string("delete the ") + c + at_words(l.number, column), {l.number, column},
                {l.number, column + 1}, "", l.number, prior);
    }
}

// Whether the ( at i opens the index of an array variable, $name(: meant as it stands.
bool array_index(std::string_view s, std::size_t i)
{
    std::size_t j = i;
    while (j > 0 && (is_word_byte(s[j - 1]) || s[j - 1] == ':'))
        --j;
    return j < i && j > 0 && s[j - 1] == '$';
}

// Whether a blank and a { that ends the line follow i: a body after its condition.
bool before_body(std::string_view s, std::size_t i, std::size_t end)
{
    std::size_t j = i;
    while (j < end && is_blank(s[j]))
        ++j;
    return j > i && j + 1 == end && s[j] == '{';
}

// One delimiter typed for another of the same direction: "$a)b)" for "$a(b)", if (...} {
// for if {...} {. Tried where the line has a surplus of one kind and too few of another.
void maker::replace_delimiter(std::size_t k)
{
    const line_text &l = line_at(k);
    if (!l.whole())
        return;
    static constexpr std::string_view openers = "([{", closers = ")]}";
    delimiter_counts counts(l.text);
    std::size_t first = indent_of(l.text).size(), end = content_end(l.text);
    std::size_t made = 0;
    for (std::size_t i = first; i < end && made < max_edits_in_line; ++i) {
        char c = l.text[i];
        bool opener = openers.find(c) != std::string_view::npos;
        if ((!opener && closers.find(c) == std::string_view::npos) || escaped(l.text, i) || counts.surplus(c) <= 0 ||
            (c == '(' && array_index(l.text, i)) || c == '[' || (c == '{' && i + 1 == end) || (c == '}' && i == first))
            continue; // a [ mostly begins a command, and a brace that begins or ends a block
        // A closer typed for its own opener: "$a)b)" for "$a(b)".
        if (!opener && counts.surplus(c) >= 2) {
            ++made;
            char d = openers[closers.find(c)];
            auto column = static_cast<std::int64_t>(i + 1);
            propose(std::string("replace the ") + c + at_words(l.number, column) + " by " + d, {l.number, column},
                    {l.number, column + 1}, std::string(1, d), l.number, counts.surplus(c) == 2 ? 0 : 1);
        }
        for (char d : opener ? openers : closers) {
            // d is wanted where the line has no more of it than of its partner; likeliest
            // where the line then holds as many of each kind as of its partner.
            // A } made in the middle of a line would close a block there, which a reader
            // would see as a block's end; only in the shape "} {" of a condition before its
            // body is it likely.
            if (d == c || counts.surplus(d) > 0 || (d == '}' && !before_body(l.text, i + 1, end)))
                continue;
            ++made;
            bool balances = counts.surplus(c) == 1 && counts.surplus(d) == -1 && c != '{';
            auto column = static_cast<std::int64_t>(i + 1);
            propose(std::string("replace the ") + c + at_words(l.number, column) + " by " + d, {l.number, column},
                    {l.number, column + 1}, std::string(1, d), l.number, c == '{' ? 2 : balances ? 0 : 1);
        }
    }
}

// A lost [: before a word of a line that closes more brackets than it opens, left of the
// first ] too many; likeliest right after a blank or a quote.
void maker::open_bracket(std::size_t k)
{
    const line_text &l = line_at(k);
    if (!l.whole() || delimiter_counts(l.text).surplus(']') <= 0)
        return;
    std::size_t first = indent_of(l.text).size(), end = content_end(l.text);
    std::int64_t depth = 0;
    std::size_t stray = end;
    for (std::size_t i = first; i < end; ++i) {
        if (escaped(l.text, i))
            continue;
        if (l.text[i] == '[')
            ++depth;
        else if (l.text[i] == ']' && --depth < 0) {
            stray = i;
            break;
        }
    }
    std::size_t made = 0;
    for (std::size_t i = stray; i-- > first && made < max_edits_in_line;) {
        char before = i > 0 ? l.text[i - 1] : ' ';
        if (is_blank(l.text[i]) || !(is_blank(before) || before == '"' || before == '{'))
            continue;
        ++made;
        auto column = static_cast<std::int64_t>(i + 1);
        propose("insert [" + at_words(l.number, column), {l.number, column}, {l.number, column}, "[", l.number, 1);
    }
}

// A lost } of a braced word that begins and ends on its line, as {name "value" in a list: at
// the end of the line, or after a word of it. A line that ends by opening a block is left to
// the rules of blocks.
void maker::close_brace_in_line(std::size_t k)
{
    const line_text &l = line_at(k);
    std::size_t end = content_end(l.text);
    if (!l.whole() || end == 0 || l.text[end - 1] == '{' || l.text[end - 1] == '\\' ||
        delimiter_counts(l.text).surplus('{') <= 0 || l.text[indent_of(l.text).size()] == '#')
        return;
    // Likeliest at the end of the line when the line begins with a braced word: an element
    // of a list of lists, an argument with its default.
    std::size_t first = indent_of(l.text).size();
    bool word = l.text[first] == '{' && begins_word(l.text, first);
    std::size_t made = 0;
    for (std::size_t i = end; i > indent_of(l.text).size() && made < max_edits_in_line; --i) {
        if (is_blank(l.text[i - 1]) || (i < end && !is_blank(l.text[i])))
            continue;
        ++made;
        auto column = static_cast<std::int64_t>(i + 1);
        propose("insert }" + at_words(l.number, column), {l.number, column}, {l.number, column}, "}", l.number,
                i == end ? (word ? 0 : 1) : 3);
    }
}

} // namespace

std::vector<candidate> make_candidates(const kept_lines &lines, std::int64_t stop, std::size_t keep)
{
    maker m(lines, stop, keep);
    m.run();
    return m.take();
}

std::vector<std::string_view> rule_names()
{
    std::vector<std::string_view> names;
    for (const rule &r : rules)
        names.push_back(r.name);
    return names;
}

} // namespace delimcheck::checking
