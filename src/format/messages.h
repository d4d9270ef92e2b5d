// The words of each diagnostic in the formats that give a position apart from the message
// (gcc, json, github, sarif): today's words of the text format, without the position.
#pragma once

#include <string>

#include "delimcheck/diagnostic.h"

namespace delimcheck::format {

// "Expecting ] got } (balancing {})", "} missing, opened on line 3 char 5", ...
std::string message(const diagnostic &d);

// The second position's words, for the opener that a diagnostic names: "{ opened here",
// "( opened here, discarded". Empty when the diagnostic names no opener.
std::string related_message(const diagnostic &d);

// Where a diagnostic is shown. An input that cannot be read has no position of its own: its
// errors stand at line 1, column 1.
inline position shown_position(const diagnostic &d) { return d.at.line != 0 ? d.at : position{1, 1}; }

} // namespace delimcheck::format
