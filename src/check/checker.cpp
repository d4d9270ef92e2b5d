#include "delimcheck/checker.h"

#include <algorithm>
#include <cerrno>

#include "check/repair.h"
#include "check/repair_safety.h"
#include "check/nesting_machine.h"
#include "scan/block_reader.h"
#include "scan/block_scanner.h"
#include "scan/byte_source.h"
#include "scan/plain_scanner.h"

namespace delimcheck {

namespace {

// Between the second reading of an input and the caller's sink. The first reading passed on
// everything before the first nesting fault and stopped there (until_first_fault); this one
// passes on the rest.
// When a repair mends the input, every fault from there on stems from the one it mends: each
// is placed at the repair, and the first carries it. When repairs mend faults apart from
// others, each places the reports it mends, and the first of them carries it; the others keep
// their own hints.
class after_first_error final : public sink {
public:
    after_first_error(sink &to, const repair &fix, const std::vector<checking::mended_fault> &apart)
        : to_(to), fix_(fix), apart_(apart), carried_(apart.size(), false)
    {
    }
    sink_answer report(const diagnostic &d) override
    {
        bool fault = checking::is_nesting_fault(d.kind);
        if (!passing_ && !fault)
            return sink_answer::more;
        passing_ = true;
        if (!fault || fix_.empty())
            return to_.report(d);
        const repair *fix = apart_.empty() ? &fix_ : nullptr;
        std::size_t k = 0;
        for (; fix == nullptr && k < apart_.size(); ++k) {
            const auto &r = apart_[k].reports;
            if (std::find(r.begin(), r.end(), checking::report_place{d.at, d.opener}) != r.end())
                fix = k == 0 ? &fix_ : &apart_[k].fix; // the first as the search's caller has it
        }
        if (fix == nullptr)
            return to_.report(d);
        d_ = d;
        d_.likely = checking::repair_hint(*fix);
        if (!apart_.empty())
            d_.likely.reason = hint_reason::repaired_apart;
        char &carried = apart_.empty() ? carried_whole_ : carried_[k - 1];
        if (!carried)
            d_.fix = *fix;
        carried = 1;
        sink_answer a = to_.report(d_);
        d_.fix = {};
        return a;
    }
    void listing(const listing_line &l) override
    {
        if (passing_)
            to_.listing(l);
    }

private:
    sink &to_;
    const repair &fix_;
    const std::vector<checking::mended_fault> &apart_;
    std::vector<char> carried_; // of each repair apart: the first report it mends carries it
    char carried_whole_ = 0;
    bool passing_ = false;
    diagnostic d_;
};

// The first reading of an input to be read again with the hints: reports go on to `to` up to
// the first nesting fault, which is kept back and ends the input.
class until_first_fault final : public sink {
public:
    explicit until_first_fault(sink &to) : to_(to) {}
    sink_answer report(const diagnostic &d) override
    {
        if (!checking::is_nesting_fault(d.kind))
            return to_.report(d);
        found = true;
        return sink_answer::stop;
    }
    void listing(const listing_line &l) override { to_.listing(l); }
    bool found = false;

private:
    sink &to_;
};

// The input as the scanners read it: for them it ends once the sink has said stop, at their
// next read (the fast scanner's next block), so that a sink that stops early spares the rest
// of a large input. Asked once a read, it costs the scanning loops nothing.
class until_ended final : public scan::byte_source {
public:
    until_ended(scan::byte_source &src, const checking::nesting_machine &m) : src_(src), machine_(m) {}
    std::size_t read(unsigned char *p, std::size_t n) override { return machine_.ended() ? 0 : src_.read(p, n); }

private:
    scan::byte_source &src_;
    const checking::nesting_machine &machine_;
};

} // namespace

struct checker::impl {
    impl(const delimcheck::options &o, sink &out) : opts(o), out(out), machine(o, out), reader(o.simd) {}

