// Writes what the round-trip check parses with real JSON parsers.
//
//   format_roundtrip_tool strings
//     reads lines "NAME TEXT" of two hex strings and writes, for each, three JSON texts, each
//     after a record separator byte: {"name": NAME, "text": TEXT, "github": LINE} with LINE the
//     github format's line for a diagnostic in a file called NAME, then the json and the sarif
//     documents of a run over that file, with the working directory "/" + NAME.
//   format_roundtrip_tool run FORMAT FILE...
//     checks the files ("-" for standard input) and writes the run's document.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "delimcheck/checker.h"
#include "format/json_text.h"
#include "format/formats.h"

#include "document_run.h"

namespace {

using namespace delimcheck;
using namespace delimcheck::format;

std::string from_hex(std::string_view hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return bytes;
}

// Line n's diagnostic: the kinds in turn, every other one naming an opener.
diagnostic made_up(long n)
{
    diagnostic d;
    d.kind = static_cast<diagnostic_kind>(n / 2 % diagnostic_kind_count);
    bool unreadable = d.kind == diagnostic_kind::cannot_access || d.kind == diagnostic_kind::read_error;
    if (unreadable)
        d.system_error = d.kind == diagnostic_kind::cannot_access ? ENOENT : EIO;
    else
        d.at = {n + 1, n % 50 + 1};
    d.got = '}';
    d.expected = ']';
    d.pair_opener = '{';
    d.pair_closer = '}';
    if (n % 2 == 0) {
        d.opener = {n % 7 + 1, n % 11 + 1};
        d.opener_byte = '[';
    }
    return d;
}

std::string document_of(format_kind kind, const std::string &name, const std::string &working_directory,
                        const diagnostic &d)
{
    format_settings s;
    s.kind = kind;
    s.tool_version = "0.0.1";
    s.working_directory = working_directory;
    std::string text;
    string_destination dest(text);
    output out(dest);
    {
        document_run run(s, out);
        run.input(&name, [&](input_writer &w) { w.report(d); });
    }
    out.flush();
    return text;
}

int strings(output &out)
{
    std::string line;
    for (long n = 0; std::getline(std::cin, line); ++n) {
        std::size_t space = line.find(' ');
        std::string name = from_hex(line.substr(0, space));
        std::string text = from_hex(space == std::string::npos ? "" : line.substr(space + 1));
        diagnostic d = made_up(n);
        out.text("\x1e{\"name\": ");
        json_string(out, name);
        out.text(", \"text\": ");
        json_string(out, text);
        out.text(", \"github\": ");
        json_string(out, document_of(format_kind::github, name, "", d));
        out.text("}\n\x1e");
        out.text(document_of(format_kind::json, name, "", d));
        out.put('\x1e');
        out.text(document_of(format_kind::sarif, name, "/" + name, d));
    }
    return 0;
}

void check_file(input_writer &w, const std::string &path)
{
    options o;
    o.hints = true; // as the program checks for every format but text
    o.repair_apart = true; // and mends a fault beside old findings
    checker check(o, w);
    if (path == "-") {
        check.check_fd(STDIN_FILENO);
        return;
    }
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        diagnostic d;
        d.kind = diagnostic_kind::cannot_access;
        d.system_error = errno;
        w.report(d);
        return;
    }
    check.check_fd(fd);
    ::close(fd);
}

int run(output &out, const char *format, char **files)
{
    format_settings s;
    if (!parse_format(format, s.kind))
        return 2;
    s.tool_version = DELIMCHECK_VERSION;
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr)
        return 2;
    s.working_directory = cwd;
    document_run run(s, out);
    for (; *files != nullptr; ++files) {
        std::string path = *files;
        run.input(path == "-" ? nullptr : &path, [&](input_writer &w) { check_file(w, path); });
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    fd_destination dest(STDOUT_FILENO);
    output out(dest);
    int status = 2;
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "strings")
        status = strings(out);
    else if (mode == "run" && argc > 2)
        status = run(out, argv[2], argv + 3);
    else
        std::fputs("usage: format_roundtrip_tool strings | run FORMAT FILE...\n", stderr);
    out.flush();
    return status;
}
