#include "check/repair.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check/nesting_machine.h"
#include "scan/block_reader.h"
#include "scan/block_scanner.h"

namespace delimcheck::checking {

namespace {

// The search is bounded whatever the input: so many lines either side of each place it starts
// from, so many edits tried, so many bytes checked over all of them. The edits nearest the
// first stop are tried first, so a bound cuts the least likely ones.
constexpr std::int64_t window = 6;
constexpr std::size_t max_anchors = 32;
constexpr std::size_t max_line_bytes = 4096; // a longer line gets no edit within it
constexpr std::size_t max_edits = 600;
constexpr std::size_t max_edits_made = 16 * max_edits; // before the likeliest are picked
constexpr std::size_t max_edits_in_line = 32;          // of one kind, on one line
constexpr std::int64_t max_bytes_checked = std::int64_t{64} << 20;
constexpr std::size_t max_indents = 12;
// An input that could not be checked this many times within the bytes above is not searched.
constexpr std::int64_t min_edits_checked = 16;

// Counts what a check reports, and keeps where the first report stands.
class tally final : public sink {
public:
    std::int64_t reports = 0;
    position first, first_opener;
    void report(const diagnostic &d) override
    {
        if (reports++ == 0) {
            first = d.at;
            first_opener = d.opener;
        }
    }
};

// The input with one edit spliced in: its bytes [from, to) replaced by text, read as it is read.
class splice_source final : public scan::byte_source {
public:
    splice_source(scan::byte_source &base, std::int64_t from, std::int64_t to, std::string_view text)
        : base_(base), from_(from), to_(to), text_(text)
    {
    }

    std::size_t read(unsigned char *p, std::size_t n) override
    {
        std::size_t got = 0;
        while (got < n) {
            std::size_t k = step(p + got, n - got);
            if (k == 0)
                break;
            got += k;
        }
        error_ = base_.error();
        return got;
    }

private:
    // Some bytes from where the reading stands: before the edit, its text, after it.
    std::size_t step(unsigned char *p, std::size_t n)
    {
        if (pos_ < from_)
            return from_base(p, std::min<std::int64_t>(static_cast<std::int64_t>(n), from_ - pos_));
        if (sent_ < text_.size()) {
            std::size_t k = std::min(n, text_.size() - sent_);
            std::copy_n(text_.data() + sent_, k, p);
            sent_ += k;
            return k;
        }
        while (pos_ < to_) { // the bytes the edit replaces are read and dropped
            unsigned char drop[256];
            if (from_base(drop, std::min<std::int64_t>(sizeof drop, to_ - pos_)) == 0)
                return 0;
        }
        return from_base(p, static_cast<std::int64_t>(n));
    }

    std::size_t from_base(unsigned char *p, std::int64_t n)
    {
        std::size_t k = base_.read(p, static_cast<std::size_t>(n));
        pos_ += static_cast<std::int64_t>(k);
        return k;
    }

