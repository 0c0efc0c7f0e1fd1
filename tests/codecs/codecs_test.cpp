// Each encoder's bytes read back by a second decoder (libpng, giflib, libjpeg): PNG keeps every
// colour type exactly, GIF an indexed image's palette, indexes and transparent entry and any
// other image as the halftone palette dithered, JPEG at quality 100 the picture closely.

#include "codecs/encoders.h"
#include "codecs/halftone.h"
#include "tests/support/independent_decoders.h"
#include "tests/support/scratch_folder.h"

#include <gtest/gtest.h>

using namespace codecs;

enum class Codec { Png, Gif, Jpeg };
// The largest difference of a channel, its mean (JPEG halves the colour resolution), and the
// picture: one colour, or (0) a gradient with repeated rows.
struct Case { Codec codec; PixelFormat format; int width, height, maxError; double meanError; std::uint32_t flatRgb; };

class Encoders : public ::testing::TestWithParam<Case> {};

TEST_P(Encoders, FileDecodesToThePixelsGiven) {
    const Case c = GetParam();
    PixelImage image = PixelImage::Make(c.width, c.height, c.format);
    image.palette.resize(256);
    for (std::uint32_t i = 0; i < 256; ++i)
        image.palette[i] = i == 3 ? 0x40112233 : i == 7 ? 0 : 0xFF000000u | (i * 0x0A1B2Cu & 0xFFFFFF); // 3 translucent, 7 transparent
    std::vector<std::uint32_t> want, seen;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const std::uint32_t rgb = c.flatRgb ? c.flatRgb : ((x * 7u & 0xFF) << 16) | ((y / 3 * 5u & 0xFF) << 8) | ((x + y / 3) & 0xFF);
            const std::uint32_t alpha = c.format == PixelFormat32bppRGB ? 0x5A : x % 3 == 0 ? 0 : x % 3 == 1 ? 0xFF : 40 + y;
            if (image.IsIndexed())
                image.Row8(y)[x] = std::uint8_t((x + y / 3) % 12);
            else
                image.Row32(y)[x] = alpha << 24 | rgb;
            want.push_back(image.PixelAt(x, y) | (c.format == PixelFormat32bppRGB ? 0xFF000000u : 0));
        }
    const EncodedFile file = c.codec == Codec::Png ? EncodePng(image) : c.codec == Codec::Gif ? EncodeGif(image)
                                                                                              : EncodeJpeg(image, JpegOptions{100});
    ASSERT_TRUE(file) << FailureMessage(file.error());
    const test_support::ScratchFolder folder;
    test_support::WriteBytes(folder / "f", std::string(reinterpret_cast<const char*>(file->data()), file->size()));
    if (const auto png = c.codec == Codec::Png ? decoders::ReadPng(folder / "f") : std::nullopt) {
        EXPECT_EQ(std::pair(png->hasAlpha, png->isIndexed), std::pair(c.format != PixelFormat32bppRGB, image.IsIndexed()));
        seen = png->argb;
    } else if (const auto gif = c.codec == Codec::Gif ? decoders::ReadGif(folder / "f") : std::nullopt) {
        EXPECT_EQ(std::pair(gif->version, gif->transparentIndex), std::pair(std::string("GIF89a"), image.IsIndexed() ? 7 : -1));
        for (std::size_t i = 0; !image.IsIndexed() && i < 256; ++i)
            ASSERT_EQ(gif->palette.at(i), HalftonePalette()[i] & 0xFFFFFF) << i;
        for (const std::uint8_t index : gif->indexes)
            seen.push_back(gif->palette.at(index)); // compared without alpha
    } else if (const auto jpeg = c.codec == Codec::Jpeg ? decoders::ReadJpeg(folder / "f") : std::nullopt) {
        seen = jpeg->rgb; // compared without alpha
    }
    ASSERT_EQ(seen.size(), want.size()) << "not read back";
    double total = 0, bias[4] = {};
    for (std::size_t k = 0; k < seen.size(); ++k)
        for (int shift = 0; shift < (c.codec == Codec::Png ? 32 : 24); shift += 8) {
            const int difference = int((seen[k] >> shift) & 0xFF) - int((want[k] >> shift) & 0xFF);
            ASSERT_LE(std::abs(difference), c.maxError) << "pixel " << k << " shift " << shift;
            total += std::abs(difference);
            bias[shift / 8] += difference;
        }
    EXPECT_LE(total / seen.size() / 3, c.meanError);
    for (const double b : {bias[0], bias[1], bias[2]}) // a flat colour's mix of halftone entries averages back to it
        EXPECT_TRUE(!c.flatRgb || std::abs(b / seen.size()) <= 3) << b / seen.size();
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, Encoders, ::testing::Values(
    Case{Codec::Png, PixelFormat32bppRGB, 37, 23, 0, 0, 0}, Case{Codec::Png, PixelFormat32bppARGB, 37, 23, 0, 0, 0},
    Case{Codec::Png, PixelFormat8bppIndexed, 37, 23, 0, 0, 0}, Case{Codec::Png, PixelFormat32bppARGB, 1, 7, 0, 0, 0},
    Case{Codec::Png, PixelFormat8bppIndexed, 9, 1, 0, 0, 0}, Case{Codec::Gif, PixelFormat8bppIndexed, 37, 23, 0, 0, 0},
    Case{Codec::Gif, PixelFormat8bppIndexed, 1, 7, 0, 0, 0}, Case{Codec::Gif, PixelFormat32bppRGB, 37, 23, 51, 51, 0},
    Case{Codec::Gif, PixelFormat32bppRGB, 32, 32, 51, 51, 0x6A9A3C}, Case{Codec::Jpeg, PixelFormat32bppRGB, 37, 23, 255, 4, 0},
    Case{Codec::Jpeg, PixelFormat8bppIndexed, 9, 1, 255, 20, 0}));

