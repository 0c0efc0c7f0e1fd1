#include "assets/sample_picture.h"
#include "win32/gdi32/gdi32.h"
#include "win32/gdi32/persistent_picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <utility>
#include <vector>

using lumivert::assets::SamplePictureFile;

namespace {

constexpr int kWidth = 420;
constexpr int kHeight = 345;
constexpr std::size_t kDataOffset = 54;
constexpr std::size_t kStride = 1260;

std::uint32_t U16(std::size_t offset) {
    const auto file = SamplePictureFile();
    return std::to_integer<std::uint32_t>(file[offset]) | std::to_integer<std::uint32_t>(file[offset + 1]) << 8;
}

std::uint32_t U32(std::size_t offset) { return U16(offset) | U16(offset + 2) << 16; }

// The pixel at (x, y), y counted from the top, read straight from the file's bytes
// (rows stored bottom row first, each pixel as blue, green, red), as 0x00RRGGBB.
std::uint32_t FilePixel(int x, int y) {
    const auto file = SamplePictureFile();
    const std::size_t at = kDataOffset + static_cast<std::size_t>(kHeight - 1 - y) * kStride +
                           static_cast<std::size_t>(x) * 3;
    return std::to_integer<std::uint32_t>(file[at]) | std::to_integer<std::uint32_t>(file[at + 1]) << 8 |
           std::to_integer<std::uint32_t>(file[at + 2]) << 16;
}

std::map<std::uint32_t, int> CountColours() {
    std::map<std::uint32_t, int> counts;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            ++counts[FilePixel(x, y)];
    return counts;
}

constexpr gdi32::COLORREF AsColorRef(std::uint32_t rgb) {
    return (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
}

} // namespace

TEST(SamplePictureFile, IsA24BitBottomUpBmpWithTheExpectedHeaders) {
    ASSERT_EQ(SamplePictureFile().size(), 434'754u);
    EXPECT_EQ(U16(0), 0x4D42u) << "signature BM";
    EXPECT_EQ(U32(2), 434'754u) << "bfSize";
    EXPECT_EQ(U16(6), 0u) << "bfReserved1";
    EXPECT_EQ(U16(8), 0u) << "bfReserved2";
    EXPECT_EQ(U32(10), kDataOffset) << "bfOffBits";
    EXPECT_EQ(U32(14), 40u) << "biSize";
    EXPECT_EQ(U32(18), static_cast<std::uint32_t>(kWidth)) << "biWidth";
    EXPECT_EQ(U32(22), static_cast<std::uint32_t>(kHeight)) << "biHeight (positive: bottom-up)";
    EXPECT_EQ(U16(26), 1u) << "biPlanes";
    EXPECT_EQ(U16(28), 24u) << "biBitCount";
    EXPECT_EQ(U32(30), 0u) << "biCompression (BI_RGB)";
    EXPECT_EQ(U32(34), 434'700u) << "biSizeImage";
    EXPECT_EQ(U32(38), 3780u) << "biXPelsPerMeter";
    EXPECT_EQ(U32(42), 3780u) << "biYPelsPerMeter";
    EXPECT_EQ(U32(46), 0u) << "biClrUsed";
    EXPECT_EQ(U32(50), 0u) << "biClrImportant";
}

TEST(SamplePictureFile, Holds247ColoursWithTheFourKeyColoursInVisibleAreas) {
    const auto counts = CountColours();
    EXPECT_EQ(counts.size(), 247u);
    // Each colour offered as the transparent colour covers an area one can see and click
    // away, not a stray pixel: at least a 10 × 10 patch's worth.
    for (const std::uint32_t key : {0x000000u, 0xFFFFFFu, 0x0000FFu, 0xFF0033u}) {
        const auto found = counts.find(key);
        ASSERT_NE(found, counts.end()) << std::hex << key;
        EXPECT_GE(found->second, 100) << std::hex << key;
    }
}

TEST(SamplePictureFile, IsTheCommittedFileByteForByte) {
    std::ifstream in(LUMIVERT_SAMPLE_PICTURE_BMP, std::ios::binary);
    ASSERT_TRUE(in) << LUMIVERT_SAMPLE_PICTURE_BMP;
    const std::vector<char> committed{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto embedded = SamplePictureFile();
    ASSERT_EQ(committed.size(), embedded.size());
    EXPECT_TRUE(std::equal(committed.begin(), committed.end(), embedded.begin(),
                           [](char a, std::byte b) { return static_cast<std::byte>(a) == b; }));
}

TEST(SamplePicturePersistentPicture, LoadsAs420By345WithTheFilesPixels) {
    const gdi32::PersistentPicture picture(SamplePictureFile());
    ASSERT_TRUE(picture.valid());
    EXPECT_EQ(picture.width(), kWidth);
    EXPECT_EQ(picture.height(), kHeight);

    // The first pixel in the file is the bottom-left one; the last is the top-right one.
    const auto file = SamplePictureFile();
    const auto bytePixel = [&](std::size_t at) {
        return std::to_integer<std::uint32_t>(file[at + 2]) | std::to_integer<std::uint32_t>(file[at + 1]) << 8 |
               std::to_integer<std::uint32_t>(file[at]) << 16; // as 0x00BBGGRR
    };
    EXPECT_EQ(gdi32::GetPixel(picture.hDC(), 0, kHeight - 1), bytePixel(kDataOffset));
    EXPECT_EQ(gdi32::GetPixel(picture.hDC(), kWidth - 1, 0), bytePixel(file.size() - 3));
    for (const auto& [x, y] : {std::pair{0, 0}, {kWidth - 1, 0}, {0, kHeight - 1}, {kWidth - 1, kHeight - 1},
                              {kWidth / 2, kHeight / 2}})
        EXPECT_EQ(gdi32::GetPixel(picture.hDC(), x, y), AsColorRef(FilePixel(x, y))) << x << ", " << y;
    // The corners differ (sky at the top, the chart at the bottom), so a flipped load shows.
    EXPECT_NE(FilePixel(0, 0), FilePixel(0, kHeight - 1));

    int mismatches = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            mismatches += gdi32::GetPixel(picture.hDC(), x, y) != AsColorRef(FilePixel(x, y));
    EXPECT_EQ(mismatches, 0);
}
