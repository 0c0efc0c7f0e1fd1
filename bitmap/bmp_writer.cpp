#include "bitmap/bmp_writer.h"

#include "bitmap/colour_tables.h"
#include "bitmap/little_endian_writer.h"
#include "os/pixel_buffer.h"
#include "os/file_output.h"
#include "report/raised_error.h"

#include <algorithm>

namespace mdlBitmap {

namespace {

// BITMAPFILEHEADER, then BITMAPINFOHEADER with its colour table as one record: everything
// that precedes the pixel data, bfOffBits bytes in all.
std::vector<std::byte> BmpHeaders(const gdi32::BITMAPINFO& info, BmpDepth depth) {
    const gdi32::BITMAPINFOHEADER& header = info.bmiHeader;
    const std::uint32_t offBits = PixelDataOffset(depth);
    LittleEndianWriter out(offBits);

    out.U8('B');                            // bfType
    out.U8('M');
    out.U32(offBits + header.biSizeImage);  // bfSize
    out.U16(0);                             // bfReserved1
    out.U16(0);                             // bfReserved2
    out.U32(offBits);                       // bfOffBits

    out.U32(header.biSize);                 // biSize
    out.I32(header.biWidth);                // biWidth
    out.I32(header.biHeight);               // biHeight
    out.U16(header.biPlanes);               // biPlanes
    out.U16(header.biBitCount);             // biBitCount
    out.U32(header.biCompression);          // biCompression
    out.U32(header.biSizeImage);            // biSizeImage
    out.I32(header.biXPelsPerMeter);        // biXPelsPerMeter
    out.I32(header.biYPelsPerMeter);        // biYPelsPerMeter
    out.U32(header.biClrUsed);              // biClrUsed
    out.U32(header.biClrImportant);         // biClrImportant

    for (std::uint32_t i = 0; i < depth.colourTableEntries; ++i) {
        const gdi32::RGBQUAD& entry = info.bmiColors[i];
        out.U8(entry.rgbBlue);
        out.U8(entry.rgbGreen);
        out.U8(entry.rgbRed);
        out.U8(entry.rgbReserved);
    }
    return out.bytes();
}

// Rows are converted and written a band at a time: a large picture's file rows are never
// all in memory at once (an effect's working copy is, beside them). 16 MiB still gives the
// conversion enough rows to share among the processors.
constexpr std::uint32_t kBandBytes = std::uint32_t{16} << 20;

// Asks the platform for the picture selected into dc at the depth, then writes headers,
// colour table and pixel data. Nothing is opened before the size query and the first band's
// conversion succeeded; a later band that fails leaves the old file as it was.
bool SaveBmp(gdi32::HDC dc, const std::string& path, BmpDepth depth) {
    const gdi32::HBITMAP bitmap = gdi32::GetCurrentObject(dc, gdi32::OBJ_BITMAP);
    gdi32::BITMAP size{};
    gdi32::GetObjectA(bitmap, sizeof(gdi32::BITMAP), &size);

    gdi32::BITMAPINFO info{};
    info.bmiHeader.biSize = kInfoHeaderSize;
    info.bmiHeader.biWidth = size.bmWidth;
    info.bmiHeader.biHeight = size.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = depth.bitsPerPixel;
    FillColourTable(depth, info.bmiColors);

    const auto lines = static_cast<std::uint32_t>(size.bmHeight);
    if (gdi32::GetDIBits(dc, bitmap, 0, lines, nullptr, &info, gdi32::DIB_RGB_COLORS) == 0)
        RaiseGetDIBitsError();
    // The conversion fills whole padded rows; a size that disagrees would let it run past
    // the buffer, so it counts as a failed conversion.
    const std::uint32_t imageSize = info.bmiHeader.biSizeImage;
    const std::uint32_t stride = gdi32::DibStride(size.bmWidth, depth.bitsPerPixel);
    if (imageSize != stride * lines)
        RaiseGetDIBitsError();
    // The file holds the bottom row first, as GetDIBits counts its lines: band after band.
    const std::uint32_t bandLines = std::max<std::uint32_t>(1, kBandBytes / stride);
    const auto band = os::MakePixelBuffer<std::byte>(static_cast<std::size_t>(std::min(bandLines, lines)) * stride);
    const auto convert = [&](std::uint32_t start) {
        const std::uint32_t count = std::min(bandLines, lines - start);
        if (gdi32::GetDIBits(dc, bitmap, start, count, band.get(), &info, gdi32::DIB_RGB_COLORS) == 0)
            RaiseGetDIBitsError();
        return static_cast<std::size_t>(count) * stride;
    };
    const std::size_t firstBand = convert(0);

    // The bytes go to a temporary file that then takes the target's place, so a longer old
    // file keeps no stale tail and a write that fails leaves the old file as it was.
    os::ReplacingFile file(path);
    const std::vector<std::byte> headers = BmpHeaders(info, depth);
    file.Write(headers);
    file.Write(band.get(), firstBand);
    for (std::uint32_t start = bandLines; start < lines; start += bandLines)
        file.Write(band.get(), convert(start));
    file.Commit();
    return true;
}

} // namespace

bool SaveBmpFile(gdi32::HDC dc, const std::string& path, std::int32_t depth) {
    switch (depth) {
    case 1:
        return SaveBmp1Bit(dc, path);
    case 4:
        return SaveBmp4Bit(dc, path);
    case 8:
        return SaveBmp8Bit(dc, path);
    case 32:
        return SaveBmp32Bit(dc, path);
    default:
        return false;
    }
}

bool SaveBmp1Bit(gdi32::HDC dc, const std::string& path) { return SaveBmp(dc, path, kDepth1); }
bool SaveBmp4Bit(gdi32::HDC dc, const std::string& path) { return SaveBmp(dc, path, kDepth4); }
bool SaveBmp8Bit(gdi32::HDC dc, const std::string& path) { return SaveBmp(dc, path, kDepth8); }
bool SaveBmp32Bit(gdi32::HDC dc, const std::string& path) { return SaveBmp(dc, path, kDepth32); }

void RaiseGetDIBitsError() {
    throw report::RaisedError(kGetDIBitsErrorNumber, "GetDIBits API関数でエラーが発生したようですが…");
}

} // namespace mdlBitmap
