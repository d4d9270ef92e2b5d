// A run's document as the program writes it, for the format tests: each input written through
// one input writer into a piece of its own, and the pieces that are not empty joined by the
// document's separator between its beginning and its end.
#pragma once

#include <memory>
#include <string>

#include "format/output.h"
#include "format/formats.h"

class document_run {
public:
    document_run(const delimcheck::format::format_settings &s, delimcheck::format::output &out)
        : writer_(delimcheck::format::make_input_writer(s)), doc_(delimcheck::format::make_document(s)), out_(out)
    {
        doc_->begin(out_);
    }
    ~document_run() { doc_->end(out_); }
    document_run(const document_run &) = delete;
    document_run &operator=(const document_run &) = delete;

    // fill(writer) reports what the input gives; name is nullptr for standard input.
    template <typename Fill> void input(const std::string *name, Fill fill)
    {
        std::string piece;
        delimcheck::format::string_destination dest(piece);
        delimcheck::format::output piece_out(dest);
        writer_->begin_input(piece_out, name);
        fill(*writer_);
        writer_->end_input();
        piece_out.flush();
        if (piece.empty())
            return;
        if (any_)
            out_.text(doc_->separator());
        out_.text(piece);
        any_ = true;
    }

private:
    std::unique_ptr<delimcheck::format::input_writer> writer_;
    std::unique_ptr<delimcheck::format::document> doc_;
    delimcheck::format::output &out_;
    bool any_ = false;
};
