#include "fuzz_input.h"

#include <cstdio>

#include "common/output.h"
#include "common/report_state.h"
#include "driver/driver.h"

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

std::string run_fuzz_case(const fuzz_case &c)
{
    std::vector<std::string> storage{"delimcheck"};
    storage.insert(storage.end(), c.args.begin(), c.args.end());
    std::vector<char *> argv;
    for (std::string &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    parse_options(static_cast<int>(storage.size()), argv.data());

    std::string out;
    out_to_string(&out);
    report = report_state{};
    for (std::string_view input : c.inputs) {
        if (!c.standard_input)
            begin_operand("fuzz");
        // fmemopen does not take an empty buffer everywhere; an empty input is /dev/null.
        std::FILE *in = input.empty() ? std::fopen("/dev/null", "r")
                                      : fmemopen(const_cast<char *>(input.data()), input.size(), "r");
        if (in == nullptr)
            __builtin_trap();
        check_stream(in);
        std::fclose(in);
    }
    out_flush();
    return out;
}
