// Writes the deterministic benchmark corpora: gen_corpus KIND MEBIBYTES_OR_DEPTH OUTPUT
//   typical  well-formed script text, nearly free of reports
//   dense    mostly delimiters, quotes, backslashes and newlines
//   reports  every line gives reports
//   deep     DEPTH nested openers, then their closers
//   deep-open DEPTH nested openers, never closed
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A small fixed generator, so that the corpora are the same on every machine.
struct rng {
    std::uint64_t s = 0x9e3779b97f4a7c15ull;
    std::uint64_t next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
};

const char *const words[] = {"set", "puts", "incr", "lappend", "foreach", "return", "string", "length",
                             "result", "value", "count", "index", "list", "name", "item", "total"};

std::string word(rng &r) { return words[r.below(sizeof words / sizeof *words)]; }

std::string indent(int depth) { return std::string(static_cast<std::size_t>(depth) * 4, ' '); }

// One procedure of ordinary script text.
void typical_proc(rng &r, std::string &out)
{
    out += "# " + word(r) + " the " + word(r) + " of each " + word(r) + " {see below}\n";
    out += "proc " + word(r) + "_" + word(r) + " {" + word(r) + " {" + word(r) + " 0}} {\n";
    int depth = 1;
    int lines = 8 + static_cast<int>(r.below(24));
    for (int i = 0; i < lines; ++i) {
        switch (r.below(9)) {
        case 0:
            out += indent(depth) + "set " + word(r) + " [" + word(r) + " $" + word(r) + " " + word(r) + "]\n";
            break;
        case 1:
            out += indent(depth) + "puts \"the " + word(r) + " is [" + word(r) + " $" + word(r) + "] now\"\n";
            break;
        case 2:
            if (depth < 5) {
                out += indent(depth) + "if {($" + word(r) + " + 1) > [" + word(r) + " $" + word(r) + "]} {\n";
                ++depth;
            }
            break;
        case 3:
            if (depth > 1) {
                --depth;
                out += indent(depth) + "}\n";
            }
            break;
        case 4:
            out += indent(depth) + "# " + word(r) + " " + word(r) + " and " + word(r) + " " + word(r) + "\n";
            break;
        case 5:
            out += indent(depth) + "lappend " + word(r) + " $" + word(r) + "(" + word(r) + ") \\\n" +
                   indent(depth + 1) + "\"" + word(r) + "\" " + word(r) + "\n";
            break;
        case 6:
            out += indent(depth) + "set " + word(r) + " [expr {$" + word(r) + " * ($" + word(r) + " - 2)}]\n";
            break;
        case 7:
            if (depth < 5) {
                out += indent(depth) + "foreach " + word(r) + " $" + word(r) + " {\n";
                ++depth;
            }
            break;
        default:
            out += "\n";
            break;
        }
    }
    while (depth > 1) {
        --depth;
        out += indent(depth) + "}\n";
    }
    out += indent(1) + "return $" + word(r) + "\n}\n\n";
}

void dense_line(rng &r, std::string &out)
{
    static const char bytes[] = "{}[]()\"\\ \n{}[]()\"\\#";
    std::size_t n = 1 + r.below(40);
    for (std::size_t i = 0; i < n; ++i)
        out += bytes[r.below(sizeof bytes - 1)];
    out += '\n';
}

void reports_line(rng &r, std::string &out)
{
    static const char *const lines[] = {"}\n", "{ ( ]\n", "set a \"b\"c\n", "[ { ]\n", "{ \"a { ( \" }\n",
                                        ")]}\n", "{ \"x ] \" }\n", "( [ ) }\n"};
    out += lines[r.below(sizeof lines / sizeof *lines)];
}

bool write_all(std::FILE *f, const std::string &s)
{
    return std::fwrite(s.data(), 1, s.size(), f) == s.size();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: gen_corpus typical|dense|reports|deep|deep-open SIZE OUTPUT\n");
        return 2;
    }
    std::string kind = argv[1];
    std::uint64_t size = std::strtoull(argv[2], nullptr, 10);
    std::FILE *f = std::fopen(argv[3], "wb");
    if (f == nullptr) {
        std::perror(argv[3]);
        return 2;
    }
    rng r;
    std::string chunk;
    bool ok = true;
    if (kind == "deep" || kind == "deep-open") {
        chunk.reserve(1 << 20);
        for (std::uint64_t i = 0; i < size && ok; ++i) {
            chunk += "{\n";
            if (chunk.size() >= (1 << 20)) {
                ok = write_all(f, chunk);
                chunk.clear();
            }
        }
        for (std::uint64_t i = 0; kind == "deep" && i < size && ok; ++i) {
            chunk += "}\n";
            if (chunk.size() >= (1 << 20)) {
                ok = write_all(f, chunk);
                chunk.clear();
            }
        }
        ok = ok && write_all(f, chunk);
    } else {
        std::uint64_t target = size << 20, written = 0;
        while (written < target && ok) {
            chunk.clear();
            while (chunk.size() < (1 << 16)) {
                if (kind == "typical")
                    typical_proc(r, chunk);
                else if (kind == "dense")
                    dense_line(r, chunk);
                else
                    reports_line(r, chunk);
            }
            ok = write_all(f, chunk);
            written += chunk.size();
        }
    }
    if (std::fclose(f) != 0 || !ok) {
        std::perror(argv[3]);
        return 2;
    }
    return 0;
}
