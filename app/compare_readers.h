#pragma once

// Reading saved files back a row at a time, each by a decoder of its own format (libpng,
// libjpeg, giflib, and a small BMP reader), apart from the code that wrote them.

#include <cstdint>
#include <memory>
#include <string>

namespace lumivert {

class RowReader {
public:
    virtual ~RowReader() = default;
    int width() const { return width_; }
    int height() const { return height_; }
    // The next row, top first: width() pixels 0xAARRGGBB (alpha 0 where the file is
    // transparent). Throws std::runtime_error for a damaged file.
    virtual void ReadRow(std::uint32_t* row) = 0;

protected:
    int width_ = 0;
    int height_ = 0;
};

// The reader for the file at path, chosen by its ending: .bmp, .png, .gif, .jpg. Throws
// std::runtime_error for a file it cannot open or read.
std::unique_ptr<RowReader> OpenRowReader(const std::string& path);

} // namespace lumivert
