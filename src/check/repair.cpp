#include "check/repair.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "check/nesting_machine.h"
#include "check/repair_lines.h"
#include "check/repair_rules.h"
#include "check/repair_safety.h"
#include "check/splice_source.h"
#include "scan/block_reader.h"
#include "scan/block_scanner.h"

namespace delimcheck::checking {

namespace {

// The search is bounded whatever the input: so many lines either side of each place it starts
// from, so many edits tried (the cheapest the rules make), so many bytes checked over all.
constexpr std::int64_t window = 6;
constexpr std::size_t max_anchors = 32;
constexpr std::size_t max_edits = 600;
constexpr std::int64_t max_bytes_checked = std::int64_t{64} << 20;
// An input that could not be checked this many times within the bytes above is not searched.
constexpr std::int64_t min_edits_checked = 16;
// A repair is sure when every other edit that makes the input clean leaves the indentation
// with more signs (see fault_hints::count_signs), or as many and costs at least this much
// more (see candidate::cost). Chosen with bench/locate --probe.
constexpr std::int64_t sure_margin = 2;
// So many edits alike are read as Tcl reads them, to tell those that Tcl refuses.
constexpr std::size_t max_tcl_readings = 8;
// In an input with several faults, so many errors are tried each for a repair of its own.
constexpr std::size_t max_faults_apart = 4;
// An input with more reports than this is not a new fault among old findings: not searched apart.
constexpr std::size_t max_reports_apart = 5000;

// A report as the search compares them between an input and an edited copy.
struct report_key {
    diagnostic_kind kind;
    position at, opener;
    char got, expected;
    bool same(const report_key &o) const
    {
        return kind == o.kind && at == o.at && opener == o.opener && got == o.got && expected == o.expected;
    }
};

// Where the search starts from for one report: its line, its opener's, and its hint's.
struct report_anchors {
    std::int64_t line = 0, opener = 0, likely = 0;
};

// Counts what a check reports, and keeps where the first report stands; and all of them when
// asked to. With stops, the first nesting fault is not counted: it ends the input there.
class tally final : public sink {
public:
    std::int64_t reports = 0;
    position first, first_opener;
    bool keep = false;
    bool stops = true;
    bool stopped = false; // at a nesting fault
    std::vector<report_key> kept;
    std::vector<report_anchors> anchors; // of each report kept
    sink_answer report(const diagnostic &d) override
    {
        if (stops && checking::is_nesting_fault(d.kind)) {
            stopped = true;
            return sink_answer::stop;
        }
        if (reports++ == 0) {
            first = d.at;
            first_opener = d.opener;
        }
        if (keep) {
            kept.push_back({d.kind, d.at, d.opener, d.got, d.expected});
            anchors.push_back({d.at.line, d.opener.line, d.likely.at.line});
        }
        return sink_answer::more;
    }
};

// Where a position of the input with the edit applied stood in the input itself; line 0 for
// one inside the edit's text.
position before_edit(const text_edit &e, position p)
{
    auto before = [](position a, position b) { return a.line != b.line ? a.line < b.line : a.column < b.column; };
    if (before(p, e.from))
        return p;
    position end = e.from; // of the inserted text, in the edited input
    for (char c : e.text) {
        if (c == '\n') {
            ++end.line;
            end.column = 1;
        } else {
            ++end.column;
        }
    }
    if (before(p, end))
        return {};
    if (p.line == end.line)
        return {e.to.line, p.column - end.column + e.to.column};
    return {p.line - end.line + e.to.line, p.column};
}

// Which of the input's reports the edited input's are, each in its place; false when one is
// new (or stands inside the edit).
bool match_reports(const std::vector<report_key> &input, const std::vector<report_key> &edited, const text_edit &e,
                   std::vector<bool> &left)
{
    left.assign(input.size(), false);
    // Reports come in the order of the text, before the edit and after it alike: each is looked
    // for after the last one found first, so that a file of many reports is matched in one pass.
    std::size_t next = 0;
    for (const report_key &r : edited) {
        report_key k = r;
        k.at = before_edit(e, r.at);
        k.opener = r.opener.line == 0 ? r.opener : before_edit(e, r.opener);
        if (k.at.line == 0 || (r.opener.line != 0 && k.opener.line == 0))
            return false;
        auto find_from = [&](std::size_t i) {
            while (i < input.size() && (left[i] || !input[i].same(k)))
                ++i;
            return i;
        };
        std::size_t i = find_from(next);
        if (i == input.size())
            i = find_from(0);
        if (i == input.size())
            return false;
        left[i] = true;
        next = i + 1;
    }
    return true;
}

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
    explicit impl(const options &o)
        : opts(checking_options(o)), apart_too(o.repair_apart), machine(opts, counts), reader(o.simd)
    {
    }

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
        counts.reports = 0;
        counts.stopped = false;
        counts.first = counts.first_opener = {};
        counts.kept.clear();
        counts.anchors.clear();
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
        if (!machine.ended())
            machine.end_input(end);
        return src.error() == 0;
    }

