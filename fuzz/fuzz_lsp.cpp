// The language server on arbitrary bytes. The first byte chooses what is fuzzed:
// - even: the bytes are the server's whole input, given a few at a time (the second byte says
//   how many), so that framing, JSON, dispatch and edits all meet broken input; with the
//   second bit set, the repair search runs on its own thread without a pause, as in an editor,
//   so that waiting code actions, cancels and superseded searches meet it;
// - odd: a document and a run of edits in both encodings, decoded from the bytes, so that the
//   clamping of positions is reached without the JSON around it. Text that was valid UTF-8
//   must stay so, and a checker position must come back to its own offset.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "format/output.h"
#include "lsp/document.h"
#include "lsp/message_reader.h"
#include "lsp/server.h"
#include "lsp/text_position.h"

namespace {

using namespace delimcheck::lsp;

class null_destination final : public delimcheck::format::destination {
public:
protected:
    int put(const char *, std::size_t) override { return 0; }
};

bool valid_utf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

struct byte_reader {
    std::string_view rest;
    unsigned next() // 0 when the bytes are used up
    {
        if (rest.empty())
            return 0;
        unsigned char c = static_cast<unsigned char>(rest.front());
        rest.remove_prefix(1);
        return c;
    }
    std::string_view take(std::size_t n)
    {
        n = std::min(n, rest.size());
        std::string_view s = rest.substr(0, n);
        rest.remove_prefix(n);
        return s;
    }
};

void serve_bytes(std::string_view bytes, std::size_t step, bool background)
{
    memory_input in(bytes, step);
    null_destination out;
    serve(in, out, background, std::chrono::milliseconds(0), false);
}

// Each edit: an encoding bit and four small numbers (start line, character, end line,
// character, some of them negative or far out), the length of its text, the text.
void edit_document(byte_reader r)
{
    std::string_view first = r.take(r.next());
    document d(std::string(first), 1);
    bool valid = valid_utf8(first);
    while (!r.rest.empty()) {
        unsigned flags = r.next();
        encoding enc = flags & 1 ? encoding::utf8 : encoding::utf16;
        auto number = [&] { return static_cast<std::int64_t>(r.next()) - (flags & 2 ? 8 : 0); };
        client_range range{{number(), number()}, {number(), number()}};
        std::string_view text = r.take(r.next() % 16);
        valid = valid && valid_utf8(text);
        d.edit(range, text, enc);
        if (valid && !valid_utf8(d.text()))
            __builtin_trap();
    }
    // Every byte offset at the start of a character, as a checker position and back.
    const std::string &t = d.text();
    if (!valid)
        return;
    std::int64_t line = 1;
    std::size_t line_start = 0;
    for (std::size_t o = 0; o <= t.size(); ++o) {
        if (o == t.size() || (static_cast<unsigned char>(t[o]) & 0xC0) != 0x80) {
            delimcheck::position p{line, static_cast<std::int64_t>(o - line_start) + 1};
            for (encoding enc : {encoding::utf16, encoding::utf8}) {
                line_index lines(t, {line});
                std::size_t back = offset_of(t, lines.to_client(p, enc), enc);
                bool crlf_inside = o < t.size() && t[o] == '\n' && o > line_start && t[o - 1] == '\r';
                if (back != o && !crlf_inside)
                    __builtin_trap();
            }
        }
        if (o < t.size() && t[o] == '\n') {
            ++line;
            line_start = o + 1;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::string_view bytes(reinterpret_cast<const char *>(data), size);
    if ((data[0] & 1) == 0) {
        std::size_t step = size > 1 ? data[1] % 64 + 1 : 1;
        serve_bytes(bytes.substr(std::min<std::size_t>(2, size)), step, (data[0] & 2) != 0);
    } else {
        edit_document(byte_reader{bytes.substr(1)});
    }
    return 0;
}
