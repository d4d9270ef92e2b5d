#include "delimcheck/checker.h"

#include "check/steps.h"
#include "scan/block_reader.h"
#include "scan/block_scanner.h"
#include "scan/byte_source.h"
#include "scan/plain_scanner.h"

namespace delimcheck {

struct checker::impl {
    impl(const delimcheck::options &o, sink &out) : opts(o), machine(o, out), reader(o.simd) {}

    check_result run(scan::byte_source &src)
    {
        machine.begin_input();
        bool listing = machine.lists(), warn = machine.warns_backslash_blank();
        position end = listing ? warn ? scan<true, true>(src) : scan<true, false>(src)
                               : warn ? scan<false, true>(src) : scan<false, false>(src);
        machine.end_input(end);
        return {src.error()};
    }

    template <bool Listing, bool Warn> position scan(scan::byte_source &src)
    {
        checking::steps_view<Listing, Warn> view(machine);
        return opts.scanner == scanner_kind::plain ? scan::scan_plain(src, view) : scan::scan_blocks(reader, src, view);
    }

    const delimcheck::options opts;
    checking::steps machine;
    scan::block_reader reader;
};

checker::checker(const delimcheck::options &opts, sink &out) : impl_(std::make_unique<impl>(opts, out)) {}
checker::~checker() = default;
checker::checker(checker &&) noexcept = default;

const options &checker::options() const { return impl_->opts; }

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
