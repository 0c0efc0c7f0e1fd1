#include "codecs/halftone.h"
#include "os/wide_text.h"
#include "tests/support/independent_decoders.h"
#include "tests/win32/gdiplus_test_support.h"

#include <algorithm>
#include <cmath>
#include <set>

#include <zlib.h>

using namespace gdiplus;
using test_support::DeviceBitmap;
using test_support::ReadBytes;

namespace {

constexpr CLSID kJpeg{0x557CF401, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr CLSID kGif{0x557CF402, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr CLSID kPng{0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr CLSID kBmp{0x557CF400, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
constexpr GUID kQuality{0x1D5BE4B5, 0xFA4A, 0x452D, {0x9C, 0xDD, 0x5D, 0xB3, 0x51, 0x05, 0xE7, 0xEB}};

std::uint32_t Gradient(int x, int y) { return ((x * 7u & 0xFF) << 16) | ((y * 5u & 0xFF) << 8) | ((x + y) & 0xFF); }

struct PngChunk {
    std::string type;
    std::string data;
};

// The chunks of a PNG file after its signature, in file order.
std::vector<PngChunk> PngChunks(const std::string& file) {
    std::vector<PngChunk> chunks;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const auto byte = [&](std::size_t k) { return std::uint32_t(std::uint8_t(file[at + k])); };
        const std::size_t length = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
        chunks.push_back({file.substr(at + 4, 4), file.substr(at + 8, length)});
        at += 12 + length;
    }
    return chunks;
}

// The filter type byte that starts each row of a PNG file's image data, read from the
// inflated IDAT stream (rowBytes without the filter byte).
std::vector<int> PngRowFilters(const std::string& file, std::size_t rowBytes, int height) {
    std::string compressed;
    for (const PngChunk& chunk : PngChunks(file))
        if (chunk.type == "IDAT")
            compressed += chunk.data;
    std::vector<Bytef> data((rowBytes + 1) * height);
    uLongf size = data.size();
    if (uncompress(data.data(), &size, reinterpret_cast<const Bytef*>(compressed.data()), compressed.size()) != Z_OK ||
        size != data.size())
        return {};
    std::vector<int> filters;
    for (int y = 0; y < height; ++y)
        filters.push_back(data[y * (rowBytes + 1)]);
    return filters;
}

class Save : public test_support::Started {
protected:
    void SetUp() override {
        Started::SetUp();
        ASSERT_EQ(GdipCreateBitmapFromHBITMAP(device_.handle(), HPALETTE{}, &picture_), Ok);
    }
    void TearDown() override {
        GdipDisposeImage(picture_);
        Started::TearDown();
    }
    Status SaveTo(GpImage* image, const std::string& path, const CLSID& encoder,
                  const EncoderParameters* parameters = nullptr) {
        return GdipSaveImageToFile(image, os::ToUtf16(path).c_str(), &encoder, parameters);
    }
    Status SaveJpeg(const std::string& path, UINT quality) {
        EncoderParameters parameters;
        parameters.Count = 1;
        parameters.Parameter[0] = EncoderParameter{kQuality, 1, EncoderParameterValueTypeLong, &quality};
        return SaveTo(picture_, path, kJpeg, &parameters);
    }

    static constexpr int kWidth = 37; // odd sizes catch row-stride mistakes
    static constexpr int kHeight = 23;
    const DeviceBitmap device_{kWidth, kHeight, Gradient};
    GpBitmap* picture_ = nullptr;
    test_support::ScratchFolder folder_;
};

} // namespace

// The bitmap is the device bitmap as it was when the bitmap was made: drawing on the device
// bitmap afterwards, or deleting it, changes nothing in what is saved or read.
TEST_F(Save, ABitmapKeepsTheDevicePixelsAsTheyWereWhenItWasMade) {
    const DeviceBitmap flat(64, 48, [](int, int) { return 0x204060u; });
    GpBitmap* before = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromHBITMAP(flat.handle(), HPALETTE{}, &before), Ok);
    GpBitmap* readBack = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromHBITMAP(flat.handle(), HPALETTE{}, &readBack), Ok);
    {
        // Drawn on through a device context: a pixel set, then a block copied over all of it.
        const DeviceBitmap other(64, 48, [](int, int) { return 0xE0C0A0u; });
        const gdi32::HDC to = gdi32::CreateCompatibleDC({}), from = gdi32::CreateCompatibleDC({});
        const gdi32::HBITMAP oldTo = gdi32::SelectObject(to, flat.handle());
        const gdi32::HBITMAP oldFrom = gdi32::SelectObject(from, other.handle());
        gdi32::SetPixel(to, 0, 0, 0x0000FF);
        ASSERT_NE(gdi32::BitBlt(to, 0, 0, 64, 48, from, 0, 0, gdi32::SRCCOPY), 0);
        EXPECT_EQ(gdi32::GetPixel(to, 10, 10), 0xA0C0E0u) << "the device bitmap itself did change";
        gdi32::SelectObject(to, oldTo);
        gdi32::SelectObject(from, oldFrom);
        gdi32::DeleteDC(to);
        gdi32::DeleteDC(from);
    }
    ASSERT_EQ(SaveTo(before, folder_ / "before.jpg", kJpeg), Ok);
    const auto jpeg = decoders::ReadJpeg(folder_ / "before.jpg");
    ASSERT_TRUE(jpeg);
    for (const std::uint32_t rgb : jpeg->rgb)
        for (const int shift : {16, 8, 0})
            ASSERT_NEAR(int((rgb >> shift) & 0xFF), int((0x204060u >> shift) & 0xFF), 2) << std::hex << rgb;
    ARGB pixel = 0;
    ASSERT_EQ(GdipBitmapGetPixel(readBack, 0, 0, &pixel), Ok);
    EXPECT_EQ(pixel, 0xFF204060u);
    EXPECT_EQ(GdipDisposeImage(before), Ok);
    EXPECT_EQ(GdipDisposeImage(readBack), Ok);
}

TEST_F(Save, PngOfADeviceBitmapIsOpaqueRgbWithEveryPixelExact) {
    ASSERT_EQ(SaveTo(picture_, folder_ / "p.png", kPng), Ok);
    const auto png = decoders::ReadPng(folder_ / "p.png");
    ASSERT_TRUE(png);
    EXPECT_FALSE(png->hasAlpha);
    EXPECT_TRUE(png->hasColor);
    ASSERT_EQ(png->width, kWidth);
    ASSERT_EQ(png->height, kHeight);
    for (int k = 0; k < kWidth * kHeight; ++k)
        ASSERT_EQ(png->argb[k], 0xFF000000u | Gradient(k % kWidth, k / kWidth)) << k;
}

TEST_F(Save, PngOfAnArgbCanvasKeepsItsAlpha) {
    GpBitmap* canvas = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(5, 3, 0, PixelFormat32bppARGB, nullptr, &canvas), Ok);
    GpGraphics* graphics = nullptr;
    GdipGetImageGraphicsContext(canvas, &graphics);
    GdipGraphicsClear(graphics, 0x80FF8000);
    GdipDeleteGraphics(graphics);
    ASSERT_EQ(SaveTo(canvas, folder_ / "a.png", kPng), Ok);
    GdipDisposeImage(canvas);
    const auto png = decoders::ReadPng(folder_ / "a.png");
    ASSERT_TRUE(png);
    EXPECT_TRUE(png->hasAlpha);
    EXPECT_EQ(png->argb, std::vector<std::uint32_t>(15, 0x80FF8000u));
}

