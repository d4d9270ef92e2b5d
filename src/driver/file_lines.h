// The lines of a named file, read again on demand for a format that shows them. The file is
// opened at the first line asked for, so that an input with nothing to show costs nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/source_lines.h"

namespace delimcheck::driver {

class file_lines final : public format::line_source {
public:
    explicit file_lines(std::string path) : path_(std::move(path)) {}
    ~file_lines() override;
    file_lines(const file_lines &) = delete;
    file_lines &operator=(const file_lines &) = delete;

    bool line(std::int64_t n, std::string &text) override;

private:
    static constexpr std::int64_t mark_every = 256;

    bool opened();
    bool read_at(std::int64_t offset, std::string &block);

    std::string path_;
    int fd_ = -1;
    bool failed_ = false;
    // marks_[k] is where line k * mark_every + 1 starts: a line is found from the mark before
    // it, not from the start of the file, at a cost of a number per mark_every lines.
    std::vector<std::int64_t> marks_{0};
};

} // namespace delimcheck::driver
