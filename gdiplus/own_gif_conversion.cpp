#include "gdiplus/own_gif_conversion.h"

#include "gdiplus/encoding_pipeline.h"
#include "gdiplus/gdiplus_handles.h"
#include "gdiplus/own_gif_palette.h"

#include <algorithm>
#include <vector>

namespace mdlGdiplus {

using namespace gdiplus;

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
    std::vector<std::uint32_t> PixelValues(static_cast<std::size_t>(w) * h);
    std::size_t k = 0;
    for (UINT y = 0; y < h; ++y)
        for (UINT x = 0; x < w; ++x)
            GdipBitmapGetPixel(source, static_cast<INT>(x), static_cast<INT>(y), &PixelValues[k++]);
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
    std::vector<std::uint8_t> IndexBytes(PixelValues.size());
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
