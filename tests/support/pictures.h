#pragma once

// Test pictures in a memory device context as the picture box holds its picture; files as
// bytes; an independent 32-bit BMP reader; Pillow's second opinion.

#include "tests/support/scratch_folder.h"
#include "win32/gdi32/gdi32.h"

#include <cstdint>
#include <string>
#include <vector>

namespace test_pictures {

struct Color {
    int red = 0, green = 0, blue = 0;
    friend bool operator==(Color, Color) = default;
};

// Row 0 is the top row.
struct Picture {
    int width = 0, height = 0;
    std::vector<Color> pixels;

    Picture() = default;
    Picture(int w, int h, Color fill = {}) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, fill) {}
    Color& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    Color at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    Picture UpsideDown() const;
    friend bool operator==(const Picture&, const Picture&) = default;
};

// "same", or the size or the first pixel where got differs from want.
std::string FirstDifference(const Picture& got, const Picture& want);

// Gradients, pseudo-random pixels, the colour cube's corners and colours exactly between
// two colour-table entries.
Picture MixedPicture(int width, int height, std::uint32_t seed = 1);

// A memory device context with a device bitmap holding the picture.
class PictureDc {
public:
    explicit PictureDc(const Picture& picture);
    ~PictureDc();
    PictureDc(const PictureDc&) = delete;
    PictureDc& operator=(const PictureDc&) = delete;
    gdi32::HDC dc() const { return dc_; }

private:
    gdi32::HDC dc_;
    gdi32::HBITMAP bitmap_;
    gdi32::HBITMAP old_;
};

// The pixels of the bitmap selected into dc, through GetPixel.
Picture ReadPicture(gdi32::HDC dc);

using TempFolder = test_support::ScratchFolder;

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
void WritePpm(const std::string& path, const Picture& picture);

// The exit status of tests/support/compare_in_pillow.py over folder (0: every file shows
// the pixels of the PPM beside it), or kNoPillow where python3 or Pillow is missing.
inline constexpr int kNoPillow = 77;
int CompareInPillow(const std::string& sourceDir, const std::string& folder);

// A 32-bit uncompressed BMP as its headers state it, rows bottom-up; fails the current
// test and answers an empty picture for any other file.
Picture Decode32BitBmp(const std::vector<std::uint8_t>& file);

} // namespace test_pictures
