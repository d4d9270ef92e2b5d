// Checks a script given on standard input with the library, prints each diagnostic as
// CODE LINE:COLUMN and what it names, and counts listing lines through a sink of its own.
#include <delimcheck/checker.h>

#include <iostream>
#include <iterator>
#include <string>

namespace {

class printing_sink : public delimcheck::sink {
public:
    int listed = 0;
    delimcheck::sink_answer report(const delimcheck::diagnostic &d) override
    {
        std::cout << delimcheck::code(d.kind) << ' ' << d.at.line << ':' << d.at.column;
        if (d.opener.line != 0)
            std::cout << " opener " << d.opener_byte << ' ' << d.opener.line << ':' << d.opener.column;
        std::cout << '\n';
        return delimcheck::sink_answer::more;
    }
    void listing(const delimcheck::listing_line &) override { ++listed; }
};

} // namespace

int main()
{
    std::string script{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    std::cout << delimcheck::check(script).size() << " diagnostics\n";
    delimcheck::options opts;
    opts.listing = delimcheck::listing_mode::join;
    printing_sink out;
    delimcheck::checker(opts, out).check(script);
    std::cout << out.listed << " listing lines\n";
}
