// What the repair search decides on each file named: one line each, the repair of its first
// fault as the library gives it, with what the output formats leave out. For bench/locate.
//   repair_probe FILE...   prints   FILE<TAB>VERDICT<TAB>rule<TAB>description   ("-" for none), the
//   verdict "safe" (what --fix writes), else "sure" or "unsure".
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "delimcheck/checker.h"

int main(int argc, char **argv)
{
    delimcheck::options o;
    o.hints = true;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const delimcheck::repair *fix = nullptr;
        std::vector<delimcheck::diagnostic> ds = delimcheck::check(text, o);
        for (const delimcheck::diagnostic &d : ds)
            if (!d.fix.empty()) {
                fix = &d.fix;
                break;
            }
        std::cout << argv[i] << '\t';
        if (fix == nullptr)
            std::cout << "-\t-\t-\n";
        else
            std::cout << (fix->safe ? "safe" : fix->sure ? "sure" : "unsure") << '\t' << fix->rule << '\t' << fix->description << '\n';
    }
    return 0;
}