    // With hints, an input that can be read again is first read without them, up to its first
    // nesting fault: if it has none, that was all. Otherwise it is read again from its start,
    // with the hints and the repair that mends it, if one does.
    check_result run(scan::byte_source &src)
    {
        machine.send_to(out);
        machine.set_stops(false);
        if (!opts.hints || !src.can_rewind()) {
            machine.set_hint_mode(opts.hints ? checking::hint_mode::on : checking::hint_mode::off);
            return pass(src);
        }
        machine.set_hint_mode(checking::hint_mode::off);
        machine.set_stops(true);
        until_first_fault before(out);
        machine.send_to(before);
        check_result first = pass(src);
        machine.send_to(out);
        machine.set_stops(false);
        if (!before.found)
            return first; // no fault, or out itself said stop
        // A stream's size is not known (-1): the search learns it, and gives up past its limit.
        bool search = opts.repair && checking::repair_search::affordable(src.size());
        repair fix = search ? mend(src) : repair{};
        if (!src.rewind())
            return {EIO}; // it could be read again a moment ago
        after_first_error rest(out, fix, fix.empty() ? none_apart : searcher->faults_apart());
        machine.send_to(rest);
        machine.set_hint_mode(checking::hint_mode::on);
        check_result r = pass(src);
        machine.send_to(out);
        return r;
    }

    repair mend(scan::byte_source &src)
    {
        if (!searcher)
            searcher = std::make_unique<checking::repair_search>(opts);
        repair fix = searcher->find(src, give_up);
        fix.safe = checking::repair_is_safe(src, fix);
        return fix;
    }

    check_result pass(scan::byte_source &src)
    {
        machine.begin_input();
        position end = scan_in_mode(src);
        if (!machine.ended())
            machine.end_input(end);
        return {src.error()};
    }

    // One instance of each scanner per mode: the listing, the -e warning, the hints and the stop.
    position scan_in_mode(scan::byte_source &src)
    {
        if (machine.gives_hints())
            return scan_with<true, false>(src);
        return machine.stops() ? scan_with<false, true>(src) : scan_with<false, false>(src);
    }

    template <bool Hints, bool Stops> position scan_with(scan::byte_source &src)
    {
        bool l = machine.lists(), w = machine.warns_backslash_blank();
        return l ? w ? scan<checking::machine_mode{true, true, Hints, Stops}>(src)
                     : scan<checking::machine_mode{true, false, Hints, Stops}>(src)
                 : w ? scan<checking::machine_mode{false, true, Hints, Stops}>(src)
                     : scan<checking::machine_mode{false, false, Hints, Stops}>(src);
    }

    template <checking::machine_mode Mode> position scan(scan::byte_source &src)
    {
        checking::machine_view<Mode> view(machine);
        until_ended wanted(src, machine);
        return opts.scanner == scanner_kind::plain ? scan::scan_plain(wanted, view)
                                                   : scan::scan_blocks(reader, wanted, view);
    }

    const delimcheck::options opts;
    sink &out;
    checking::nesting_machine machine;
    scan::block_reader reader;
    std::unique_ptr<checking::repair_search> searcher; // made for the first input with a fault
    std::function<bool()> give_up;                      // asked between a search's edits
    const std::vector<checking::mended_fault> none_apart;
};

checker::checker(const delimcheck::options &opts, sink &out) : impl_(std::make_unique<impl>(opts, out)) {}
checker::~checker() = default;
checker::checker(checker &&) noexcept = default;

void checker::set_give_up(std::function<bool()> give_up) { impl_->give_up = std::move(give_up); }

check_result checker::check(std::string_view bytes)
{
    scan::memory_source src(bytes);
    return impl_->run(src);
}

check_result checker::check(std::istream &in)
{
    scan::istream_source src(in);
    return impl_->run(src);
}

check_result checker::check_fd(int fd)
{
    scan::fd_source src(fd);
    return impl_->run(src);
}

std::vector<diagnostic> check(std::string_view bytes, const options &opts)
{
    collecting_sink out;
    checker(opts, out).check(bytes);
    return std::move(out.diagnostics);
}

} // namespace delimcheck