    // Reads src, with c's edit when there is one, to its end: every report is kept.
    bool check_all(scan::byte_source &src, const candidate *c = nullptr)
    {
        machine.set_stops(false);
        counts.stops = false;
        counts.keep = true;
        bool ok = check(src, c);
        counts.keep = false;
        counts.stops = true;
        machine.set_stops(true);
        return ok;
    }

    repair find(scan::byte_source &src, const std::function<bool()> &give_up);
    // Whether two edits make the same text: the same edit, or the deletion of either of two
    // bytes alike side by side.
    bool same_text(const candidate &a, const candidate &b) const
    {
        if (&a == &b || a.edit == b.edit)
            return true;
        if (!a.edit.text.empty() || !b.edit.text.empty() || a.to - a.from != 1 || b.to - b.from != 1 ||
            (a.from - b.from != 1 && b.from - a.from != 1) || a.edit.from.line != b.edit.from.line)
            return false;
        const line_text *l = lines.line(a.edit.from.line);
        auto at = [&](const candidate &c) { return static_cast<std::size_t>(c.edit.from.column - 1); };
        return l != nullptr && at(a) < l->text.size() && at(b) < l->text.size() && l->text[at(a)] == l->text[at(b)];
    }
    const candidate *mend_apart(scan::byte_source &src, const std::function<bool()> &give_up,
                                const std::vector<report_key> &input, std::size_t target,
                                const std::vector<candidate> &candidates, std::int64_t &budget,
                                std::vector<bool> &left);
    std::vector<std::int64_t> anchors();
    // Where a lost ] or " goes, or which [ or " was put in, is a guess: on injected faults
    // such repairs restored the script in only half to nine in ten cases, a place off by a
    // word or a line or the opener dropped instead, and each of those means something else.
    bool moves_bracket_or_quote(const candidate &c) const
    {
        auto ours = [](std::string_view t) { return t.find_first_of("[]\"") != std::string_view::npos; };
        if (ours(c.edit.text))
            return true;
        if (c.edit.from.line != c.edit.to.line)
            return false;
        const line_text *l = lines.line(c.edit.from.line);
        if (l == nullptr)
            return false;
        auto from = static_cast<std::size_t>(c.edit.from.column - 1), to = static_cast<std::size_t>(c.edit.to.column - 1);
        if (from >= to || to > l->text.size() || !ours(std::string_view(l->text).substr(from, to - from)))
            return false;
        // A closer doubled: the same text whichever of the two goes.
        const std::string &t = l->text;
        bool doubled = to == from + 1 && t[from] != '[' &&
                       ((from > 0 && t[from - 1] == t[from]) || (to < t.size() && t[to] == t[from]));
        return !doubled;
    }

    using scored = std::pair<const candidate *, std::int64_t>; // a clean edit and its signs

    // Whether a deletion takes a { from inside a name, as in se{t or $chi{ld: no Tcl word has
    // one there, where a { that begins a word may well be meant.
    bool glued_brace(const candidate &c) const
    {
        if (c.rule != "delete-brace" || c.to - c.from != 1)
            return false;
        const line_text *l = lines.line(c.edit.from.line);
        auto at = static_cast<std::size_t>(c.edit.from.column - 1);
        if (l == nullptr || at == 0 || at + 1 >= l->text.size() || l->text[at] != '{')
            return false;
        auto word = [](char x, bool digits) {
            return (x >= 'a' && x <= 'z') || (x >= 'A' && x <= 'Z') || x == '_' || x == ':' ||
                   (digits && x >= '0' && x <= '9');
        };
        return word(l->text[at - 1], true) && word(l->text[at + 1], false);
    }