TEST_F(Save, PngRowsThatRepeatTheRowAboveAreFilteredUpAndComeBackExact) {
    // Bands of three equal rows, the last band cut short; in each of the three colour types,
    // and in the narrowest and shortest pictures.
    constexpr int kNone = 0, kUp = 2;
    const auto banded = [](int x, int y) { return Gradient(x, y / 3); };
    const auto alphaOf = [](int x, int y) { return std::uint32_t(x % 3 == 0 ? 0 : x % 3 == 1 ? 0xFF : 40 + y / 3) << 24; };
    const auto indexOf = [](int x, int y) { return std::uint8_t((x + y / 3) % 12); };
    ColorPalette palette;
    palette.Count = 256;
    for (UINT i = 0; i < 256; ++i)
        palette.Entries[i] = 0xFF000000u | (i * 0x0A1B2Cu & 0xFFFFFF);
    palette.Entries[3] = 0x40112233; // translucent entries go into tRNS
    palette.Entries[7] = 0x00000000;
    for (const PixelFormat format : {PixelFormat32bppRGB, PixelFormat32bppARGB, PixelFormat8bppIndexed}) {
        for (const auto& [width, height] : {std::pair{kWidth, kHeight}, {1, 7}, {9, 1}}) {
            SCOPED_TRACE(testing::Message() << width << " x " << height << " format " << format);
            std::vector<std::uint32_t> expected, argb;
            std::vector<std::uint8_t> indexes;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    argb.push_back(alphaOf(x, y) | banded(x, y));
                    indexes.push_back(indexOf(x, y));
                    expected.push_back(format == PixelFormat32bppRGB     ? 0xFF000000u | banded(x, y)
                                       : format == PixelFormat32bppARGB ? argb.back()
                                                                        : palette.Entries[indexes.back()]);
                }
            const DeviceBitmap device(width, height, banded);
            GpBitmap* image = nullptr;
            if (format == PixelFormat32bppRGB) {
                ASSERT_EQ(GdipCreateBitmapFromHBITMAP(device.handle(), HPALETTE{}, &image), Ok);
            } else {
                ASSERT_EQ(GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, &image), Ok);
                const bool indexed = format == PixelFormat8bppIndexed;
                if (indexed) {
                    ASSERT_EQ(GdipSetImagePalette(image, &palette), Ok);
                }
                BitmapData data;
                data.Stride = width * (indexed ? 1 : 4);
                data.Scan0 = indexed ? static_cast<void*>(indexes.data()) : argb.data();
                ASSERT_EQ(GdipBitmapLockBits(image, nullptr, ImageLockModeWrite | ImageLockModeUserInputBuf, format, &data),
                          Ok);
                ASSERT_EQ(GdipBitmapUnlockBits(image, &data), Ok);
            }
            const Status saved = SaveTo(image, folder_ / "r.png", kPng);
            GdipDisposeImage(image);
            ASSERT_EQ(saved, Ok);

            const auto png = decoders::ReadPng(folder_ / "r.png");
            ASSERT_TRUE(png);
            EXPECT_EQ(png->hasAlpha, format != PixelFormat32bppRGB);
            EXPECT_EQ(png->isIndexed, format == PixelFormat8bppIndexed);
            ASSERT_EQ(png->width, width);
            ASSERT_EQ(png->height, height);
            EXPECT_EQ(png->argb, expected);
            std::vector<int> filters;
            for (int y = 0; y < height; ++y)
                filters.push_back(y % 3 == 0 ? kNone : kUp);
            const std::size_t bytesPerPixel = format == PixelFormat32bppRGB ? 3 : format == PixelFormat32bppARGB ? 4 : 1;
            EXPECT_EQ(PngRowFilters(ReadBytes(folder_ / "r.png"), width * bytesPerPixel, height), filters);
        }
    }
}

