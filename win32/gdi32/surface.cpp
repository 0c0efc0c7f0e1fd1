#include "win32/gdi32/surface.h"

#include "win32/gdi32/handle_table.h"
#include "codecs/colour_packing.h"

#include <cstring>

namespace gdi32 {

namespace {

std::uint32_t ReadU32(std::span<const std::byte> bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | std::to_integer<std::uint32_t>(bytes[offset + i]);
    return value;
}

std::uint16_t ReadU16(std::span<const std::byte> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(bytes[offset]) |
                                      (std::to_integer<unsigned>(bytes[offset + 1]) << 8));
}

} // namespace

std::optional<SurfaceView> ViewBitmap(HBITMAP bitmap) {
    detail::BitmapRecord* object = detail::FindBitmap(bitmap);
    if (object == nullptr)
        return std::nullopt;
    SurfaceView view;
    view.width = object->width;
    view.height = object->height;
    view.first = object->height > 0 ? object->Row(0) : object->pixels.get();
    view.rowStep = object->bottomUp ? -object->width : object->width;
    return view;
}

std::optional<PixelSnapshot> SnapshotBitmap(HBITMAP bitmap) {
    const detail::BitmapRecord* object = detail::FindBitmap(bitmap);
    if (object == nullptr || object->isDibSection || object->bottomUp)
        return std::nullopt;
    return PixelSnapshot{object->pixels, object->width, object->height};
}

HBITMAP LoadBitmapFromBmp(std::span<const std::byte> file) {
    constexpr std::size_t kHeaders = 14 + 40;
    if (file.size() < kHeaders || file[0] != std::byte{'B'} || file[1] != std::byte{'M'})
        return {};
    const std::uint32_t dataOffset = ReadU32(file, 10);
    const std::uint32_t headerSize = ReadU32(file, 14);
    const auto width = static_cast<std::int32_t>(ReadU32(file, 18));
    const auto rawHeight = static_cast<std::int32_t>(ReadU32(file, 22));
    const std::uint16_t bitCount = ReadU16(file, 28);
    const std::uint32_t compression = ReadU32(file, 30);
    if (headerSize < 40 || compression != BI_RGB || (bitCount != 24 && bitCount != 32) || width <= 0 ||
        rawHeight == 0 || rawHeight == INT32_MIN || width > 65535 || rawHeight > 65535 || rawHeight < -65535)
        return {};
    const bool bottomUp = rawHeight > 0;
    const std::int32_t height = bottomUp ? rawHeight : -rawHeight;
    const std::size_t stride = DibStride(width, bitCount);
    if (dataOffset < kHeaders || dataOffset > file.size() ||
        (file.size() - dataOffset) / stride < static_cast<std::size_t>(height))
        return {};

    auto object = detail::MakeBitmap(width, height, false);
    const int bytesPerPixel = bitCount / 8;
    for (std::int32_t y = 0; y < height; ++y) {
        const std::int32_t fileRow = bottomUp ? height - 1 - y : y;
        const auto* source = reinterpret_cast<const std::uint8_t*>(file.data()) + dataOffset +
                             static_cast<std::size_t>(fileRow) * stride;
        std::uint32_t* row = object->Row(y);
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint8_t* p = source + static_cast<std::size_t>(x) * bytesPerPixel;
            row[x] = codecs::PackChannels(p[0], p[1], p[2]); // the file's blue, green, red
        }
    }
    return detail::AddBitmap(std::move(object));
}

HBITMAP CreateBitmapToFill(std::int32_t width, std::int32_t height) {
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535)
        return {};
    return detail::AddBitmap(detail::MakeBitmap(width, height, false, detail::Fill::Unset));
}

HBITMAP CreateSharedCopy(HBITMAP picture) {
    const detail::BitmapRecord* object = detail::FindBitmap(picture);
    if (object == nullptr || object->isDibSection || object->bottomUp || object->isStock)
        return {};
    auto copy = std::make_unique<detail::BitmapRecord>();
    copy->width = object->width;
    copy->height = object->height;
    copy->pixels = object->pixels; // each record copies before its first write (OwnPixels)
    return detail::AddBitmap(std::move(copy));
}

HBITMAP CreateBitmapFromPixels(std::int32_t width, std::int32_t height, const std::uint32_t* top,
                               std::ptrdiff_t rowStep) {
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535 || !top)
        return {};
    auto object = detail::MakeBitmap(width, height, false);
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint32_t* source = top + rowStep * y;
        std::uint32_t* row = object->Row(y);
        for (std::int32_t x = 0; x < width; ++x)
            row[x] = source[x] & 0x00FFFFFFu;
    }
    return detail::AddBitmap(std::move(object));
}

} // namespace gdi32