    // Whether another clean edit comes near the best one, so that the search cannot be sure.
    bool near(const scored &other, const candidate &best, std::int64_t best_signs) const
    {
        if (same_text(*other.first, best) || other.second > best_signs)
            return false;
        if (other.second < best_signs)
            return true;
        // A { inside a name is the one put in, before any other edit as good.
        if (glued_brace(best) != glued_brace(*other.first))
            return glued_brace(*other.first);
        // Which of a line's braces was put in is seldom clear from the line alone.
        bool line_braces = other.first->rule == "delete-brace" && best.rule == "delete-brace" &&
                           other.first->line == best.line;
        // Nor is where in its line a lost ] or " goes: the indentation cannot tell those
        // places apart, and the cost of each is a guess.
        const text_edit &a = other.first->edit, &b = best.edit;
        bool line_guess = a.from == a.to && b.from == b.to && a.text == b.text && (b.text == "]" || b.text == "\"") &&
                          a.from.line == b.from.line;
        return other.first->cost() < best.cost() + sure_margin || line_braces || line_guess;
    }

    // The repair among the clean edits, and whether the search is sure of it. Between edits
    // that the checker finds alike, one whose text Tcl refuses (a break, an if left without
    // its body) is no repair: Tcl decides, where it accepts one of them.
    repair choose(scan::byte_source &src, const std::vector<scored> &clean, const candidate &first, std::int64_t signs)
    {
        const candidate *best = &first;
        for (const scored &o : clean)
            if (o.second == signs && glued_brace(*o.first) && (!glued_brace(*best) || o.first->before(*best)))
                best = o.first;
        std::string text;
        bool have_text = false, readable = true;
        std::vector<std::pair<const candidate *, bool>> judged;
        auto accepted = [&](const candidate &c) {
            for (const auto &[j, yes] : judged)
                if (j == &c)
                    return yes;
            if (!have_text) {
                readable = read_whole(src, text);
                have_text = true;
            }
            // Unread beyond a few: each reading is of the whole input, and an unread edit counts.
            bool yes = !readable || judged.size() >= max_tcl_readings || tcl_accepts(text, found(c));
            judged.emplace_back(&c, yes);
            return yes;
        };
        // Those near it, and where the indentation agrees with every one, those of any cost:
        // one that Tcl accepts goes before one that Tcl refuses.
        auto rival = [&](const scored &o) {
            return near(o, *best, signs) || (signs == 0 && o.second == 0 && o.first != best);
        };
        bool contested = std::any_of(clean.begin(), clean.end(), rival);
        if (contested && !accepted(*best)) {
            const scored *alternative = nullptr;
            for (const scored &o : clean)
                if (rival(o) && accepted(*o.first) &&
                    (alternative == nullptr || o.second < alternative->second ||
                     (o.second == alternative->second && o.first->before(*alternative->first))))
                    alternative = &o;
            if (alternative != nullptr) {
                best = alternative->first;
                signs = alternative->second;
            }
        }
        bool tcl_decides = contested && accepted(*best);
        repair fix = found(*best);
        fix.sure = std::none_of(clean.begin(), clean.end(), [&](const scored &o) {
            return near(o, *best, signs) && !(tcl_decides && !accepted(*o.first));
        });
        if (moves_bracket_or_quote(*best))
            fix.sure = false;
        return fix;
    }

    repair found(const candidate &c) const
    {
        repair fix{c.description, {c.edit}};
        fix.rule = std::string(c.rule);
        return fix;
    }

    const options opts;
    const bool apart_too; // look for repairs of faults apart from the others
    tally counts;
    nesting_machine machine;
    scan::block_reader reader;
    kept_lines lines;
    std::int64_t stop = 0;
    std::vector<mended_fault> apart; // the repairs of the last search, when found apart
    bool give_up_now = false; // the search was told to give up, or could not read again
};

repair_search::repair_search(const options &opts) : impl_(std::make_unique<impl>(opts)) {}
repair_search::~repair_search() = default;

repair repair_search::find(scan::byte_source &src, const std::function<bool()> &give_up)
{
    return impl_->find(src, give_up);
}

const std::vector<mended_fault> &repair_search::faults_apart() const { return impl_->apart; }

bool repair_search::affordable(std::int64_t bytes) { return bytes <= max_bytes_checked / min_edits_checked; }