TEST_F(Save, PngOfANoisyPictureSpreadsItsImageDataOverSeveralChunksAndComesBackExact) {
    const auto noise = [](int x, int y) {
        std::uint32_t h = std::uint32_t(x) * 0x9E3779B1u ^ std::uint32_t(y) * 0x85EBCA77u;
        h ^= h >> 15;
        h *= 0x2C1B3C6Du;
        return (h ^ h >> 12) & 0xFFFFFF;
    };
    constexpr int kSide = 700; // about 1.4 MiB of image data that does not compress
    const DeviceBitmap device(kSide, kSide, noise);
    GpBitmap* image = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromHBITMAP(device.handle(), HPALETTE{}, &image), Ok);
    const Status saved = SaveTo(image, folder_ / "n.png", kPng);
    GdipDisposeImage(image);
    ASSERT_EQ(saved, Ok);

    std::vector<std::string> types;
    for (const PngChunk& chunk : PngChunks(ReadBytes(folder_ / "n.png")))
        types.push_back(chunk.type);
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IDAT", "IEND"}));
    const auto png = decoders::ReadPng(folder_ / "n.png");
    ASSERT_TRUE(png);
    ASSERT_EQ(png->width, kSide);
    ASSERT_EQ(png->height, kSide);
    for (int k = 0; k < kSide * kSide; ++k)
        ASSERT_EQ(png->argb[k], 0xFF000000u | noise(k % kSide, k / kSide)) << k;
}

