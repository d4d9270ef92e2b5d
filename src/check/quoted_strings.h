// What a double quote means: it opens a string, closes one, or is plain text in a word.
#pragma once

// prev is the byte before the quote; follower the byte after it, -1 at end of input.
void handle_quote(signed char prev, signed char follower);
