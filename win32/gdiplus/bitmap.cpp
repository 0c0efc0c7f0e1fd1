// Bitmaps: creation, size, pixels, palettes, bit locking and disposal.

#include "win32/gdi32/surface.h"
#include "win32/gdiplus/objects.h"
#include "os/rows_in_parts.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace gdiplus {

namespace {

// Device pixels (anything with Row(y)) into a 32-bit image of the same size, on every
// processor for a large picture.
template <class DeviceRows>
void CopyOpaqueRows(const DeviceRows& device, PixelImage& image) {
    image.argb.resize(static_cast<std::size_t>(image.width) * image.height);
    os::ForRowsInParts(static_cast<std::size_t>(image.height), static_cast<std::size_t>(image.width),
                             [&](std::size_t first, std::size_t end) {
                                 for (std::size_t y = first; y < end; ++y)
                                     CopyOpaque(device.Row(static_cast<INT>(y)), image.Row32(static_cast<INT>(y)),
                                                image.width);
                             });
}

bool IsOfferedFormat(PixelFormat format) {
    return format == PixelFormat8bppIndexed || format == PixelFormat32bppRGB || format == PixelFormat32bppARGB;
}

// The live image behind a pointer, or the status that says why there is none.
Status Resolve(const GpImage* image, BitmapObject*& live) {
    if (!detail::Started())
        return GdiplusNotInitialized;
    live = detail::Find(image);
    return live != nullptr ? Ok : InvalidParameter;
}

// The live image and its pixels (copied now from a device bitmap's snapshot if need be).
Status ResolvePixels(const GpImage* image, BitmapObject*& live, PixelImage*& pixels) {
    if (const Status status = Resolve(image, live); status != Ok)
        return status;
    try {
        pixels = &live->Pixels();
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
    return Ok;
}

// One value read from a live image into out.
template <class T, class Read>
Status ReadProperty(const GpImage* image, T* out, Read read) {
    BitmapObject* live = nullptr;
    if (const Status status = Resolve(image, live); status != Ok)
        return status;
    if (out == nullptr)
        return InvalidParameter;
    *out = read(*live);
    return Ok;
}

Status AdoptNew(PixelImage pixels, GpBitmap** bitmap) {
    *bitmap = detail::Adopt(std::make_unique<BitmapObject>(std::move(pixels)));
    return Ok;
}

bool Is32Bit(PixelFormat format) { return format == PixelFormat32bppRGB || format == PixelFormat32bppARGB; }

// A bitmap is locked in its own format; the two 32-bit formats also in each other's.
bool CanLockAs(const PixelImage& pixels, PixelFormat format) {
    return format == pixels.format || (Is32Bit(format) && Is32Bit(pixels.format));
}

// Copies the lock rectangle between the bitmap and the locked memory, in either direction.
// The 32-bit formats share their layout; an RGB bitmap keeps its pixels opaque.
void CopyLockedRows(PixelImage& pixels, const BitmapObject::Lock& lock, bool intoBitmap) {
    const std::size_t bytesPerPixel = pixels.BytesPerPixel();
    const std::size_t rowBytes = static_cast<std::size_t>(lock.rect.Width) * bytesPerPixel;
    for (INT row = 0; row < lock.rect.Height; ++row) {
        std::byte* image = pixels.RowAsBytes(lock.rect.Y + row) + lock.rect.X * bytesPerPixel;
        std::byte* locked = static_cast<std::byte*>(lock.scan0) + static_cast<std::ptrdiff_t>(lock.stride) * row;
        if (!intoBitmap) {
            std::memcpy(locked, image, rowBytes);
            continue;
        }
        std::memcpy(image, locked, rowBytes);
        if (pixels.format == PixelFormat32bppRGB) {
            ARGB* written = pixels.Row32(lock.rect.Y + row) + lock.rect.X;
            for (INT x = 0; x < lock.rect.Width; ++x)
                written[x] |= 0xFF000000u;
        }
    }
}

} // namespace

void CopyOpaque(const std::uint32_t* device, ARGB* image, INT width) {
    for (INT x = 0; x < width; ++x)
        image[x] = device[x] | 0xFF000000u;
}

BitmapObject::BitmapObject(gdi32::PixelSnapshot snapshot) {
    pixels_.width = snapshot.width;
    pixels_.height = snapshot.height;
    pixels_.format = PixelFormat32bppRGB;
    snapshot_ = std::move(snapshot);
}

std::unique_ptr<BitmapObject> BitmapObject::Blank(INT width, INT height, PixelFormat format) {
    PixelImage description;
    description.width = width;
    description.height = height;
    description.format = format;
    auto bitmap = std::make_unique<BitmapObject>(std::move(description));
    bitmap->blankFill_ = 0x00000000u;
    return bitmap;
}

PixelImage& BitmapObject::Pixels() {
    if (snapshot_) {
        CopyOpaqueRows(*snapshot_, pixels_);
        snapshot_.reset();
    }
    if (blankFill_) {
        pixels_.argb.assign(static_cast<std::size_t>(pixels_.width) * static_cast<std::size_t>(pixels_.height),
                            *blankFill_);
        if (drawing_)
            for (INT y = 0; y < pixels_.height; ++y)
                drawing_->Row(y, pixels_.Row32(y));
        blankFill_.reset();
        drawing_.reset();
    }
    return pixels_;
}

bool BitmapObject::ClearWithoutPixels(ARGB colour) {
    if (!blankFill_)
        return false;
    blankFill_ = pixels_.HasAlpha() ? colour : colour | 0xFF000000u;
    drawing_.reset();
    return true;
}

bool BitmapObject::DeferDrawing(KeyedDrawing drawing) {
    if (!blankFill_ || *blankFill_ != 0x00000000u || drawing_ || !pixels_.HasAlpha() ||
        drawing.source.width != pixels_.width || drawing.source.height != pixels_.height)
        return false;
    drawing_ = std::move(drawing);
    return true;
}

Status GdipCreateBitmapFromHBITMAP(gdi32::HBITMAP hbm, HPALETTE hpal, GpBitmap** bitmap) {
    if (!detail::Started())
        return GdiplusNotInitialized;
    if (bitmap == nullptr)
        return InvalidParameter;
    *bitmap = nullptr;
    if (hpal.value != 0)
        return InvalidParameter;
    try {
        // The bitmap is the device bitmap as it is now: a snapshot, copied when first needed.
        if (auto snapshot = gdi32::SnapshotBitmap(hbm); snapshot && snapshot->width > 0 && snapshot->height > 0) {
            *bitmap = detail::Adopt(std::make_unique<BitmapObject>(std::move(*snapshot)));
            return Ok;
        }
        // A DIB section may change behind any snapshot's back: its pixels are copied now.
        const auto view = gdi32::ViewBitmap(hbm);
        if (!view || view->width <= 0 || view->height <= 0)
            return InvalidParameter;
        PixelImage pixels;
        pixels.width = view->width;
        pixels.height = view->height;
        pixels.format = PixelFormat32bppRGB;
        CopyOpaqueRows(*view, pixels);
        return AdoptNew(std::move(pixels), bitmap);
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    }
}

Status GdipCreateBitmapFromScan0(INT width, INT height, INT /*stride*/, PixelFormat format, BYTE* scan0,
                                 GpBitmap** bitmap) {
    if (!detail::Started())
        return GdiplusNotInitialized;
    if (bitmap == nullptr)
        return InvalidParameter;
    *bitmap = nullptr;
    if (width <= 0 || height <= 0 || !IsOfferedFormat(format))
        return InvalidParameter;
    if (scan0 != nullptr)
        return NotImplemented; // bitmaps over the caller's memory are not offered
    try {
        if (format != PixelFormat8bppIndexed) { // pixels made when first needed
            *bitmap = detail::Adopt(BitmapObject::Blank(width, height, format));
            return Ok;
        }
        return AdoptNew(PixelImage::Make(width, height, format), bitmap);
    } catch (const std::bad_alloc&) {
        return OutOfMemory;
    } catch (const std::length_error&) {
        return OutOfMemory;
    }
}

Status GdipGetImageWidth(GpImage* image, UINT* width) {
    return ReadProperty(image, width,
                        [](const BitmapObject& live) { return static_cast<UINT>(live.Description().width); });
}

Status GdipGetImageHeight(GpImage* image, UINT* height) {
    return ReadProperty(image, height,
                        [](const BitmapObject& live) { return static_cast<UINT>(live.Description().height); });
}

Status GdipGetImagePixelFormat(GpImage* image, PixelFormat* format) {
    return ReadProperty(image, format, [](const BitmapObject& live) { return live.Description().format; });
}

Status GdipBitmapGetPixel(GpBitmap* bitmap, INT x, INT y, ARGB* color) {
    BitmapObject* live = nullptr;
    PixelImage* image = nullptr;
    if (const Status status = ResolvePixels(bitmap, live, image); status != Ok)
        return status;
    const PixelImage& pixels = *image;
    if (color == nullptr || x < 0 || y < 0 || x >= pixels.width || y >= pixels.height)
        return InvalidParameter;
    if (live->lock)
        return WrongState;
    *color = pixels.PixelAt(x, y);
    return Ok;
}

Status GdipGetImagePaletteSize(GpImage* image, INT* size) {
    return ReadProperty(image, size, [](const BitmapObject& live) {
        return static_cast<INT>(offsetof(ColorPalette, Entries) + sizeof(ARGB) * live.Description().palette.size());
    });
}

Status GdipGetImagePalette(GpImage* image, ColorPalette* palette, INT size) {
    BitmapObject* live = nullptr;
    if (const Status status = Resolve(image, live); status != Ok)
        return status;
    const std::vector<ARGB>& entries = live->Description().palette;
    if (palette == nullptr || size < 0 ||
        static_cast<std::size_t>(size) < offsetof(ColorPalette, Entries) + sizeof(ARGB) * entries.size())
        return InvalidParameter;
    palette->Flags = live->Description().paletteFlags;
    palette->Count = static_cast<UINT>(entries.size());
    std::copy(entries.begin(), entries.end(), palette->Entries);
    return Ok;
}

Status GdipSetImagePalette(GpImage* image, const ColorPalette* palette) {
    BitmapObject* live = nullptr;
    if (const Status status = Resolve(image, live); status != Ok)
        return status;
    if (palette == nullptr || !live->Description().IsIndexed() || palette->Count > MaxPaletteEntries)
        return InvalidParameter;
    PixelImage& pixels = live->Pixels(); // indexed: never a device bitmap's snapshot
    pixels.palette.assign(palette->Entries, palette->Entries + palette->Count);
    pixels.paletteFlags = palette->Flags;
    return Ok;
}

Status GdipBitmapLockBits(GpBitmap* bitmap, const GpRect* rect, UINT flags, PixelFormat format,
                          BitmapData* lockedData) {
    BitmapObject* live = nullptr;
    if (const Status status = Resolve(bitmap, live); status != Ok)
        return status;
    const PixelImage& pixels = live->Description();
    const GpRect area = rect != nullptr ? *rect : GpRect{0, 0, pixels.width, pixels.height};
    const UINT known = ImageLockModeRead | ImageLockModeWrite | ImageLockModeUserInputBuf;
    if (lockedData == nullptr || !CanLockAs(pixels, format) || (flags & ~known) != 0 ||
        (flags & (ImageLockModeRead | ImageLockModeWrite)) == 0 || area.X < 0 || area.Y < 0 ||
        area.Width <= 0 || area.Height <= 0 || area.Width > pixels.width - area.X ||
        area.Height > pixels.height - area.Y)
        return InvalidParameter;
    if (live->lock)
        return WrongState;

    BitmapObject::Lock lock;
    lock.rect = area;
    lock.flags = flags;
    const std::size_t rowBytes = static_cast<std::size_t>(area.Width) * pixels.BytesPerPixel();
    if (flags & ImageLockModeUserInputBuf) {
        const std::size_t strideBytes =
            static_cast<std::size_t>(lockedData->Stride < 0 ? -static_cast<std::int64_t>(lockedData->Stride)
                                                             : lockedData->Stride);
        if (lockedData->Scan0 == nullptr || strideBytes < rowBytes)
            return InvalidParameter;
        lock.scan0 = lockedData->Scan0;
        lock.stride = lockedData->Stride;
    } else {
        try {
            lock.ownBuffer.resize(rowBytes * static_cast<std::size_t>(area.Height));
        } catch (const std::bad_alloc&) {
            return OutOfMemory;
        }
        lock.scan0 = lock.ownBuffer.data();
        lock.stride = static_cast<INT>(rowBytes);
    }
    // A lock for reading only reads a device bitmap's snapshot as it is; one that may write
    // needs the layer's own pixels to write into.
    const gdi32::PixelSnapshot* device = (flags & ImageLockModeWrite) ? nullptr : live->DevicePixels();
    if (device != nullptr) {
        for (INT row = 0; row < area.Height; ++row) {
            std::byte* locked = static_cast<std::byte*>(lock.scan0) + static_cast<std::ptrdiff_t>(lock.stride) * row;
            CopyOpaque(device->Row(area.Y + row) + area.X, reinterpret_cast<ARGB*>(locked), area.Width);
        }
    } else {
        PixelImage* image = nullptr;
        if (const Status status = ResolvePixels(bitmap, live, image); status != Ok)
            return status;
        if (flags & ImageLockModeRead)
            CopyLockedRows(*image, lock, false);
    }

    lockedData->Width = static_cast<UINT>(area.Width);
    lockedData->Height = static_cast<UINT>(area.Height);
    lockedData->Stride = lock.stride;
    lockedData->PixelFormat = format;
    lockedData->Scan0 = lock.scan0;
    lockedData->Reserved = 0;
    live->lock = std::move(lock);
    return Ok;
}

Status GdipBitmapUnlockBits(GpBitmap* bitmap, BitmapData* lockedData) {
    BitmapObject* live = nullptr;
    if (const Status status = Resolve(bitmap, live); status != Ok)
        return status;
    if (lockedData == nullptr)
        return InvalidParameter;
    if (!live->lock)
        return WrongState;
    if (live->lock->flags & ImageLockModeWrite)
        CopyLockedRows(live->Pixels(), *live->lock, true); // copied at the lock
    live->lock.reset();
    return Ok;
}

Status GdipDisposeImage(GpImage* image) {
    if (!detail::Started())
        return GdiplusNotInitialized;
    return detail::Dispose(image) ? Ok : InvalidParameter;
}

} // namespace gdiplus
