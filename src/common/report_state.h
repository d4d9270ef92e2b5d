// Which input is being checked, and whether its "File" header is out yet.
#pragma once

struct report_state {
    int header_printed = 0;
    const char *current_path = nullptr; // none while standard input is read
};

extern report_state report;

// Prints "File <path>:" before the first line that an input produces, at most once per input.
void print_header_once();
