// Runs delimcheck in-process on memory input, or as a child process, and captures its output.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "delimcheck/options.h"

using delimcheck::scanner_kind;
using delimcheck::simd_level;

// One in-process run: the arguments after the program name, and the bytes of standard input.
std::string run_in_process(const std::vector<std::string> &args, std::string_view input,
                           scanner_kind kind = scanner_kind::fast, simd_level level = simd_level::best);

// The SIMD levels this machine can run, scalar first.
std::vector<simd_level> available_levels();

// The same run with every scanner; fails the current test if they disagree, returns the output.
std::string run_checked(const std::vector<std::string> &args, std::string_view input);

struct process_result {
    std::string out;
    std::string err;
    int status = -1; // exit status, or 128 + signal
    long peak_kib = 0; // the child's peak resident set
};

// Runs the built binary with the arguments, in directory `cwd` when it is not empty.
process_result run_binary(const std::vector<std::string> &args, std::string_view input,
                          const std::string &cwd = "", const std::string &stdout_path = "");

// The whole content of a file (empty when it cannot be read).
std::string slurp(const std::string &path);

// A fresh directory under the system's temporary directory, removed by the destructor.
struct temp_dir {
    std::string path;
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
    std::string write(const std::string &name, std::string_view bytes) const;
};

// Makes a readable case name for parameterised tests.
std::string case_name(std::string_view s);
