// The ten process-wide flags that the command line sets.
#pragma once

struct checker_options {
    int hash_lines = 1;           // -c clears: '#' starts a hash line
    int warn_backslash_blank = 0; // -e: warn about "\ " at a line end
    int balancing = 1;            // -g clears: recover after a closer that does not fit
    int report_in_string = 1;     // -i clears: "Inside a string" reports
    int join_lines = 0;           // -j
    int pair_lines = 0;           // -j, -l
    int collapse_pairs = 0;       // -j, -l, -m
    int quiet = 0;                // -q: header only before the first report
    int show_lines = 0;           // -j, -l, -m, -s
    int any_quote_opens = 0;      // -t
};

extern checker_options options;

// Back to the defaults, so that one process can run several command lines (tests, fuzzing).
void reset_options();
