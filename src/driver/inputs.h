// The inputs of a run, in order: the operands, each directory among them walked under
// --recursive, then the names that --files-from lists; or standard input when there is none.
// They are produced one at a time, so that a long list is never held whole.
#pragma once

#include <dirent.h>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "delimcheck/checker.h"
#include "driver/cli.h"

namespace delimcheck::driver {

struct input {
    std::string name;
    bool standard_input = false;
    int access_error = 0; // the walk could not read this directory: errno
};

// What became of reading an input: why it could not be opened (errno; a directory counts as
// one that cannot be opened), or else why its reading stopped before its end (errno).
struct read_result {
    int access_error = 0;
    int read_error = 0;
};

// Opens the input, hands the descriptor to read, which returns the errno its reading stopped
// on (0 at the end), and closes it. Standard input is stdin_fd, read and left open.
read_result read_input(const input &in, int stdin_fd, const std::function<int(int fd)> &read);

// Appends to bytes all that fd gives until its end; returns 0, or the errno of the read that
// failed (what came before it is kept).
int read_all(int fd, std::string &bytes);

// A UTF-8 byte-order mark at the start of an input is no part of its first line: an editor's
// mark, not the script's text, so columns on line 1 count from the byte after it.
inline constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

// Has c check the input on fd from its start, past a byte-order mark there; returns the errno
// of a read that failed (0 at the end). A file is checked as it streams, and so is a pipe, or
// by pipe when given: what fd is, is known by the first read.
int check_past_mark(int fd, checker &c, const std::function<int(int fd)> &pipe = {});

// The whole of a regular file on fd in one read into buffer, when it is smaller than the
// buffer; false otherwise (a larger file, a pipe, a directory, a read that failed), and fd's
// offset is left where it was. Most scripts are small: one read, and the bytes stay at hand.
bool read_small(int fd, std::vector<char> &buffer, std::string_view &bytes);

// What a walk takes and skips: --include, --exclude and --hidden, or a project file's keys.
struct walk_rules {
    std::vector<std::string> includes; // empty: the script endings
    std::vector<std::string> extend_includes; // taken besides
    std::vector<std::string> excludes;
    bool hidden = false;
    const void *source = nullptr; // the project file they come from; nullptr: none
    // The directory's path below where the excludes start: the project file's directory when
    // they are its own, else the operand walked ("" there).
    std::string below;
};

class input_list {
public:
    input_list(const run_config &config, int stdin_fd);
    // The rules for walking a directory, asked once for each directory walked: those of the
    // nearest project file govern what is below it. Without this, the command line's.
    void set_walk_rules(std::function<walk_rules(const std::string &directory)> rules) { rules_for_ = std::move(rules); }
    ~input_list();
    input_list(const input_list &) = delete;
    input_list &operator=(const input_list &) = delete;

    // The next input, or false when there is none left or the list of --files-from failed.
    bool next(input &in);

    // Why the list of --files-from could not be opened or read ("" while it could): the
    // inputs end there, and the run fails. Errors are values here, as everywhere below the
    // process's edge.
    const std::string &failure() const { return failure_; }

    // What makes the run fail once it is over, one line each: a directory operand whose walk
    // found no file, a list that names no file.
    const std::vector<std::string> &problems() const { return problems_; }

private:
    // A directory being walked: its entries sorted by name, and the next one to look at.
    struct directory {
        std::string path;
        std::string below; // its path below where its rules start ("" for the operand itself)
        std::vector<std::string> entries;
        std::size_t next = 0;
        std::shared_ptr<const walk_rules> rules; // brace alternatives expanded
    };

    bool next_operand(std::string &name);
    bool next_listed(std::string &name);
    bool walk(input &in);
    void enter(const std::string &path, const std::string &below, std::shared_ptr<const walk_rules> rules,
               input &failed);
    std::shared_ptr<const walk_rules> rules_for(const std::string &directory);
    static bool skipped(const walk_rules &rules, const std::string &below, const std::string &entry);
    static bool wanted(const walk_rules &rules, const std::string &entry);

    const run_config &config_;
    int stdin_fd_;
    std::vector<std::string> problems_;
    std::string failure_;
    std::string walk_operand_; // the directory operand being walked
    std::size_t walk_found_ = 0;
    std::size_t listed_ = 0; // the names the list gave
    bool list_empty_said_ = false;
    std::size_t operand_ = 0;
    bool started_ = false;
    // The list of --files-from, read a buffer at a time.
    int list_fd_ = -1;
    bool list_at_end_ = false; // its last byte has been read
    std::string list_buffer_;
    std::size_t list_pos_ = 0;
    // The walk: a stack of open directories, never a recursion.
    std::vector<directory> walk_;
    std::shared_ptr<const walk_rules> rules_; // the command line's, brace alternatives expanded
    std::function<walk_rules(const std::string &directory)> rules_for_;
};

} // namespace delimcheck::driver
