#include "listing/delim_joining.h"

#include "check/delim_stack.h"
#include "listing/line_pairing.h"
#include "listing/line_recorder.h"

// The line's closers, from its first on, answer the records' openers from the newest back.
// A failure undoes nothing: cuts and dropped records stay, and the line keeps what was
// left of it when the last record was dropped.
int join_line()
{
    std::string &d = listing.line_delims;
    std::size_t start = 0; // where this pass begins in d; earlier bytes closed dropped records
    for (;;) {
        if (record_stack.empty()) {
            d.erase(0, start);
            return 0;
        }
        line_record &r = record_stack.back();
        std::size_t i = start;
        while (i < d.size() && r.delims_end > r.delims_begin) {
            if (!is_pair(record_bytes[r.delims_end - 1], d[i])) {
                d.erase(0, start);
                return 0;
            }
            --r.delims_end; // cut the record's last delimiter
            ++i;
        }
        if (r.delims_end == r.delims_begin)
            pop_record();
        if (i == d.size())
            return 1;
        start = i;
    }
}
