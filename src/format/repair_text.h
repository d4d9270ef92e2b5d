// A repair as whole lines: what a diff shows and what the repaired input is made of. Edits
// name bytes by line and column; people and patch(1) read lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "delimcheck/diagnostic.h"
#include "format/output.h"
#include "format/source_lines.h"

namespace delimcheck::format {

// The lines `removed`, from line `first` of the input on, become the lines `added`. Lines keep
// their newlines; only the input's last line may lack one. Either list may be empty.
struct line_change {
    std::int64_t first = 1;
    std::vector<std::string> removed, added;
    friend bool operator==(const line_change &, const line_change &) = default;
};

// The changes that the repair's edits make, in order, without the lines they leave as they
// were. False when an edit does not fit the input: a line or column it does not have, an end
// before its start, edits out of order or overlapping.
bool line_changes(line_source &input, const repair &r, std::vector<line_change> &changes);

// The input with the changes made; false when a line of it cannot be read.
bool apply_changes(line_source &input, const std::vector<line_change> &changes, std::string &after);

// A unified diff of the changes with three lines of context, under the headers
// "--- NAME" and "+++ NAME", as patch -p0 applies it to the file NAME. A name with a blank,
// a quote, a backslash or a byte outside printable ASCII is quoted, as patch reads it. The
// diff of a repair that is not safe says so after a tab on its first header line,
// "--- NAME\tunsafe", where patch reads a date and ignores what it cannot read.
void unified_diff(output &out, std::string_view name, line_source &input, const std::vector<line_change> &changes,
                  bool unsafe = false);

} // namespace delimcheck::format
