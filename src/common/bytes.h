// Byte classes shared by the quote rules and the listing.
#pragma once

// isspace in the C locale, for a byte taken as a signed char: 0x09-0x0D and 0x20.
// Bytes 0x80-0xFF arrive negative and are never blank; so is EOF (-1). Written out
// rather than calling isspace, which is undefined for negative values other than EOF.
inline bool is_c_space(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
