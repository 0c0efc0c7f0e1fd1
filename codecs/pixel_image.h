#pragma once

// The pixels of one image of the imaging layer, as its encoders read them.

#include "codecs/pixel_types.h"
#include "os/pixel_buffer.h"

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace codecs {

struct PixelImage {
    INT width = 0;
    INT height = 0;
    PixelFormat format = PixelFormat32bppRGB;
    std::vector<ARGB, os::UninitialisedAllocator<ARGB>> argb; // 32-bit formats: rows top first, width values each
    std::vector<std::uint8_t> indexes;  // the indexed format: rows top first, width bytes each
    std::vector<ARGB> palette;          // the indexed format only
    UINT paletteFlags = 0;

    // All 32-bit pixels 0x00000000; all indexes 0 with the fixed halftone palette.
    static PixelImage Make(INT width, INT height, PixelFormat format);

    bool IsIndexed() const { return format == PixelFormat8bppIndexed; }
    bool HasAlpha() const { return format == PixelFormat32bppARGB; }
    std::size_t BytesPerPixel() const { return IsIndexed() ? 1 : 4; }

    ARGB* Row32(INT y) { return argb.data() + static_cast<std::size_t>(width) * y; }
    const ARGB* Row32(INT y) const { return argb.data() + static_cast<std::size_t>(width) * y; }
    std::uint8_t* Row8(INT y) { return indexes.data() + static_cast<std::size_t>(width) * y; }
    const std::uint8_t* Row8(INT y) const { return indexes.data() + static_cast<std::size_t>(width) * y; }
    // The row in bytes, whatever the format (for copies in and out of locks).
    std::byte* RowAsBytes(INT y) {
        return IsIndexed() ? reinterpret_cast<std::byte*>(Row8(y)) : reinterpret_cast<std::byte*>(Row32(y));
    }

    // The colour of a pixel as ARGB, whatever the format; an index past the palette reads as
    // 0x00000000.
    ARGB PixelAt(INT x, INT y) const;
};

} // namespace codecs
