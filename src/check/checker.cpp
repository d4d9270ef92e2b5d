#include "delimcheck/checker.h"

#include <cerrno>

#include "check/nesting_machine.h"
#include "scan/block_reader.h"
#include "scan/block_scanner.h"
#include "scan/byte_source.h"
#include "scan/plain_scanner.h"

namespace delimcheck {

namespace {

// Between the machine and the caller's sink when the hints are deferred: an input read again from
// its start gives again what its first reading gave, which is not to be passed on twice.
class relay_sink final : public sink {
public:
    explicit relay_sink(sink &to) : to_(to) {}
    void report(const diagnostic &d) override
    {
        if (skip_reports_ > 0) {
            --skip_reports_;
            return;
        }
        ++reports_;
        to_.report(d);
    }
    void listing(const listing_line &l) override
    {
        if (skip_lines_ > 0) {
            --skip_lines_;
            return;
        }
        ++lines_;
        to_.listing(l);
    }
    void start() { reports_ = lines_ = skip_reports_ = skip_lines_ = 0; }
    void start_again()
    {
        skip_reports_ = reports_;
        skip_lines_ = lines_;
        reports_ = lines_ = 0;
    }

private:
    sink &to_;
    std::uint64_t reports_ = 0, lines_ = 0, skip_reports_ = 0, skip_lines_ = 0;
};

} // namespace

struct checker::impl {
    impl(const delimcheck::options &o, sink &out)
        : opts(o), relay(out), machine(o, o.hints ? static_cast<sink &>(relay) : out), reader(o.simd)
    {
    }

    // With hints, an input that can be read again is first read without them: if it gives no
    // report that would carry one, that was all.
    check_result run(scan::byte_source &src)
    {
        if (!opts.hints || !src.can_rewind()) {
            machine.set_hint_mode(opts.hints ? checking::hint_mode::on : checking::hint_mode::off);
            relay.start();
            return pass(src);
        }
        machine.set_hint_mode(checking::hint_mode::deferred);
        relay.start();
        try {
            return pass(src);
        } catch (const checking::hints_needed &) {
        }
        relay.start_again();
        machine.set_hint_mode(checking::hint_mode::on);
        if (!src.rewind())
            return {EIO}; // it could be read again a moment ago
        return pass(src);
    }

    check_result pass(scan::byte_source &src)
    {
        machine.begin_input();
        position end = scan_in_mode(src);
        machine.end_input(end);
        return {src.error()};
    }

    // One instance of each scanner per mode: the listing, the -e warning and the hints.
    position scan_in_mode(scan::byte_source &src)
    {
        using mode = checking::machine_mode;
        bool l = machine.lists(), w = machine.warns_backslash_blank(), h = machine.gives_hints();
        if (h)
            return l ? w ? scan<mode{true, true, true}>(src) : scan<mode{true, false, true}>(src)
                     : w ? scan<mode{false, true, true}>(src) : scan<mode{false, false, true}>(src);
        return l ? w ? scan<mode{true, true, false}>(src) : scan<mode{true, false, false}>(src)
                 : w ? scan<mode{false, true, false}>(src) : scan<mode{false, false, false}>(src);
    }

    template <checking::machine_mode Mode> position scan(scan::byte_source &src)
    {
        checking::machine_view<Mode> view(machine);
        return opts.scanner == scanner_kind::plain ? scan::scan_plain(src, view) : scan::scan_blocks(reader, src, view);
    }

    const delimcheck::options opts;
    relay_sink relay;
    checking::nesting_machine machine;
    scan::block_reader reader;
};

checker::checker(const delimcheck::options &opts, sink &out) : impl_(std::make_unique<impl>(opts, out)) {}
checker::~checker() = default;
checker::checker(checker &&) noexcept = default;

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
