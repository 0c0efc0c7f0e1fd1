// Writes every kind of save of the sample picture into a folder, for the checks by Pillow and
// ImageMagick in check_saved_files.py.

#include "assets/sample_picture.h"
#include "imaging/mdl_gdiplus.h"
#include "win32/gdi32/surface.h"

#include <cstdio>
#include <string>

using namespace mdlGdiplus;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s folder\n", argv[0]);
        return 2;
    }
    const std::string folder = std::string(argv[1]) + "/";
    const gdi32::HBITMAP picture = gdi32::LoadBitmapFromBmp(lumivert::assets::SamplePictureFile());
    struct Request {
        std::string name;
        std::int32_t format;
        std::int32_t option;
    };
    const Request requests[] = {
        {"plain.png", FormatPng, OptionNone},
        {"key_000000.png", FormatPng, 0x000000},
        {"key_ffffff.png", FormatPng, 0xFFFFFF},
        {"key_ff0000.png", FormatPng, 0xFF0000},
        {"key_3300ff.png", FormatPng, 0x3300FF},
        {"own_none.gif", FormatGif, OptionNone},
        {"own_000000.gif", FormatGif, 0x000000},
        {"own_ffffff.gif", FormatGif, 0xFFFFFF},
        {"own_ff0000.gif", FormatGif, 0xFF0000},
        {"own_3300ff.gif", FormatGif, 0x3300FF},
        {"encoder.gif", FormatGif, OptionGifByEncoder},
        {"q150.jpg", FormatJpeg, 150},
        {"q-5.jpg", FormatJpeg, -5},
        {"q0.jpg", FormatJpeg, 0},
        {"q50.jpg", FormatJpeg, 50},
        {"q90.jpg", FormatJpeg, 90},
        {"default.jpg", FormatJpeg, OptionNone},
    };
    int failures = 0;
    for (const Request& request : requests) {
        if (!StartupGdiplus())
            return 1;
        if (!SaveImageByGdiplus(picture, folder + request.name, request.format, request.option)) {
            std::fprintf(stderr, "could not write %s\n", request.name.c_str());
            ++failures;
        }
        ShutdownGdiplus();
    }
    gdi32::DeleteObject(picture);
    return failures == 0 ? 0 : 1;
}
