#pragma once

// Pictures for the bitmap tests: pixel grids the tests define, loaded into a memory device
// context as the window's picture box holds its picture, and read back from BMP files.

#include "win32/gdi32/gdi32.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bitmap_test {

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

// A picture with many colours: gradients, pseudo-random pixels, the corners of the colour
// cube and colours that lie exactly between two colour-table entries.
Picture MixedPicture(int width, int height, std::uint32_t seed = 1);

// A memory device context with a device bitmap holding the picture, released in the order
// select back, delete bitmap, delete DC.
class PictureDc {
public:
    explicit PictureDc(const Picture& picture);
    ~PictureDc();
    PictureDc(const PictureDc&) = delete;
    PictureDc& operator=(const PictureDc&) = delete;

    gdi32::HDC dc() const { return dc_; }
    Picture Read() const;

private:
    gdi32::HDC dc_;
    gdi32::HBITMAP bitmap_;
    gdi32::HBITMAP old_;
};

// The pixels of the bitmap selected into dc, through GetPixel.
Picture ReadPicture(gdi32::HDC dc);

// A fresh empty folder, removed with everything in it at the end of the scope.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    std::vector<std::string> Names() const; // the folder's entries, sorted

private:
    std::filesystem::path path_;
};

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Decodes a 32-bit uncompressed BMP as the file layout states it (headers checked, rows
// bottom-up); fails the current test and returns an empty picture otherwise.
Picture Decode32BitBmp(const std::vector<std::uint8_t>& file);

} // namespace bitmap_test
