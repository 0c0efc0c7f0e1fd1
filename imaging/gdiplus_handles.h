#pragma once

// Owners for the objects of the imaging layer. Declared in the order of creation, they are
// released in reverse: attributes, graphics, then the image they draw on.

#include "win32/gdiplus/gdiplus_flat.h"

#include <memory>

namespace mdlGdiplus {

struct ImageDisposer {
    void operator()(gdiplus::GpImage* image) const { gdiplus::GdipDisposeImage(image); }
};
struct GraphicsDeleter {
    void operator()(gdiplus::GpGraphics* graphics) const { gdiplus::GdipDeleteGraphics(graphics); }
};
struct ImageAttributesDisposer {
    void operator()(gdiplus::GpImageAttributes* attributes) const { gdiplus::GdipDisposeImageAttributes(attributes); }
};

using ImageHandle = std::unique_ptr<gdiplus::GpImage, ImageDisposer>;
using BitmapHandle = std::unique_ptr<gdiplus::GpBitmap, ImageDisposer>;
using GraphicsHandle = std::unique_ptr<gdiplus::GpGraphics, GraphicsDeleter>;
using ImageAttributesHandle = std::unique_ptr<gdiplus::GpImageAttributes, ImageAttributesDisposer>;

} // namespace mdlGdiplus
