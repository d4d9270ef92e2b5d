// Whether a repair is safe to write unasked: whether it mends code that Tcl itself cannot read
// or run, and nothing else. The checker's rules are stricter than Tcl's, so a report on code
// that Tcl reads fine is the rules' word only, and an edit that silences it changes a working
// program.
#pragma once

#include <string_view>

#include "delimcheck/diagnostic.h"
#include "scan/byte_source.h"

namespace delimcheck::checking {

// Safe when all of these hold:
// - the search is sure of the repair (fix.sure);
// - Tcl breaks on the input, in the script or in a body that a command runs (tcl/reading.h);
// - every edit lies where Tcl breaks first: from the opener of what fails (the brace, bracket
//   or quote left open, the word followed by extra characters) up to where Tcl stops;
// - Tcl reads the repaired input without a break anywhere, and runs each command it reads there
//   as far as its shape goes: no if left without its body, say;
// - in the repaired input, every byte the repair puts in (or, for a deletion, the byte before
//   the gap) is code that Tcl reads as such: not in a comment, not in a braced word that is
//   not run as a script here.
// The input and the repaired input are read as Tcl's source reads a file: up to the first ^Z.
bool repair_is_safe(std::string_view input, const repair &fix);

// The same for an input that can be read again from its start; false when it cannot.
bool repair_is_safe(scan::byte_source &src, const repair &fix);

// Whether Tcl reads the input with the repair made without a break, and would run each command
// it reads there as far as its shape goes. Between two repairs that the checker finds alike,
// one that Tcl refuses is none.
bool tcl_accepts(std::string_view input, const repair &fix);

// The whole of an input that can be read again from its start; false when it cannot.
bool read_whole(scan::byte_source &src, std::string &out);

} // namespace delimcheck::checking
