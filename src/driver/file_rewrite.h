// Putting new text into a user's file without ever losing the old, nor anything the file had:
// a temporary file beside it, with its owner, mode, extended attributes and ACLs, written and
// synced, renamed over it only if the file is still what was read.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <optional>
#include <sys/stat.h>

#include "driver/failure.h"

namespace delimcheck::driver {

// The file that a rewrite replaced: its name with every link resolved, and the new file's
// identity.
struct rewritten {
    std::string target;
    dev_t device = 0;
    ino_t inode = 0;
};

// Replaces the file at path, read as `before` when its status was `read`, with `after`. A
// symbolic link is followed: the file it leads to is rewritten and the link stays. A file that
// the process may not write, or whose owner, group, extended attributes or ACLs the new file
// could not keep, is left alone. announce, given the file's resolved name, is called just
// before the new file takes the old one's place; false from it leaves the file alone. Returns
// why the file was left as it was, or nothing once it holds `after`; no temporary file is left
// behind either way, not even when SIGINT, SIGTERM or SIGHUP ends the process meanwhile.
std::optional<failure> rewrite_file(const std::string &path, const struct stat &read, std::string_view before,
                                    std::string_view after, rewritten &where,
                                    const std::function<bool(const std::string &target)> &announce = {});
std::optional<failure> rewrite_file(const std::string &path, const struct stat &read, std::string_view before,
                                    std::string_view after);

} // namespace delimcheck::driver
