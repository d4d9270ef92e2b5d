#include "check/repair.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "check/nesting_machine.h"
#include "check/repair_lines.h"
#include "check/repair_rules.h"
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

    const options opts;
    tally counts;
    nesting_machine machine;
    scan::block_reader reader;
    kept_lines lines;
    std::int64_t stop = 0;
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
    if (!lines.read(src, from, window, max_bytes_checked / min_edits_checked))
        return {};
    std::vector<candidate> candidates = make_candidates(lines, stop, max_edits);

    const candidate *best = nullptr;
    std::int64_t best_signs = 0, budget = max_bytes_checked;
    for (const candidate &c : candidates) {
        if (give_up && give_up())
            return {};
        budget -= lines.shape().size;
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
    repair fix{best->description, {best->edit}};
    fix.rule = std::string(best->rule);
    return fix;
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
