#pragma once

// Second opinions on written files: libpng, giflib and libjpeg, apart from the encoders' paths.

#include <gif_lib.h>
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace decoders {

struct Png {
    int width = 0, height = 0;
    bool hasAlpha = false, hasColor = false, isIndexed = false;
    std::vector<std::uint32_t> argb; // 0xAARRGGBB, rows top first
};

struct Gif {
    std::string version; // "GIF87a" or "GIF89a"
    int width = 0, height = 0;
    std::vector<std::uint32_t> palette; // 0x00RRGGBB, the global colour map
    int transparentIndex = -1;
    std::vector<std::uint8_t> indexes;
};

struct Jpeg {
    int width = 0, height = 0;
    std::vector<std::uint16_t> lumaTable; // natural order
    std::vector<std::uint32_t> rgb;       // 0x00RRGGBB
};


inline std::optional<Png> ReadPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return std::nullopt;
    Png png{static_cast<int>(image.width), static_cast<int>(image.height), (image.format & PNG_FORMAT_FLAG_ALPHA) != 0,
            (image.format & PNG_FORMAT_FLAG_COLOR) != 0, (image.format & PNG_FORMAT_FLAG_COLORMAP) != 0, {}};
    image.format = PNG_FORMAT_BGRA; // read little-endian as 0xAARRGGBB
    png.argb.resize(static_cast<std::size_t>(png.width) * png.height);
    if (!png_image_finish_read(&image, nullptr, png.argb.data(), 0, nullptr))
        return std::nullopt; // libpng freed the image
    return png;
}

inline std::optional<Gif> ReadGif(const std::string& path) {
    int error = 0;
    const std::unique_ptr<GifFileType, void (*)(GifFileType*)> gif(DGifOpenFileName(path.c_str(), &error),
                                                                    [](GifFileType* g) { DGifCloseFile(g, nullptr); });
    if (!gif || DGifSlurp(gif.get()) != GIF_OK || gif->ImageCount < 1 || gif->SColorMap == nullptr)
        return std::nullopt;
    char version[7] = {};
    std::ifstream(path, std::ios::binary).read(version, 6);
    Gif out{version, gif->SWidth, gif->SHeight, {}, -1, {}};
    for (int i = 0; i < gif->SColorMap->ColorCount; ++i) {
        const GifColorType c = gif->SColorMap->Colors[i];
        out.palette.push_back((std::uint32_t{c.Red} << 16) | (std::uint32_t{c.Green} << 8) | c.Blue);
    }
    GraphicsControlBlock control{};
    if (DGifSavedExtensionToGCB(gif.get(), 0, &control) == GIF_OK)
        out.transparentIndex = control.TransparentColor;
    const SavedImage& frame = gif->SavedImages[0];
    out.indexes.assign(frame.RasterBits, frame.RasterBits + frame.ImageDesc.Width * frame.ImageDesc.Height);
    return out;
}

namespace detail {

struct JpegErrors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

// Jumped back to on errors: keeps nothing with a destructor of its own.
inline bool Decode(jpeg_decompress_struct& info, FILE* file, Jpeg& out, std::vector<JSAMPLE>& row) {
    if (setjmp(reinterpret_cast<JpegErrors*>(info.err)->jump))
        return false;
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    out.lumaTable.assign(info.quant_tbl_ptrs[0]->quantval, info.quant_tbl_ptrs[0]->quantval + DCTSIZE2);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    out.width = static_cast<int>(info.output_width);
    out.height = static_cast<int>(info.output_height);
    row.resize(info.output_width * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&info, rows, 1);
        for (JDIMENSION x = 0; x < info.output_width; ++x)
            out.rgb.push_back((std::uint32_t{row[3 * x]} << 16) | (std::uint32_t{row[3 * x + 1]} << 8) | row[3 * x + 2]);
    }
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace detail

inline std::optional<Jpeg> ReadJpeg(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return std::nullopt;
    jpeg_decompress_struct info{};
    detail::JpegErrors errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = [](j_common_ptr common) {
        std::longjmp(reinterpret_cast<detail::JpegErrors*>(common->err)->jump, 1);
    };
    Jpeg out;
    std::vector<JSAMPLE> row;
    const bool ok = detail::Decode(info, file, out, row);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return ok ? std::optional<Jpeg>(std::move(out)) : std::nullopt;
}

} // namespace decoders
