#include "codecs/pixel_image.h"

#include "codecs/halftone.h"

namespace codecs {

PixelImage PixelImage::Make(INT width, INT height, PixelFormat format) {
    PixelImage image;
    image.width = width;
    image.height = height;
    image.format = format;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (image.IsIndexed()) {
        image.indexes.assign(count, 0);
        image.palette.assign(HalftonePalette().begin(), HalftonePalette().end());
        image.paletteFlags = kPaletteFlagsHalftone;
    } else {
        image.argb.assign(count, 0);
    }
    return image;
}

ARGB PixelImage::PixelAt(INT x, INT y) const {
    if (!IsIndexed())
        return Row32(y)[x];
    const std::uint8_t index = Row8(y)[x];
    return index < palette.size() ? palette[index] : 0;
}

} // namespace codecs
