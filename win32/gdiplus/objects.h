#pragma once

// The objects behind the flat interface's pointers, and the table that knows which are alive.
// Internal to the imaging layer.

#include "win32/gdi32/surface.h"
#include "win32/gdiplus/gdiplus_flat.h"
#include "codecs/pixel_image.h"

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace gdiplus {

using codecs::PixelImage;
static_assert(PaletteFlagsHalftone == codecs::kPaletteFlagsHalftone);

// A whole-bitmap 1:1 drawing of a device bitmap's snapshot onto a transparent 32-bit
// canvas, with the pixels whose colour lies within a key left out, kept as that recipe until
// the canvas's pixels are needed: a PNG is encoded from it row by row, so the canvas never
// takes a copy of the picture's memory.
struct KeyedDrawing {
    gdi32::PixelSnapshot source;
    ARGB low = 0;
    ARGB high = 0;

    // Row y as drawn: 0x00000000 where the key leaves the canvas as it was, else the source's
    // colour, opaque.
    void Row(INT y, ARGB* out) const;
};

class BitmapObject final : public GpBitmap {
public:
    struct Lock {
        GpRect rect;
        UINT flags = 0;
        void* scan0 = nullptr;            // where the caller reads or writes the rectangle
        INT stride = 0;
        std::vector<std::byte> ownBuffer; // the layer's buffer when the caller gave none
    };

    explicit BitmapObject(PixelImage image) : pixels_(std::move(image)) {}
    // A bitmap made from a device bitmap: a snapshot of its pixels, made into the layer's own
    // opaque pixels when they are first needed. An encoder that reads the device pixels as
    // they are (JPEG) spares that copy.
    explicit BitmapObject(gdi32::PixelSnapshot snapshot);
    // A 32-bit bitmap of width × height, every pixel 0x00000000, its memory taken only when
    // its pixels are first needed.
    static std::unique_ptr<BitmapObject> Blank(INT width, INT height, PixelFormat format);

    // The pixels; the first call on a bitmap made from a device bitmap copies them, on a
    // blank bitmap fills them, with its keyed drawing made (may throw std::bad_alloc).
    PixelImage& Pixels();
    // Sets every pixel of a bitmap whose pixels are not made yet to colour without making
    // them; false when they are made (the caller fills them).
    bool ClearWithoutPixels(ARGB colour);
    // Keeps drawing as the recipe of a blank, transparent 32-bit bitmap of the same size;
    // false when the bitmap is not one (the caller draws).
    bool DeferDrawing(KeyedDrawing drawing);
    // The recipe kept, or null.
    const KeyedDrawing* Drawing() const { return blankFill_ && drawing_ ? &*drawing_ : nullptr; }
    // Size, format and palette, without copying anything.
    const PixelImage& Description() const { return pixels_; }
    // The device pixels not yet copied, or null.
    const gdi32::PixelSnapshot* DevicePixels() const { return snapshot_ ? &*snapshot_ : nullptr; }

    std::optional<Lock> lock;

private:
    PixelImage pixels_;
    std::optional<gdi32::PixelSnapshot> snapshot_;
    std::optional<ARGB> blankFill_; // the pixels are not made: all this colour
    std::optional<KeyedDrawing> drawing_;
};

// A row of device pixels as the imaging layer holds them: device pixels are opaque.
void CopyOpaque(const std::uint32_t* device, ARGB* image, INT width);

class GpGraphics {
public:
    explicit GpGraphics(BitmapObject* target) : target(target) {}
    BitmapObject* target; // null once the image is disposed
};

class GpImageAttributes {
public:
    struct ColorKey {
        ARGB low = 0;
        ARGB high = 0;
    };
    std::array<std::optional<ColorKey>, 5> colorKeys; // by ColorAdjustType
};

namespace detail {

bool Started();

// Takes ownership of a new object and makes it alive.
BitmapObject* Adopt(std::unique_ptr<BitmapObject> bitmap);
GpGraphics* Adopt(std::unique_ptr<GpGraphics> graphics);
GpImageAttributes* Adopt(std::unique_ptr<GpImageAttributes> attributes);

// The object when it is alive, else null.
BitmapObject* Find(const GpImage* image);
GpGraphics* Find(const GpGraphics* graphics);
GpImageAttributes* Find(const GpImageAttributes* attributes);

// Frees an object that is alive; false when it is not.
bool Dispose(const GpImage* image);
bool Dispose(const GpGraphics* graphics);
bool Dispose(const GpImageAttributes* attributes);

} // namespace detail

} // namespace gdiplus
