// The command line and the walk over the inputs.
#pragma once

#include <cstdio>

// Sets checker_options from the options before the first operand; leaves optind at it.
void parse_options(int argc, char **argv);

// One input: begin_operand sets up the header of a file operand (and prints it unless -q);
// check_stream then scans an opened input and reports what is left open at its end.
void begin_operand(const char *path);
void check_stream(std::FILE *in);

// The whole program: options, then each file operand in turn, or standard_input when
// there is none. Returns the exit status: 0, or 2 when an input could not be read to its end
// or memory ran out.
int delimcheck_main(int argc, char **argv, std::FILE *standard_input);
