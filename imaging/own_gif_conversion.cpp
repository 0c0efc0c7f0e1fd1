#include "imaging/own_gif_conversion.h"

#include "imaging/encoding_pipeline.h"
#include "imaging/gdiplus_handles.h"
#include "imaging/own_gif_palette.h"

#include <algorithm>
#include <memory>
#include <span>

namespace mdlGdiplus {

using namespace gdiplus;

os::PixelBuffer<std::uint32_t> ReadPixelValues(GpBitmap* source, UINT w, UINT h) {
    const std::size_t count = static_cast<std::size_t>(w) * h;
    auto PixelValues = os::MakePixelBuffer<std::uint32_t>(count);
    BitmapData pixelData;
    pixelData.Stride = static_cast<INT>(w * sizeof(std::uint32_t));
    pixelData.Scan0 = PixelValues.get();
    if (GdipBitmapLockBits(source, nullptr, ImageLockModeRead | ImageLockModeUserInputBuf, PixelFormat32bppARGB,
                           &pixelData) == Ok)
        GdipBitmapUnlockBits(source, &pixelData);
    else
        std::fill_n(PixelValues.get(), count, 0u);
    return PixelValues;
}

// Only the status of the save is looked at, as everywhere in a request: a failed step
// leaves its output empty and the save reports the failure.
Status SaveByOwnGifConversion(GpBitmap* source, const std::u16string& path, const CLSID& encoder,
                              std::int32_t OptionValue) {
    // Stage 1: every pixel, top row first, and the colours collected from them.
    const std::uint32_t KeyArgb = OleColorToArgb(OptionValue, 255);
    UINT w = 0;
    UINT h = 0;
    GdipGetImageWidth(source, &w);
    GdipGetImageHeight(source, &h);
    const std::size_t pixelCount = static_cast<std::size_t>(w) * h;
    const auto pixelBuffer = ReadPixelValues(source, w, h);
    const std::span<const std::uint32_t> PixelValues(pixelBuffer.get(), pixelCount);
    const CollectedColorTable collected = CollectColors(PixelValues, KeyArgb);

    // Stage 2: the indexed bitmap and its palette.
    GpBitmap* created = nullptr;
    GdipCreateBitmapFromScan0(static_cast<INT>(w), static_cast<INT>(h), 0, PixelFormat8bppIndexed, nullptr, &created);
    const BitmapHandle indexed(created);
    INT paletteSize = 0;
    GdipGetImagePaletteSize(indexed.get(), &paletteSize);
    ColorPalette palette;
    GdipGetImagePalette(indexed.get(), &palette, std::min<INT>(paletteSize, sizeof palette));
    const ColorIndexTable IndexOfColor = BuildPalette(
        collected, OptionValue, std::span(palette.Entries, std::min<std::size_t>(palette.Count, MaxPaletteEntries)));
    GdipSetImagePalette(indexed.get(), &palette);

    // Stage 3: the indexes, written from our buffer into the bitmap at the unlock.
    const auto indexBuffer = os::MakePixelBuffer<std::uint8_t>(pixelCount); // all written below
    const std::span<std::uint8_t> IndexBytes(indexBuffer.get(), pixelCount);
    const GpRect lockRect{0, 0, static_cast<INT>(w), static_cast<INT>(h)};
    BitmapData lockData;
    lockData.Width = w;
    lockData.Height = h;
    lockData.Stride = static_cast<INT>(w);
    lockData.PixelFormat = PixelFormat8bppIndexed;
    lockData.Scan0 = IndexBytes.data();
    lockData.Reserved = 0;
    GdipBitmapLockBits(indexed.get(), &lockRect, ImageLockModeWrite | ImageLockModeUserInputBuf,
                       PixelFormat8bppIndexed, &lockData);
    MapIndexes(PixelValues, IndexOfColor, IndexBytes);
    GdipBitmapUnlockBits(indexed.get(), &lockData);

    // Stage 4: the save; the indexed bitmap goes when this returns.
    return GdipSaveImageToFile(indexed.get(), path.c_str(), &encoder, nullptr);
}

} // namespace mdlGdiplus