    scan::byte_source &base_;
    std::int64_t from_, to_;
    std::string_view text_;
    std::int64_t pos_ = 0;
    std::size_t sent_ = 0;
};

// A line of the input near a place the search starts from.
struct line_text {
    std::int64_t number = 0, offset = 0, length = 0; // length without the newline
    std::string text;                                // all of it, or its first max_line_bytes
    bool crlf = false;                               // it ends in a carriage return
    bool whole() const { return static_cast<std::int64_t>(text.size()) == length; }
};

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view indent_of(std::string_view s)
{
    std::size_t n = 0;
    while (n < s.size() && (s[n] == ' ' || s[n] == '\t'))
        ++n;
    return s.substr(0, n);
}

std::int32_t width_of(std::string_view indent)
{
    std::int32_t w = 0;
    for (char c : indent)
        w = c == '\t' ? (w / 8 + 1) * 8 : w + 1;
    return w;
}

// The line without blanks at its end.
std::size_t content_end(std::string_view s)
{
    std::size_t n = s.size();
    while (n > 0 && is_blank(s[n - 1]))
        --n;
    return n;
}

bool is_empty_line(std::string_view s) { return content_end(s) == 0; }

bool escaped(std::string_view s, std::size_t i)
{
    std::size_t n = 0;
    while (n < i && s[i - n - 1] == '\\')
        ++n;
    return n % 2 == 1;
}

std::int64_t count_unescaped(std::string_view s, char c)
{
    std::int64_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (s[i] == c && !escaped(s, i))
            ++n;
    return n;
}

// Whether a line's newline is escaped by a backslash: the line goes on on the next.
bool continues(const line_text &l)
{
    std::string_view s = l.text;
    if (!s.empty() && s.back() == '\r')
        s.remove_suffix(1);
    return l.whole() && !s.empty() && s.back() == '\\' && !escaped(s, s.size() - 1);
}

bool is_word_byte(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Whether the brace at i stands where braces seldom do: a { right after a word or a closer, a }
// right before a word or an opener. A brace put in by mistake mostly lands inside a word.
bool oddly_placed(std::string_view s, std::size_t i)
{
    if (s[i] == '{')
        return i > 0 && (is_word_byte(s[i - 1]) || s[i - 1] == '}' || s[i - 1] == ']');
    return i + 1 < s.size() && (is_word_byte(s[i + 1]) || s[i + 1] == '{');
}

// Whether the word after the blanks at i compares or joins two operands of an expression: a
// command substituted into a condition mostly ends right before one.
bool operator_follows(std::string_view s, std::size_t i)
{
    while (i < s.size() && is_blank(s[i]))
        ++i;
    std::size_t j = i;
    while (j < s.size() && !is_blank(s[j]))
        ++j;
    static constexpr std::string_view operators[] = {"eq", "ne", "==", "!=", "<", ">", "<=", ">=",
                                                     "&&", "||", "in", "ni"};
    return std::find(std::begin(operators), std::end(operators), s.substr(i, j - i)) != std::end(operators);
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
    if (j == k || j < 5 || s.substr(j - 4, 4) != "expr")
        return false;
    j -= 4;
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
    if (w.starts_with("end"))
        return w.size() == 3 || ((w[3] == '+' || w[3] == '-') && all_digits(w.substr(4)));
    if (!w.empty() && w.find_first_not_of("-,.:;/") == std::string_view::npos)
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
    static constexpr std::string_view takers[] = {"catch", "time", "try", "expr", "eval", "list", "subst"};
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
           std::find(std::begin(takers), std::end(takers), s.substr(i, word_end - i)) != std::end(takers);
}

// How unlikely a lost ] is to have stood at i, before the line's content ends at end: 0 the
// likeliest, as counted where ] stands in real scripts. Most stood at the end of a command, of
// the line, before a semicolon or before the break of foreach {a b} [...] break; then before an operator or a closing brace or parenthesis,
// or before a literal that ends the command around it; then before another ] or a
// continuation; then before a body's brace; least before another word, and least of all right
// after the command's name.
std::int64_t bracket_odds(std::string_view s, std::size_t i, std::size_t end)
{
    std::size_t next = i;
    while (next < end && is_blank(s[next]))
        ++next;
    bool blank = next > i;
    if (next == end || s[next] == ';' || ends_braced_expr(s, i) || (blank && s.substr(next, end - next) == "break"))
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

// How unlikely a lost closer c is to have stood at i, the end of the line's content at end: 0
// the likeliest; 4 before anything but a blank is tried only when a ; or a quote follows. A
// quote mostly stood at the end of its line, many before a closing brace, some before a ].
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

// An edit tried: where it goes in bytes and in lines, what it says, and how near the first
// stop it is.
struct candidate {
    text_edit edit;
    std::int64_t from = 0, to = 0;
    std::string description;
    std::int64_t line = 0;     // where it places the fault
    std::int64_t distance = 0; // in lines from the first stop
    std::int64_t prior = 0;    // how unlikely the edit is in itself, 0 the likeliest
    // Among edits that the indentation likes as well, the nearest the first stop and the
    // likeliest in itself.
    std::int64_t cost() const { return distance + 2 * prior; }
};

struct input_shape {
    std::int64_t size = 0, lines = 0;
    bool ends_with_newline = false;
};

} // namespace

options nesting_only(options o)
{
    o.listing = listing_mode::none;
    o.warn_backslash_blank = false;
    return o;
}

hint repair_hint(const repair &fix)
{
    if (fix.empty())
        return {};
    return {fix.edits.front().from, hint_reason::repaired, {}, 0};
}

struct repair_search::impl {
    explicit impl(const options &o) : opts(checking_options(o)), machine(opts, counts), reader(o.simd) {}

    // How a candidate is checked: the nesting only, with the hints read to score it.
    static options checking_options(const options &o)
    {
        options n = nesting_only(o);
        n.hints = true;
        return n;
    }

    // Reads src once more from its start, with the edit of c spliced in when there is one, and
    // stops at the first error; false when it could not be read again.
    bool check(scan::byte_source &src, const candidate *c = nullptr)
    {
        if (!src.rewind())
            return false;
        counts = {};
        machine.begin_input();
        if (c == nullptr)
            return scan(src);
        splice_source edited(src, c->from, c->to, c->edit.text);
        return scan(edited) && src.error() == 0;
    }

    bool scan(scan::byte_source &src)
    {
        checking::machine_view<machine_mode{false, false, true, true}> view(machine);
        position end = scan::scan_blocks(reader, src, view);
        if (!machine.stopped())
            machine.end_input(end);
        return src.error() == 0;
    }

    repair find(scan::byte_source &src, const std::function<bool()> &give_up);
    std::vector<std::int64_t> anchors();
    bool read_lines(scan::byte_source &src, const std::vector<std::int64_t> &anchor_lines);
    const line_text *line(std::int64_t number) const;
    const line_text *next_nonempty(std::int64_t number) const;
    std::int64_t offset_of(position at) const;
    void propose(std::string description, position from, position to, std::string text, std::int64_t at,
                 std::int64_t prior = 0);
    void close_lines(const line_text &l, const std::vector<std::string> &indents);
    void open_at_end(const line_text &l);
    void delete_braces(const line_text &l);
    // From the opener on, or from `from` on: a line that closes a block begun inside a bracket.
    void insert_closers(const line_text &l, char c, std::size_t from = std::string::npos);
    void close_block_in_bracket(std::size_t k);
    void close_joined_lines(const line_text &l, bool string, bool bracket);
    void make_candidates();

    const options opts;
    tally counts;
    nesting_machine machine;
    scan::block_reader reader;
    std::vector<line_text> lines;
    input_shape shape;
    std::int64_t stop = 0;
    std::vector<candidate> candidates;
};

repair_search::repair_search(const options &opts) : impl_(std::make_unique<impl>(opts)) {}
repair_search::~repair_search() = default;

repair repair_search::find(scan::byte_source &src, const std::function<bool()> &give_up)
{
    return impl_->find(src, give_up);
}

bool repair_search::affordable(std::int64_t bytes) { return bytes <= max_bytes_checked / min_edits_checked; }

repair repair_search::impl::find(scan::byte_source &src, const std::function<bool()> &give_up)
{
    machine.set_hint_mode(hint_mode::on);
    machine.set_stops(true);
    machine.count_signs(true);
    if (!check(src) || !machine.stopped())
        return {};
    std::vector<std::int64_t> from = anchors();
    if (!read_lines(src, from))
        return {};
    make_candidates();
    // Stable: of edits that cost the same, the one made first (the leftmost) is tried first.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const candidate &a, const candidate &b) { return a.cost() < b.cost(); });
    if (candidates.size() > max_edits)
        candidates.resize(max_edits);

    const candidate *best = nullptr;
    std::int64_t best_signs = 0, budget = max_bytes_checked;
    for (const candidate &c : candidates) {
        if (give_up && give_up())
            return {};
        budget -= shape.size;
        if (budget < 0)
            break;
        if (!check(src, &c))
            return {}; // it could be read a moment ago
        if (machine.stopped() || counts.reports != 0)
            continue;
        std::int64_t signs = machine.hints().signs();
        if (best == nullptr || signs < best_signs) {
            best = &c;
            best_signs = signs;
        }
    }
    if (best == nullptr)
        return {};
    return {best->description, {best->edit}};
}

// The lines the search starts from: the first report and its opener, the first error, its
// opener and its hint, and the signs of the indentation before it. Sets stop, the first stop
// as the hints alone place it.
std::vector<std::int64_t> repair_search::impl::anchors()
{
    const diagnostic &d = machine.stopped_at();
    stop = d.likely.at.line != 0 ? d.likely.at.line : d.at.line;
    std::vector<std::int64_t> a = {d.at.line,         d.opener.line,           d.likely.at.line,
                                   d.likely.opener.line, counts.first.line, counts.first_opener.line,
                                   machine.string_at_stop().line};
    for (std::int64_t l : machine.hints().sign_lines())
        a.push_back(l);
    for (std::int64_t l : machine.hints().oddity_lines())
        a.push_back(l);
    std::erase(a, 0);
    if (a.size() > max_anchors)
        a.resize(max_anchors);
    std::sort(a.begin(), a.end());
    a.erase(std::unique(a.begin(), a.end()), a.end());
    return a;
}

// Keeps the lines within the window of an anchor, and learns the input's size and lines; false
// when it cannot be read again, or is too big to be searched.
bool repair_search::impl::read_lines(scan::byte_source &src, const std::vector<std::int64_t> &anchor_lines)
{
    lines.clear();
    shape = {};
    if (!src.rewind())
        return false;
    std::size_t next_anchor = 0;
    std::int64_t number = 1, offset = 0;
    bool keep = false;
    auto begin_line = [&] {
        while (next_anchor < anchor_lines.size() && anchor_lines[next_anchor] + window < number)
            ++next_anchor;
        keep = next_anchor < anchor_lines.size() && anchor_lines[next_anchor] - window <= number;
        if (keep)
            lines.push_back({number, offset, 0, {}});
    };
    begin_line();
    unsigned char buf[1 << 14];
    char last = '\n';
    for (std::size_t got; (got = src.read(buf, sizeof buf)) > 0;) {
        for (std::size_t i = 0; i < got; ++i) {
            char c = static_cast<char>(buf[i]);
            ++offset;
            if (c == '\n') {
                ++number;
                begin_line();
                continue;
            }
            if (keep) {
                line_text &l = lines.back();
                if (l.text.size() < max_line_bytes)
                    l.text.push_back(c);
                ++l.length;
                l.crlf = c == '\r';
            }
        }
        last = static_cast<char>(buf[got - 1]);
        if (!repair_search::affordable(offset))
            return false; // the first fault came early in a big input
    }
    if (src.error() != 0)
        return false;
    shape.size = offset;
    shape.ends_with_newline = last == '\n' && offset > 0;
    shape.lines = shape.ends_with_newline || offset == 0 ? number - 1 : number;
    if (keep && lines.back().number > shape.lines)
        lines.pop_back(); // the empty line after the last newline
    return true;
}

const line_text *repair_search::impl::line(std::int64_t number) const
{
    auto it = std::lower_bound(lines.begin(), lines.end(), number,
                               [](const line_text &l, std::int64_t n) { return l.number < n; });
    return it != lines.end() && it->number == number ? &*it : nullptr;
}

// The next line after `number` with something on it; nullptr when the input ends first, and
// also when that line was not kept (the caller tells the two apart by the line count).
const line_text *repair_search::impl::next_nonempty(std::int64_t number) const
{
    for (std::int64_t n = number + 1; n <= shape.lines; ++n) {
        const line_text *l = line(n);
        if (l == nullptr || !is_empty_line(l->text))
            return l;
    }
    return nullptr;
}

// The byte offset of a position on a kept line, or of the line after one; -1 when unknown.
std::int64_t repair_search::impl::offset_of(position at) const
{
    if (const line_text *l = line(at.line))
        return l->offset + at.column - 1;
    if (const line_text *before = line(at.line - 1))
        return before->offset + before->length + 1;
    return -1;
}

void repair_search::impl::propose(std::string description, position from, position to, std::string text,
                                  std::int64_t at, std::int64_t prior)
{
    std::int64_t a = offset_of(from), b = offset_of(to);
    if (a < 0 || b < a || b > shape.size || candidates.size() >= max_edits_made)
        return;
    candidate c;
    c.edit = {from, to, std::move(text)};
    c.from = a;
    c.to = b;
    c.description = std::move(description);
    c.line = at;
    c.distance = at > stop ? at - stop : stop - at;
    c.prior = prior;
    candidates.push_back(std::move(c));
}

// A lost closing brace: a line of its own after line l, at the indentation of a line nearby,
// where that indentation falls between l's and the next line's.
void repair_search::impl::close_lines(const line_text &l, const std::vector<std::string> &indents)
{
    const line_text *next = next_nonempty(l.number);
    if (next == nullptr && l.number + 1 <= shape.lines && line(l.number + 1) == nullptr)
        return; // the window ends in the gap
    std::int32_t above = width_of(indent_of(l.text));
    std::int32_t below = next != nullptr ? width_of(indent_of(next->text)) : 0;
    std::string eol = l.crlf ? "\r\n" : "\n";
    bool last = l.number == shape.lines;
    for (const std::string &indent : indents) {
        std::int32_t w = width_of(indent);
        if (w < below || w >= above)
            continue;
        std::string words = last ? "insert } after line " + std::to_string(l.number)
                                 : "insert } before line " + std::to_string(l.number + 1);
        if (last && !shape.ends_with_newline)
            propose(words, {l.number, l.length + 1}, {l.number, l.length + 1}, eol + indent + "}", l.number);
        else
            propose(words, {l.number + 1, 1}, {l.number + 1, 1}, indent + "}" + eol, l.number + 1);
    }
}

// A lost opening brace at the end of a line that the next line is indented deeper than.
void repair_search::impl::open_at_end(const line_text &l)
{
    std::size_t end = content_end(l.text);
    if (!l.whole() || end == 0 || l.text[indent_of(l.text).size()] == '#' || l.text[end - 1] == '\\' ||
        count_unescaped(l.text, '{') > count_unescaped(l.text, '}'))
        return;
    const line_text *next = next_nonempty(l.number);
    if (next == nullptr || width_of(indent_of(next->text)) <= width_of(indent_of(l.text)))
        return;
    // After the blank that follows the line's last word, as it most likely stood.
    bool blank_after = end < l.text.size() && (l.text[end] == ' ' || l.text[end] == '\t');
    auto column = static_cast<std::int64_t>(blank_after ? end + 2 : end + 1);
    // A line of a lone } that opens a block is odd: that } is likelier stray.
    bool lone_closer = end == indent_of(l.text).size() + 1 && l.text[end - 1] == '}';
    propose("insert { at the end of line " + std::to_string(l.number), {l.number, column}, {l.number, column},
            blank_after ? "{" : " {", l.number, lone_closer ? 2 : 0);
}

// A stray brace: likeliest one of the kind the line has more of; but a line that opens a block
// and had a } put in looks even.
void repair_search::impl::delete_braces(const line_text &l)
{
    if (!l.whole())
        return;
    std::int64_t opens = count_unescaped(l.text, '{'), closes = count_unescaped(l.text, '}');
    std::size_t first = indent_of(l.text).size(), end = content_end(l.text);
    if (end == first + 1 && l.text[first] == '}') {
        bool last = l.number == shape.lines && !shape.ends_with_newline;
        propose("delete line " + std::to_string(l.number), {l.number, 1},
                last ? position{l.number, l.length + 1} : position{l.number + 1, 1}, "", l.number);
        return;
    }
    // Braces in odd places first, so that of those alike they are tried first.
    std::size_t made = 0;
    for (bool odd : {true, false})
        for (std::size_t i = first; i < end && made < max_edits_in_line; ++i) {
            char c = l.text[i];
            if ((c != '{' && c != '}') || escaped(l.text, i) || oddly_placed(l.text, i) != odd)
                continue;
            ++made;
            std::int64_t surplus = c == '{' ? opens - closes : closes - opens;
            auto column = static_cast<std::int64_t>(i + 1);
            propose(std::string("delete the ") + c + " at line " + std::to_string(l.number) + " char " +
                        std::to_string(column),
                    {l.number, column}, {l.number, column + 1}, "", l.number, surplus > 0 ? 0 : surplus == 0 ? 1 : 2);
        }
}

// A lost ] or closing quote: at the end of a word on a line that opens more than it closes.
void repair_search::impl::insert_closers(const line_text &l, char c, std::size_t from)
{
    if (!l.whole())
        return;
    char opener = c == ']' ? '[' : '"';
    std::int64_t opens = count_unescaped(l.text, opener);
    bool open = c == ']' ? opens > count_unescaped(l.text, ']') : opens % 2 == 1;
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
    bool comment = l.text[first] == '#' && (first + 1 == l.text.size() || is_blank(l.text[first + 1]) ||
                                            l.text[first + 1] == '#');
    std::size_t open_at = i;
    // A string of blanks alone is common: it mostly held all of them but the one before the
    // next word, and all of them at the end of the line.
    std::size_t blanks_end = std::min(l.text.find_first_not_of(" \t", open_at + 1), l.text.size());
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
        auto column = static_cast<std::int64_t>(at + 1);
        propose(std::string("insert ") + c + " at line " + std::to_string(l.number) + " char " + std::to_string(column),
                {l.number, column}, {l.number, column}, std::string(1, c), l.number, prior);
    }
}

void repair_search::impl::make_candidates()
{
    candidates.clear();
    std::vector<std::string> indents;
    for (const line_text &l : lines) {
        std::string indent(indent_of(l.text));
        if (!is_empty_line(l.text) && std::find(indents.begin(), indents.end(), indent) == indents.end() &&
            indents.size() < max_indents)
            indents.push_back(indent);
    }
    // What lines joined by backslashes leave open for the next: a string, brackets.
    bool in_string = false;
    std::int64_t brackets = 0;
    std::int64_t previous = 0;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const line_text &l = lines[k];
        if (l.number != previous + 1) {
            in_string = false;
            brackets = 0;
        }
        previous = l.number;
        std::int64_t left_open = brackets + count_unescaped(l.text, '[') - count_unescaped(l.text, ']');
        if (!continues(l))
            close_joined_lines(l, in_string, brackets > 0 && left_open > 0);
        in_string = continues(l) && in_string != (count_unescaped(l.text, '"') % 2 == 1);
        brackets = continues(l) ? std::max<std::int64_t>(left_open, 0) : 0;
        if (is_empty_line(l.text))
            continue;
        close_lines(l, indents);
        open_at_end(l);
        delete_braces(l);
        insert_closers(l, ']');
        insert_closers(l, '"');
        close_block_in_bracket(k);
    }
}

// A line that begins by closing a block begun as the first word of a bracket's command, as in
// [time { ... } 10]: the ] mostly stood on this line, after that brace. The opener's line is
// the last before it at the same indentation, within the lines kept without a gap.
void repair_search::impl::close_block_in_bracket(std::size_t k)
{
    const line_text &l = lines[k];
    std::size_t brace = indent_of(l.text).size();
    if (brace >= l.text.size() || l.text[brace] != '}')
        return;
    std::int32_t indent = width_of(indent_of(l.text));
    for (std::size_t o = k; o > 0 && lines[o - 1].number == lines[o].number - 1 && k - o < 64; --o) {
        const line_text &up = lines[o - 1];
        if (is_empty_line(up.text) || width_of(indent_of(up.text)) != indent)
            continue;
        if (opens_block_in_bracket(up.text))
            insert_closers(l, ']', brace);
        return;
    }
}

// A lost closing quote or ] of a string or a command that began on a line before, its lines
// joined by a backslash at their ends: at the end of its last line.
void repair_search::impl::close_joined_lines(const line_text &l, bool string, bool bracket)
{
    if (!l.whole())
        return;
    auto column = static_cast<std::int64_t>(content_end(l.text) + 1);
    for (char c : {'"', ']'})
        if (c == '"' ? string && count_unescaped(l.text, '"') % 2 == 0 : bracket)
            propose(std::string("insert ") + c + " at line " + std::to_string(l.number) + " char " +
                        std::to_string(column),
                    {l.number, column}, {l.number, column}, std::string(1, c), l.number);
}

} // namespace delimcheck::checking
