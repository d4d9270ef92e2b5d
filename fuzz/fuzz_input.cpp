#include "fuzz_input.h"

#include <algorithm>
#include <istream>
#include <streambuf>

#include "delimcheck/checker.h"
#include "driver/cli.h"
#include "format/output.h"
#include "format/text_format.h"

fuzz_case decode_fuzz_input(const std::uint8_t *data, std::size_t size)
{
    fuzz_case c;
    unsigned bits = 0;
    if (size >= 2) {
        bits = data[0] | static_cast<unsigned>(data[1]) << 8;
        data += 2;
        size -= 2;
    }
    static const char letters[] = "cegijlmqst";
    std::string opt = "-";
    for (unsigned k = 0; k < 10; ++k)
        if (bits >> k & 1)
            opt += letters[k];
    if (opt.size() > 1)
        c.args.push_back(opt);
    c.standard_input = (bits >> 10 & 1) != 0;
    if (bits >> 11 & 1)
        c.args.push_back("--hints");

    std::string_view rest(reinterpret_cast<const char *>(data), size);
    while (c.inputs.size() < 3) {
        std::size_t cut = rest.find("\xfe\xfd");
        if (cut == std::string_view::npos)
            break;
        c.inputs.push_back(rest.substr(0, cut));
        rest.remove_prefix(cut + 2);
    }
    c.inputs.push_back(rest);
    if (c.standard_input)
        c.inputs.resize(1);
    return c;
}

namespace {

// A stream that cannot go back to its start, so that the hints are read from the first line on.
class one_way_buffer : public std::streambuf {
public:
    explicit one_way_buffer(std::string_view s) : s_(s) { setg(s_.data(), s_.data(), s_.data() + s_.size()); }

private:
    std::string s_;
};

} // namespace

namespace {

delimcheck::driver::run_config parsed(const fuzz_case &c)
{
    std::vector<std::string> storage{"delimcheck"};
    storage.insert(storage.end(), c.args.begin(), c.args.end());
    std::vector<char *> argv;
    for (std::string &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    return delimcheck::driver::parse_command_line(static_cast<int>(storage.size()), argv.data(), stderr).config;
}

} // namespace

delimcheck::options fuzz_options(const fuzz_case &c) { return parsed(c).check; }

std::string apply_fix(std::string_view text, const delimcheck::repair &fix)
{
    std::vector<std::size_t> starts = {0};
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n')
            starts.push_back(i + 1);
    auto offset = [&](delimcheck::position p) {
        auto line = static_cast<std::size_t>(p.line);
        std::size_t at = line >= 1 && line <= starts.size() ? starts[line - 1] : text.size();
        return std::min(at + static_cast<std::size_t>(p.column - 1), text.size());
    };
    std::string out(text);
    for (auto e = fix.edits.rbegin(); e != fix.edits.rend(); ++e)
        out.replace(offset(e->from), offset(e->to) - offset(e->from), e->text);
    return out;
}

std::string run_fuzz_case(const fuzz_case &c, delimcheck::scanner_kind kind, delimcheck::simd_level level,
                          bool one_way, bool repair)
{
    using namespace delimcheck;
    driver::run_config config = parsed(c);
    config.check.scanner = kind;
    config.check.simd = level;
    config.check.repair = repair;

    std::string out;
    format::string_destination dest(out);
    format::output o(dest);
    format::text_format text(config.quiet);
    checker check(config.check, text); // one checker for all the inputs, as a run uses it
    const std::string name = "fuzz";
    for (std::string_view input : c.inputs) {
        text.begin_input(o, c.standard_input ? nullptr : &name);
        if (one_way) {
            one_way_buffer buf(input);
            std::istream in(&buf);
            check.check(in);
        } else {
            check.check(input);
        }
    }
    o.flush();
    return out;
}
