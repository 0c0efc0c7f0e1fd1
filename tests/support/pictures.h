#pragma once

// Pictures the tests define, loaded into a memory device context as the window's picture box
// holds its picture; whole-file reads as bytes; an independent 32-bit BMP reader.

#include "tests/support/scratch_folder.h"
#include "win32/gdi32/gdi32.h"

#include <cstdint>
#include <filesystem>
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

// Many colours: gradients, pseudo-random pixels, the corners of the colour cube and colours
// that lie exactly between two colour-table entries.
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

// The one scratch folder of the tests.
using TempFolder = test_support::ScratchFolder;

// The whole file; the writers under test have returned before it is read.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
void WritePpm(const std::string& path, const Picture& picture);

// Runs tests/support/compare_in_pillow.py of the source tree over folder: each BMP there is
// read by Pillow and compared with the PPM beside it. Answers the script's exit status (0
// when all agree), or kNoPillow where /usr/bin/python3 or Pillow is missing.
inline constexpr int kNoPillow = 77;
int CompareInPillow(const std::string& sourceDir, const std::string& folder);

// Decodes a 32-bit uncompressed BMP as the file layout states it (headers checked, rows
// bottom-up); fails the current test and returns an empty picture otherwise.
Picture Decode32BitBmp(const std::vector<std::uint8_t>& file);

} // namespace test_pictures
