// Graphics on a bitmap: clearing, and drawing an image through image attributes.

#include "win32/gdiplus/objects.h"

#include <new>
#include <algorithm>
#include <vector>

namespace gdiplus {

namespace {

// The pixels of a bitmap, copied now from a device bitmap's snapshot if need be.
Status PixelsOf(BitmapObject& bitmap, PixelImage*& pixels) {
    try {
        pixels = &bitmap.Pixels();
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
    return Ok;
}

// The bitmap object a live graphics object draws on, or the status that says why there is none.
Status LiveTarget(const GpGraphics* graphics, BitmapObject*& target) {
    if (!detail::Started())
        return GdiplusNotInitialized;
    GpGraphics* live = detail::Find(graphics);
    if (live == nullptr || live->target == nullptr)
        return InvalidParameter;
    if (live->target->lock)
        return WrongState;
    target = live->target;
    return Ok;
}

// The pixels a live graphics object draws on, or the status that says why there are none.
Status ResolveTarget(const GpGraphics* graphics, PixelImage*& target) {
    BitmapObject* bitmap = nullptr;
    if (const Status status = LiveTarget(graphics, bitmap); status != Ok)
        return status;
    return PixelsOf(*bitmap, target);
}

bool ChannelsWithin(ARGB color, const GpImageAttributes::ColorKey& key) {
    for (const int shift : {16, 8, 0}) {
        const ARGB channel = (color >> shift) & 0xFF;
        if (channel < ((key.low >> shift) & 0xFF) || channel > ((key.high >> shift) & 0xFF))
            return false;
    }
    return true;
}

// Source over destination, both straight (not premultiplied) ARGB.
ARGB SourceOver(ARGB source, ARGB destination) {
    const ARGB sourceAlpha = source >> 24;
    if (sourceAlpha == 255)
        return source;
    if (sourceAlpha == 0)
        return destination;
    const ARGB destinationWeight = (destination >> 24) * (255 - sourceAlpha) / 255;
    const ARGB alpha = sourceAlpha + destinationWeight;
    ARGB result = alpha << 24;
    for (const int shift : {16, 8, 0}) {
        const ARGB s = (source >> shift) & 0xFF;
        const ARGB d = (destination >> shift) & 0xFF;
        result |= ((s * sourceAlpha + d * destinationWeight + alpha / 2) / alpha) << shift;
    }
    return result;
}

} // namespace

void KeyedDrawing::Row(INT y, ARGB* out) const {
    const GpImageAttributes::ColorKey key{low, high};
    const std::uint32_t* source = this->source.Row(y);
    for (INT x = 0; x < this->source.width; ++x) {
        const ARGB colour = source[x] | 0xFF000000u;
        out[x] = ChannelsWithin(colour, key) ? 0x00000000u : colour; // opaque over transparent: the colour itself
    }
}

Status GdipGetImageGraphicsContext(GpImage* image, GpGraphics** graphics) {
    if (!detail::Started())
        return GdiplusNotInitialized;
    BitmapObject* live = detail::Find(image);
    if (graphics == nullptr || live == nullptr || live->Description().IsIndexed())
        return InvalidParameter;
    *graphics = detail::Adopt(std::make_unique<GpGraphics>(live));
    return Ok;
}

Status GdipGraphicsClear(GpGraphics* graphics, ARGB color) {
    if (!detail::Started())
        return GdiplusNotInitialized;
    if (GpGraphics* live = detail::Find(graphics); live != nullptr && live->target != nullptr && !live->target->lock &&
                                                   live->target->ClearWithoutPixels(color))
        return Ok;
    PixelImage* target = nullptr;
    if (const Status status = ResolveTarget(graphics, target); status != Ok)
        return status;
    std::fill(target->argb.begin(), target->argb.end(), target->HasAlpha() ? color : color | 0xFF000000u);
    return Ok;
}

Status GdipDeleteGraphics(GpGraphics* graphics) {
    if (!detail::Started())
        return GdiplusNotInitialized;
    return detail::Dispose(graphics) ? Ok : InvalidParameter;
}

Status GdipCreateImageAttributes(GpImageAttributes** attributes) {
    if (!detail::Started())
        return GdiplusNotInitialized;
    if (attributes == nullptr)
        return InvalidParameter;
    *attributes = detail::Adopt(std::make_unique<GpImageAttributes>());
    return Ok;
}

Status GdipSetImageAttributesColorKeys(GpImageAttributes* attributes, ColorAdjustType type, BOOL enableFlag,
                                       ARGB colorLow, ARGB colorHigh) {
    if (!detail::Started())
        return GdiplusNotInitialized;
    GpImageAttributes* live = detail::Find(attributes);
    if (live == nullptr || type < ColorAdjustTypeDefault || type > ColorAdjustTypeText)
        return InvalidParameter;
    auto& key = live->colorKeys[static_cast<std::size_t>(type)];
    if (enableFlag)
        key = GpImageAttributes::ColorKey{colorLow, colorHigh};
    else
        key.reset();
    return Ok;
}

Status GdipDisposeImageAttributes(GpImageAttributes* attributes) {
    if (!detail::Started())
        return GdiplusNotInitialized;
    return detail::Dispose(attributes) ? Ok : InvalidParameter;
}

namespace {

// A keyed drawing of a whole device bitmap onto a blank canvas of its size, kept as a recipe
// (KeyedDrawing); false when the drawing is another, which is then made at once.
bool DeferKeyedDrawing(BitmapObject* target, const BitmapObject* source, INT dstx, INT dsty, INT srcx, INT srcy,
                       INT width, INT height, const std::optional<GpImageAttributes::ColorKey>& key) {
    const gdi32::PixelSnapshot* device = source->DevicePixels();
    if (device == nullptr || !key || target == source || dstx != 0 || dsty != 0 || srcx != 0 || srcy != 0 ||
        width != device->width || height != device->height)
        return false;
    return target->DeferDrawing(KeyedDrawing{*device, key->low, key->high});
}

} // namespace

Status GdipDrawImageRectRectI(GpGraphics* graphics, GpImage* image, INT dstx, INT dsty, INT dstwidth,
                              INT dstheight, INT srcx, INT srcy, INT srcwidth, INT srcheight, GpUnit srcUnit,
                              const GpImageAttributes* attributes, DrawImageAbort callback, void* callbackData) {
    BitmapObject* drawnOn = nullptr;
    if (const Status status = LiveTarget(graphics, drawnOn); status != Ok)
        return status;
    BitmapObject* source = detail::Find(image);
    if (source == nullptr || (attributes != nullptr && detail::Find(attributes) == nullptr))
        return InvalidParameter;
    if (source->lock)
        return WrongState;
    if (srcUnit != UnitPixel || dstwidth != srcwidth || dstheight != srcheight || srcwidth < 0 || srcheight < 0)
        return NotImplemented; // only 1:1 copies in pixels are offered
    if (callback != nullptr && callback(callbackData))
        return Aborted;

    std::optional<GpImageAttributes::ColorKey> key;
    if (attributes != nullptr)
        key = attributes->colorKeys[ColorAdjustTypeBitmap] ? attributes->colorKeys[ColorAdjustTypeBitmap]
                                                           : attributes->colorKeys[ColorAdjustTypeDefault];
    if (DeferKeyedDrawing(drawnOn, source, dstx, dsty, srcx, srcy, srcwidth, srcheight, key))
        return Ok;
    PixelImage* target = nullptr;
    if (const Status status = PixelsOf(*drawnOn, target); status != Ok)
        return status;

    // A device bitmap's snapshot is read as it is, a row at a time; others in their pixels.
    const gdi32::PixelSnapshot* device = source->DevicePixels();
    const PixelImage* sourcePixels = &source->Description();
    if (device == nullptr) {
        PixelImage* pixels = nullptr;
        if (const Status status = PixelsOf(*source, pixels); status != Ok)
            return status;
        sourcePixels = pixels;
    }
    // Offsets i, j into the rectangles that land inside both the source and the target.
    const PixelImage& from = *sourcePixels;
    const INT iFirst = std::max({0, -srcx, -dstx});
    const INT jFirst = std::max({0, -srcy, -dsty});
    const INT iEnd = std::min({srcwidth, from.width - srcx, target->width - dstx});
    const INT jEnd = std::min({srcheight, from.height - srcy, target->height - dsty});
    const ARGB forcedAlpha = target->HasAlpha() ? 0 : 0xFF000000u;
    std::vector<ARGB> expanded; // a row of a device bitmap made opaque, or of an indexed source looked up
    for (INT j = jFirst; j < jEnd; ++j) {
        const ARGB* sourceRow = nullptr;
        if (device != nullptr) {
            expanded.resize(static_cast<std::size_t>(from.width));
            CopyOpaque(device->Row(srcy + j), expanded.data(), from.width);
            sourceRow = expanded.data() + srcx;
        } else if (from.IsIndexed()) {
            expanded.resize(static_cast<std::size_t>(from.width));
            for (INT x = 0; x < from.width; ++x)
                expanded[x] = from.PixelAt(x, srcy + j);
            sourceRow = expanded.data() + srcx;
        } else {
            sourceRow = from.Row32(srcy + j) + srcx;
        }
        ARGB* targetRow = target->Row32(dsty + j) + dstx;
        for (INT i = iFirst; i < iEnd; ++i) {
            const ARGB color = sourceRow[i];
            if (key && ChannelsWithin(color, *key))
                continue;
            targetRow[i] = SourceOver(color, targetRow[i]) | forcedAlpha;
        }
    }
    return Ok;
}

} // namespace gdiplus
