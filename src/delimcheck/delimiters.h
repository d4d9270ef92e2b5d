// Byte predicates that the checker and the listing share.
#pragma once

namespace delimcheck {

namespace detail {
// The opener of each closer, 0 for every other byte. A table, because the listing asks for
// every delimiter it records, and a branch on the byte mispredicts there.
struct opener_table {
    char of[256] = {};
    constexpr opener_table()
    {
        of[static_cast<unsigned char>('"')] = '"';
        of[static_cast<unsigned char>(')')] = '(';
        of[static_cast<unsigned char>(']')] = '[';
        of[static_cast<unsigned char>('}')] = '{';
    }
};
inline constexpr opener_table openers;
} // namespace detail

// '"' '(' '[' '{' for the four closers, '@' for any other byte.
inline char opener_of(char b)
{
    char o = detail::openers.of[static_cast<unsigned char>(b)];
    return o != 0 ? o : '@';
}

// True for '"' '"', '(' ')', '[' ']' and '{' '}' only.
inline bool is_pair(char opener, char closer)
{
    char o = detail::openers.of[static_cast<unsigned char>(closer)];
    return o != 0 && o == opener;
}

// The higher class of the two: '}' over ']' over ')'; '@' when neither is one of them.
inline char balancing_closer(char a, char b)
{
    if (a == '}' || b == '}')
        return '}';
    if (a == ']' || b == ']')
        return ']';
    if (a == ')' || b == ')')
        return ')';
    return '@';
}

// isspace in the C locale, for a byte taken as a signed char: 0x09-0x0D and 0x20. Bytes
// 0x80-0xFF arrive negative and are never blank; so is the end of input (-1).
inline bool is_c_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

} // namespace delimcheck
