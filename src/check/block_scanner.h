// The fast scanner: large block reads, then work only on the bytes that matter.
#pragma once

#include <cstdio>

#include <cstddef>

// Bytes read at a time; exposed so that tests can put bytes across a block boundary.
extern const std::size_t scan_block_size;

// Same effect and output as scan_input_plain, byte for byte.
void scan_input_blocks(std::FILE *in);