TEST_F(Save, GifOfAnIndexedBitmapWritesItsPaletteAsGivenAndItsAlphaZeroEntryAsTransparent) {
    GpBitmap* indexed = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromScan0(4, 2, 0, PixelFormat8bppIndexed, nullptr, &indexed), Ok);
    ColorPalette palette;
    palette.Count = 256;
    for (UINT i = 0; i < 256; ++i)
        palette.Entries[i] = 0xFF000000u | (i * 0x010101u);
    palette.Entries[5] = 0x00123456; // the lowest alpha-0 entry
    palette.Entries[9] = 0x00000000;
    ASSERT_EQ(GdipSetImagePalette(indexed, &palette), Ok);
    std::uint8_t indexes[8] = {5, 0, 255, 9, 1, 2, 3, 200};
    BitmapData data;
    data.Stride = 4;
    data.Scan0 = indexes;
    ASSERT_EQ(GdipBitmapLockBits(indexed, nullptr, 6, PixelFormat8bppIndexed, &data), Ok);
    ASSERT_EQ(GdipBitmapUnlockBits(indexed, &data), Ok);
    ASSERT_EQ(SaveTo(indexed, folder_ / "i.gif", kGif), Ok);
    GdipDisposeImage(indexed);

    const auto gif = decoders::ReadGif(folder_ / "i.gif");
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->version, "GIF89a");
    EXPECT_EQ(gif->transparentIndex, 5);
    ASSERT_EQ(gif->palette.size(), 256u);
    for (UINT i = 0; i < 256; ++i)
        ASSERT_EQ(gif->palette[i], palette.Entries[i] & 0xFFFFFF) << i;
    EXPECT_EQ(gif->indexes, std::vector<std::uint8_t>(indexes, indexes + 8));
}

TEST_F(Save, GifOfAFullColourBitmapIsDitheredOntoTheFixedHalftonePalette) {
    // A flat colour between the cube's levels must come out as a mix of neighbouring levels.
    const DeviceBitmap flat(32, 32, [](int, int) { return 0x6A9A3Cu; });
    GpBitmap* bitmap = nullptr;
    ASSERT_EQ(GdipCreateBitmapFromHBITMAP(flat.handle(), HPALETTE{}, &bitmap), Ok);
    ASSERT_EQ(SaveTo(bitmap, folder_ / "h.gif", kGif), Ok);
    GdipDisposeImage(bitmap);

    const auto gif = decoders::ReadGif(folder_ / "h.gif");
    ASSERT_TRUE(gif);
    EXPECT_EQ(gif->transparentIndex, -1);
    ASSERT_EQ(gif->palette.size(), 256u);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(gif->palette[i], codecs::HalftonePalette()[i] & 0xFFFFFF);
    EXPECT_GE(std::set<std::uint8_t>(gif->indexes.begin(), gif->indexes.end()).size(), 3u);
    // The mix averages back to the colour.
    for (const int shift : {16, 8, 0}) {
        double sum = 0;
        for (const std::uint8_t index : gif->indexes)
            sum += (gif->palette[index] >> shift) & 0xFF;
        EXPECT_NEAR(sum / gif->indexes.size(), (0x6A9A3Cu >> shift) & 0xFF, 3.0) << shift;
    }
}

