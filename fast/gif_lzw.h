#pragma once

// The LZW coding of a GIF's image data, code for code as giflib writes it: the same code
// widths, the same clear code when the table is full (after code 4094), the same 255-byte
// sub-blocks. What it buys: giflib looks each string up through calls into its own hash
// table and hands every byte to a writer of its own; here the look-up and the bit packing
// are one loop, about twice as fast. Its twin in the tests is giflib's own coder.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace fast {

// Appends the sub-blocks of the coded indexes to out (the code size byte before them and the
// empty block after them are not written). bitsPerPixel (1 to 8) is the palette's: indexes
// are masked to it, and codes start one bit wider, at least three bits wide.
void AppendLzwBlocks(std::span<const std::uint8_t> indexes, int bitsPerPixel, std::vector<std::byte>& out);

} // namespace fast
