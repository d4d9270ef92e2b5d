#include "listing/line_recorder.h"

#include "check/delim_stack.h"
#include "check/scanner.h"
#include "common/bytes.h"
#include "common/checker_options.h"
#include "common/output.h"
#include "common/report_state.h"
#include "listing/line_pairing.h"

listing_state listing;

void print_listing_line(std::int64_t line, std::string_view text)
{
    print_header_once();
    out_padded_decimal(line, 5);
    out_text(" : ");
    out_text(text);
    out_char('\n');
}

void flush_line()
{
    if (!options.show_lines)
        return;
    if (listing.delim_count > 0) {
        if (options.pair_lines) {
            // Blanks are recorded only before a line's first delimiter, so the delimiters
            // are the text's last delim_count bytes.
            std::size_t n = static_cast<std::size_t>(listing.delim_count);
            listing.line_delims.assign(listing.line_text, listing.line_text.size() - n, n);
            pair_line();
        } else
            print_listing_line(scan.line_number, listing.line_text);
    }
    listing.line_text.clear();
    listing.line_delims.clear();
    listing.delim_count = 0;
}