TEST_F(Save, JpegQualityChangesTheTablesAndTheSizeAndStaysCloseInPixels) {
    ASSERT_EQ(SaveJpeg(folder_ / "q100.jpg", 100), Ok);
    ASSERT_EQ(SaveJpeg(folder_ / "q10.jpg", 10), Ok);
    ASSERT_EQ(SaveTo(picture_, folder_ / "default.jpg", kJpeg), Ok);
    const auto best = decoders::ReadJpeg(folder_ / "q100.jpg");
    const auto worst = decoders::ReadJpeg(folder_ / "q10.jpg");
    const auto standard = decoders::ReadJpeg(folder_ / "default.jpg");
    ASSERT_TRUE(best && worst && standard);
    EXPECT_EQ(best->lumaTable, std::vector<std::uint16_t>(64, 1));
    EXPECT_EQ(standard->lumaTable[0], 8); // the standard table's 16 at quality 75
    EXPECT_EQ(worst->lumaTable[0], 80);   // 16 × 5
    EXPECT_GT(ReadBytes(folder_ / "q100.jpg").size(), ReadBytes(folder_ / "q10.jpg").size());

    ASSERT_EQ(best->width, kWidth);
    double error = 0;
    for (int k = 0; k < kWidth * kHeight; ++k)
        for (const int shift : {16, 8, 0})
            error += std::abs(int((best->rgb[k] >> shift) & 0xFF) - int((Gradient(k % kWidth, k / kWidth) >> shift) & 0xFF));
    EXPECT_LT(error / (kWidth * kHeight * 3), 4.0);
}

TEST_F(Save, ParametersTheEncoderDoesNotTakeAreRefused) {
    EXPECT_EQ(SaveJpeg(folder_ / "q.jpg", 101), InvalidParameter);
    UINT quality = 50;
    EncoderParameters parameters;
    parameters.Count = 1;
    parameters.Parameter[0] = EncoderParameter{kQuality, 1, EncoderParameterValueTypeLong, &quality};
    EXPECT_EQ(SaveTo(picture_, folder_ / "q.png", kPng, &parameters), InvalidParameter);
    parameters.Count = 17;
    EXPECT_EQ(SaveTo(picture_, folder_ / "q.jpg", kJpeg, &parameters), InvalidParameter);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "q.jpg"));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "q.png"));
}

TEST_F(Save, FailedSavesAnswerAnErrorAndDamageNoFile) {
    const std::string old = "the old file";
    test_support::WriteBytes(folder_ / "old.png", old);

    EXPECT_EQ(SaveTo(picture_, folder_ / "old.png", kBmp), UnknownImageFormat);
    EXPECT_EQ(ReadBytes(folder_ / "old.png"), old);
    EXPECT_EQ(SaveTo(picture_, folder_ / "missing/p.png", kPng), FileNotFound);
    EXPECT_EQ(SaveTo(picture_, folder_ / "old.png/p.png", kPng), FileNotFound); // a file as folder
    std::filesystem::create_directory(folder_ / "folder.png");
    EXPECT_EQ(SaveTo(picture_, folder_ / "folder.png", kPng), Win32Error);
    EXPECT_TRUE(std::filesystem::is_directory(folder_ / "folder.png"));
    EXPECT_EQ(SaveTo(picture_, "/dev/full", kPng), Win32Error);
    EXPECT_EQ(SaveTo(picture_, "/proc/lumivert.png", kPng), FileNotFound);

    std::filesystem::permissions(folder_ / "old.png", std::filesystem::perms::owner_read);
    EXPECT_EQ(SaveTo(picture_, folder_ / "old.png", kPng), AccessDenied);
    EXPECT_EQ(ReadBytes(folder_ / "old.png"), old);

    // Nothing was left behind but what the test made itself.
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(folder_ / "")))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"old.png", "folder.png"}));
}
