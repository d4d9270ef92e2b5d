#include "check/delim_stack.h"

namespace delimcheck::checking {

void delim_stack::next_chunk()
{
    if (begin_ != nullptr)
        ++chunk_;
    if (chunk_ == chunks_.size())
        chunks_.push_back(std::make_unique_for_overwrite<delim_entry[]>(chunk_entries));
    begin_ = top_ = chunks_[chunk_].get();
    end_ = begin_ + chunk_entries;
}

void delim_stack::previous_chunk()
{
    --chunk_;
    begin_ = chunks_[chunk_].get();
    top_ = end_ = begin_ + chunk_entries;
}

void delim_stack::clear()
{
    chunks_.resize(chunks_.empty() ? 0 : 1);
    chunk_ = 0;
    begin_ = top_ = chunks_.empty() ? nullptr : chunks_[0].get();
    end_ = begin_ == nullptr ? nullptr : begin_ + chunk_entries;
    size_ = 0;
}

} // namespace delimcheck::checking
