// Over real scripts, how the repairs stand against Tcl's own reading: how many files Tcl
// breaks on, how many draw a report and a repair, and how many of those repairs would be
// safe if the search were sure of every one. On scripts that Tcl loads, that last count must
// be 0. Reads the names of the files from standard input, one a line; prints the counts, and
// the names behind each non-zero count but the first two.
//
// With --inject N, each file that draws no error has N delimiters ({ } [ ] ") taken out, one
// at a time at random (the same every run), and the counts are of those faults: how many Tcl
// breaks on, how many draw a repair, how many repairs would be safe if the search were sure,
// and how many of those put back exactly what was taken.
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "check/repair_safety.h"
#include "delimcheck/checker.h"
#include "tcl/reading.h"

namespace {

using namespace delimcheck;

// The text with the repair's edits made; positions count lines and byte columns from 1.
std::string repaired(const std::string &text, const repair &fix)
{
    std::vector<std::size_t> starts = {0};
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n')
            starts.push_back(i + 1);
    auto offset = [&](position p) {
        auto line = static_cast<std::size_t>(p.line);
        return line <= starts.size() ? starts[line - 1] + static_cast<std::size_t>(p.column - 1) : text.size();
    };
    std::string out = text;
    for (auto e = fix.edits.rbegin(); e != fix.edits.rend(); ++e)
        out.replace(offset(e->from), offset(e->to) - offset(e->from), e->text);
    return out;
}

// The text without its blanks and newlines: a } put back on a line of its own instead of at
// the end of the line it was taken from reads the same for Tcl.
std::string unblanked(const std::string &s)
{
    std::string out;
    for (char c : s)
        if (c != ' ' && c != '\t' && c != '\n')
            out += c;
    return out;
}

const repair *first_fix(const std::vector<diagnostic> &found, bool &error)
{
    error = false;
    const repair *fix = nullptr;
    for (const diagnostic &d : found) {
        error |= severity_of(d.kind) == severity::error;
        if (!d.fix.empty() && fix == nullptr)
            fix = &d.fix;
    }
    return fix;
}

int inject(int per_file)
{
    options opts;
    opts.hints = true;
    std::mt19937 rng(20261211);
    long files = 0, faults = 0, broken = 0, incomplete = 0, reported = 0, repaired_n = 0, safe = 0, exact = 0,
         safe_exact = 0, safe_blanks = 0, incomplete_repaired = 0, incomplete_safe = 0;
    for (std::string name; std::getline(std::cin, name);) {
        std::ifstream in(name, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        bool error = false;
        first_fix(check(text, opts), error);
        std::vector<std::size_t> at;
        for (std::size_t i = 0; i < text.size(); ++i)
            if (std::string_view("{}[]\"").find(text[i]) != std::string_view::npos)
                at.push_back(i);
        if (error || at.empty() || tcl::read_where_run(text).first)
            continue;
        ++files;
        for (int k = 0; k < per_file; ++k) {
            std::size_t cut = at[std::uniform_int_distribution<std::size_t>(0, at.size() - 1)(rng)];
            std::string faulty = text;
            faulty.erase(cut, 1);
            ++faults;
            bool is_broken = static_cast<bool>(tcl::read_where_run(faulty).first);
            bool is_incomplete = !tcl::complete(faulty);
            broken += is_broken ? 1 : 0;
            incomplete += is_incomplete ? 1 : 0;
            std::vector<diagnostic> found = check(faulty, opts);
            const repair *fix = first_fix(found, error);
            reported += error ? 1 : 0;
            if (fix == nullptr)
                continue;
            ++repaired_n;
            incomplete_repaired += is_incomplete ? 1 : 0;
            bool same = repaired(faulty, *fix) == text;
            exact += same ? 1 : 0;
            repair sure = *fix;
            sure.sure = true;
            if (checking::repair_is_safe(faulty, sure)) {
                ++safe;
                safe_exact += same ? 1 : 0;
                safe_blanks += !same && unblanked(repaired(faulty, *fix)) == unblanked(text) ? 1 : 0;
                incomplete_safe += is_incomplete ? 1 : 0;
            }
        }
    }
    std::cout << "clean files: " << files << "\nfaults (one delimiter taken out): " << faults
              << "\nbroken for Tcl: " << broken << "\nincomplete for info complete: " << incomplete
              << "\nwith an error reported: " << reported << "\ndrawing a repair: " << repaired_n
              << " (putting back exactly what was taken: " << exact << ")\nof those incomplete: " << incomplete_repaired
              << "\nsafe if the search were sure: " << safe << " (exact: " << safe_exact
              << "; the same but for blanks: " << safe_blanks << "; of the incomplete: " << incomplete_safe << ")\n";
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "--inject")
        return inject(std::stoi(argv[2]));
    options opts;
    opts.hints = true;
    long files = 0, reported = 0, repaired = 0, unreadable = 0;
    std::vector<std::string> broken, incomplete, safe_if_sure, flagged_safe;
    for (std::string name; std::getline(std::cin, name);) {
        std::ifstream in(name, std::ios::binary);
        if (!in) {
            ++unreadable;
            continue;
        }
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ++files;
        if (tcl::read_where_run(text).first)
            broken.push_back(name);
        if (!tcl::complete(text))
            incomplete.push_back(name);
        std::vector<diagnostic> found = check(text, opts);
        bool error = false;
        const repair *fix = first_fix(found, error);
        reported += error ? 1 : 0;
        if (fix == nullptr)
            continue;
        ++repaired;
        if (fix->safe)
            flagged_safe.push_back(name);
        repair sure = *fix;
        sure.sure = true;
        if (checking::repair_is_safe(text, sure))
            safe_if_sure.push_back(name);
    }
    auto show = [](const char *what, const std::vector<std::string> &names) {
        std::cout << what << ": " << names.size() << "\n";
        for (const std::string &n : names)
            std::cout << "  " << n << "\n";
    };
    std::cout << "files: " << files << " (unreadable: " << unreadable << ")\n";
    show("broken for Tcl", broken);
    show("incomplete for info complete", incomplete);
    std::cout << "with an error reported: " << reported << "\n";
    std::cout << "drawing a repair: " << repaired << "\n";
    show("repairs safe if the search were sure", safe_if_sure);
    show("repairs flagged safe", flagged_safe);
    return 0;
}
