#include "format/json_text.h"

namespace delimcheck::format {

namespace {

const char lower_hex[] = "0123456789abcdef";
const char upper_hex[] = "0123456789ABCDEF";

bool continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the valid UTF-8 sequence that starts s[i] (a byte of 0x80 or more), or 0. The
// second byte's range rules out overlong forms, surrogates and code points past U+10FFFF.
std::size_t utf8_length(std::string_view s, std::size_t i)
{
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char lead = byte(i);
    std::size_t n;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (s.size() - i < n || byte(i + 1) < low || byte(i + 1) > high)
        return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (!continuation(byte(i + k)))
            return 0;
    return n;
}

void unicode_escape(output &out, std::string_view prefix, unsigned char c)
{
    out.text(prefix);
    out.put(lower_hex[c >> 4]);
    out.put(lower_hex[c & 0xF]);
}

void escape_ascii(output &out, unsigned char c)
{
    switch (c) {
    case '"':
        out.text("\\\"");
        break;
    case '\\':
        out.text("\\\\");
        break;
    case '\n':
        out.text("\\n");
        break;
    case '\r':
        out.text("\\r");
        break;
    case '\t':
        out.text("\\t");
        break;
    default:
        unicode_escape(out, "\\u00", c);
        break;
    }
}

bool plain_ascii(unsigned char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; }

} // namespace

// Runs that need no escape, the usual case, are copied whole.
void json_string(output &out, std::string_view s)
{
    out.put('"');
    std::size_t i = 0, run = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (plain_ascii(c)) {
            ++i;
            continue;
        }
        std::size_t n = c >= 0x80 ? utf8_length(s, i) : 0;
        if (n > 0) {
            i += n;
            continue;
        }
        out.text(s.substr(run, i - run));
        if (c < 0x80)
            escape_ascii(out, c);
        else
            unicode_escape(out, "\\udc", c);
        run = ++i;
    }
    out.text(s.substr(run));
    out.put('"');
}

std::string uri_path(std::string_view s)
{
    std::string uri;
    for (char ch : s) {
        unsigned char c = static_cast<unsigned char>(ch);
        bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                    c == '.' || c == '_' || c == '~' || c == '/';
        if (keep) {
            uri += ch;
        } else {
            uri += '%';
            uri += upper_hex[c >> 4];
            uri += upper_hex[c & 0xF];
        }
    }
    return uri;
}

} // namespace delimcheck::format
