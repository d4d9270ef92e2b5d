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
        std::string &r = record_stack.back().delims;
        std::size_t i = start;
        while (i < d.size() && !r.empty()) {
            if (!is_pair(r.back(), d[i])) {
                d.erase(0, start);
                return 0;
            }
            r.pop_back();
            ++i;
        }
        if (r.empty())
            pop_record();
        if (i == d.size())
            return 1;
        start = i;
    }
}
