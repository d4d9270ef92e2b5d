// Everything the checker prints goes through this buffer to standard output.
// A printf per report line costs more than the scan itself on report-heavy inputs,
// so lines are assembled here and written in large blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Where the bytes go: a file descriptor (standard output by default), or a string
// when the checker runs in-process (tests, fuzzing, benchmarks).
void out_to_fd(int fd);
void out_to_string(std::string *capture);

void out_bytes(const char *p, std::size_t n);
void out_text(std::string_view s);
void out_char(char c);
void out_decimal(std::int64_t v);
// Right-aligned in `width` places, wider when the number has more digits.
void out_padded_decimal(std::int64_t v, int width);

// Writes what is buffered. A write error other than a broken pipe prints one line to
// standard error and exits with status 2; a broken pipe ends the process as SIGPIPE would.
void out_flush();