// A picture compressed in bands, however many and on however many threads, decodes to exactly
// the pixels of the picture compressed in one pass: each join is a restart marker, numbered
// on through RST7 and round again.
TEST(JpegBands, DecodeToThePixelsOfOnePass) {
    constexpr int kWidth = 701, kHeight = 150; // ten MCU rows, the last one part-filled
    std::vector<ARGB> pixels(static_cast<std::size_t>(kWidth) * kHeight);
    std::uint32_t noise = 1;
    for (std::size_t k = 0; k < pixels.size(); ++k) {
        noise = noise * 1664525u + 1013904223u;
        const auto x = static_cast<std::uint32_t>(k % kWidth), y = static_cast<std::uint32_t>(k / kWidth);
        pixels[k] = ((x + (noise >> 28)) & 0xFF) << 16 | ((y * 3) & 0xFF) << 8 | (noise >> 24);
    }
    std::vector<const ARGB*> rows(kHeight);
    for (int y = 0; y < kHeight; ++y)
        rows[y] = pixels.data() + static_cast<std::size_t>(y) * kWidth;
    const test_support::ScratchFolder folder;
    const auto decoded = [&](const EncodedFile& file, const std::string& name) {
        EXPECT_TRUE(file) << name;
        test_support::WriteBytes(folder / name, std::string(reinterpret_cast<const char*>(file->data()), file->size()));
        const auto jpeg = decoders::ReadJpeg(folder / name);
        EXPECT_TRUE(jpeg && jpeg->width == kWidth && jpeg->height == kHeight) << name;
        return jpeg ? jpeg->rgb : std::vector<std::uint32_t>{};
    };
    const auto restartMarkers = [](const EncodedFile& file) {
        std::string found;
        for (std::size_t k = 0; k + 1 < file->size(); ++k)
            if ((*file)[k] == std::byte{0xFF} && ((*file)[k + 1] & std::byte{0xF8}) == std::byte{0xD0})
                found += static_cast<char>('0' + (std::to_integer<int>((*file)[k + 1]) & 7));
        return found;
    };
    for (const int quality : {75, 100}) {
        const EncodedFile whole = detail::EncodeJpegRowsInBands(kWidth, kHeight, rows, JpegOptions{quality}, 100, 1);
        ASSERT_EQ(restartMarkers(whole), "");
        const std::vector<std::uint32_t> expected = decoded(whole, "whole");
        ASSERT_EQ(expected.size(), pixels.size());
        for (const auto& [rowsPerBand, parts, markers] : {std::tuple{1, 3, "012345670"}, std::tuple{4, 2, "01"},
                                                           std::tuple{5, 8, "0"}}) {
            const EncodedFile banded =
                detail::EncodeJpegRowsInBands(kWidth, kHeight, rows, JpegOptions{quality}, rowsPerBand, parts);
            ASSERT_TRUE(banded);
            EXPECT_EQ(restartMarkers(banded), markers) << rowsPerBand << " MCU rows a band";
            EXPECT_EQ(decoded(banded, "banded"), expected) << rowsPerBand << " MCU rows a band, quality " << quality;
        }
    }
}
