// The plain scanner: one byte at a time, every byte through its step. It is the reference
// that the fast scanner is tested against, byte for byte.
#pragma once

#include "scan/byte_source.h"
#include "scan/lexer.h"

namespace delimcheck::scan {

// Scans the whole input, or up to the end of the line where the machine stopped; returns
// where it ended.
template <machine M> position scan_plain(byte_source &src, M &m)
{
    byte_reader in(src);
    lex_state s;
    std::int64_t column = 0;
    for (int c; (c = in.get()) >= 0;) {
        ++column;
        if constexpr (M::hints_on()) {
            if (s.line_pending) {
                if (c == ' ' || c == '\t') {
                    s.indent = indent_after(s.indent, static_cast<unsigned char>(c));
                } else if (c != '\n') {
                    m.line_begins({s.line, column}, s.indent, static_cast<unsigned char>(c), s.at_line_start);
                    s.line_pending = false;
                }
            }
        }
        switch (c) {
        case '\\': {
            int escaped = in.get();
            if (escaped < 0)
                return end_position(s, column); // the backslash has no further effect
            escape_step(s, m, static_cast<unsigned char>(escaped), column);
            column = escaped == '\n' ? 0 : column + 1;
            break;
        }
        case '"':
            quote_step(s, m, static_cast<signed char>(in.peek()), column);
            break;
        case ' ':
        case '\t':
            if (s.at_line_start) {
                char blank = static_cast<char>(c);
                m.record_blanks(&blank, 1);
            }
            s.prev = static_cast<signed char>(c); // a blank keeps the line start and a pending escaped blank
            break;
        case '\n':
            newline_step(s, m, column);
            column = 0;
            if constexpr (M::stops())
                if (m.stopped())
                    return end_position(s, column);
            break;
        case '#':
            hash_step(s, m);
            break;
        case '(':
        case ')':
        case '[':
        case ']':
        case '{':
        case '}':
            delimiter_step(s, m, static_cast<unsigned char>(c), column);
            break;
        default:
            plain_step(s, static_cast<unsigned char>(c));
            break;
        }
    }
    return end_position(s, column);
}

} // namespace delimcheck::scan
