// Putting new text into a user's file without ever losing the old: a temporary file beside it,
// written and synced, renamed over it only if the file is still what was read.
#pragma once

#include <string>
#include <string_view>
#include <sys/stat.h>

namespace delimcheck::driver {

// Replaces the file at path, read as `before` when its status was `read`, with `after`. A
// symbolic link is followed: the file it leads to is rewritten and the link stays. The new file
// keeps the old one's mode, and its owner where the process may set it. Returns why the file was
// left as it was, or "" once it holds `after`; no temporary file is left behind either way.
std::string rewrite_file(const std::string &path, const struct stat &read, std::string_view before,
                         std::string_view after);

} // namespace delimcheck::driver
