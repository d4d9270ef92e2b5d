// The listing of one input: what each line does to the nesting, its indentation and the
// delimiters the checker tracked on it. The checker hands it every byte it is to see.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "delimcheck/delimiters.h"
#include "delimcheck/options.h"
#include "delimcheck/sink.h"
#include "listing/byte_buffer.h"
#include "listing/line_records.h"

namespace delimcheck::listing {

class listing {
public:
    explicit listing(listing_mode mode)
        : show_(mode >= listing_mode::show), collapse_(mode >= listing_mode::collapse),
          pair_(mode >= listing_mode::pair), join_(mode == listing_mode::join)
    {
    }

    bool on() const { return show_; }

    // An opener the checker pushed or a closer it was handed; nothing while the listing is off.
    // Inline, because every tracked delimiter passes here.
    void record(char c)
    {
        if (!show_)
            return;
        // A closer right after its own opener cancels it, like a stack within the line.
        if (collapse_ && !text_.empty() && is_pair(text_.back(), c)) {
            text_.truncate(text_.size() - 1);
            --delim_count_;
            return;
        }
        text_.push_back(c); // only ever a delimiter: the blanks come through record_blanks
        ++delim_count_;
    }

    // The same as record for each of n blanks, in one step: a blank never cancels anything.
    void record_blanks(const char *p, std::size_t n)
    {
        if (show_)
            text_.append(p, n);
    }

    // The line numbered `line` ends: it is listed (-s, -m) or paired with the stored lines
    // (-l, -j) when it holds a delimiter, and the next line starts empty.
    void end_of_line(std::int64_t line, sink &out)
    {
        if (!show_)
            return;
        // Inline: it runs at every line, and most lines of code hold no delimiter.
        if (delim_count_ > 0)
            list_line(line, out);
        text_.truncate(0);
        delim_count_ = 0;
    }
    // After the input's last line: the records that survive, oldest first (-l, -j).
    void end_of_input(sink &out);
    // Forgets everything, for a new input; a huge line does not keep its buffers.
    void clear();

private:
    void list_line(std::int64_t line, sink &out);
    std::string_view text() const { return text_.view(0, text_.size()); }

    // First: the appends then reach it at the object's own address.
    byte_buffer text_; // the line so far: leading blanks, then the recorded delimiters
    bool show_, collapse_, pair_, join_;
    std::int64_t delim_count_ = 0;
    line_records records_;
};

} // namespace delimcheck::listing