repair repair_search::impl::find(scan::byte_source &src, const std::function<bool()> &give_up)
{
    apart.clear();
    give_up_now = false;
    machine.set_hint_mode(hint_mode::on);
    machine.set_stops(true);
    machine.count_signs(true);
    if (!check(src) || !counts.stopped)
        return {};
    std::vector<std::int64_t> from = anchors();
    if (!lines.read(src, from, window, max_bytes_checked / min_edits_checked))
        return {};
    // Lines that end in a carriage return alone are one line to the checker: its indentation
    // says nothing, and an edit chosen by it would be a guess.
    if (lines.shape().lone_carriage_return)
        return {};
    std::vector<candidate> candidates = make_candidates(lines, stop, max_edits);

    const candidate *best = nullptr;
    std::int64_t best_signs = 0, budget = max_bytes_checked;
    std::vector<scored> clean;
    for (const candidate &c : candidates) {
        if (give_up && give_up())
            return {};
        budget -= lines.shape().size;
        if (budget < 0)
            break;
        if (!check(src, &c))
            return {}; // it could be read a moment ago
        if (counts.stopped || counts.reports != 0)
            continue;
        std::int64_t signs = machine.hints().signs();
        clean.emplace_back(&c, signs);
        if (best == nullptr || signs < best_signs) {
            best = &c;
            best_signs = signs;
        }
    }
    if (best != nullptr)
        return choose(src, clean, *best, best_signs);
    if (!apart_too)
        return {};

    // No edit makes the input clean: it may hold other faults beside this one. An edit that
    // mends a fault and leaves only reports the input had, each in its place, is its repair:
    // looked for the first error with the edits above, then for the next few errors that no
    // repair found so far mends, each with the edits near it.
    if (!check_all(src))
        return {};
    if (counts.kept.size() > max_reports_apart)
        return {};
    std::vector<report_key> input = std::move(counts.kept);
    std::vector<report_anchors> input_anchors = std::move(counts.anchors);
    std::vector<bool> done(input.size(), false);
    std::size_t faults = 0;
    for (std::size_t target = 0; target < input.size() && faults < max_faults_apart; ++target) {
        if (done[target] || severity_of(input[target].kind) != severity::error)
            continue;
        const report_anchors &a = input_anchors[target];
        if (faults++ > 0) {
            stop = a.likely != 0 ? a.likely : a.line;
            std::vector<std::int64_t> near = {a.line, a.opener, a.likely};
            std::erase(near, 0);
            std::sort(near.begin(), near.end());
            near.erase(std::unique(near.begin(), near.end()), near.end());
            if (!lines.read(src, near, window, max_bytes_checked / min_edits_checked))
                break;
            candidates = make_candidates(lines, stop, max_edits);
        }
        std::vector<bool> left;
        const candidate *c = mend_apart(src, give_up, input, target, candidates, budget, left);
        if (give_up_now)
            return {};
        if (c == nullptr) {
            if (budget < 0)
                break;
            continue;
        }
        mended_fault f{found(*c), {}};
        for (std::size_t i = 0; i < input.size(); ++i)
            if (!left[i] && !done[i]) {
                done[i] = true;
                f.reports.push_back({input[i].at, input[i].opener});
            }
        apart.push_back(std::move(f));
    }
    if (apart.empty())
        return {};
    return apart.front().fix;
}

// Of the candidates, the one that mends the target report of the input and leaves only
// reports the input had: the one that leaves the fewest, then the one the indentation likes
// best; nullptr when none does. left says which reports it leaves.
const candidate *repair_search::impl::mend_apart(scan::byte_source &src, const std::function<bool()> &give_up,
                                                 const std::vector<report_key> &input, std::size_t target,
                                                 const std::vector<candidate> &candidates, std::int64_t &budget,
                                                 std::vector<bool> &left)
{
    const candidate *best = nullptr;
    std::int64_t best_signs = 0;
    std::size_t best_left = 0;
    std::vector<bool> which;
    for (const candidate &c : candidates) {
        if (give_up && give_up()) {
            give_up_now = true;
            return nullptr;
        }
        budget -= lines.shape().size;
        if (budget < 0)
            break;
        if (!check_all(src, &c)) {
            give_up_now = true;
            return nullptr;
        }
        if (counts.kept.size() >= input.size() || !match_reports(input, counts.kept, c.edit, which) || which[target])
            continue;
        std::int64_t signs = machine.hints().signs();
        std::size_t n = counts.kept.size();
        if (best == nullptr || n < best_left || (n == best_left && signs < best_signs)) {
            best = &c;
            best_signs = signs;
            best_left = n;
            left = which;
        }
    }
    return best;
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

} // namespace delimcheck::checking

