// Writes BMP files through the program's own writer and effect engines, with the source
// pictures beside them as PPM, for a check by an independent decoder.
//
// Usage: bitmap_files_for_decoders <folder>
// Writes <name>.ppm and <name>_<depth>.bmp for depths 1, 4, 8 and 32, for the sample picture
// ("sample") and generated pictures of other sizes, and sample_effect<n>_<engine>.bmp for
// effects 1 to 11 in both engines (engine "pixels" or "dibits").

#include "assets/sample_picture.h"
#include "bitmap/bmp_writer.h"
#include "bitmap/effect_engine.h"
#include "win32/gdi32/persistent_picture.h"
#include "tests/bitmap/test_pictures.h"

#include <cstdio>
#include <fstream>
#include <iostream>

using namespace bitmap_test;

namespace {

void WritePpm(const std::string& path, const Picture& picture) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << picture.width << ' ' << picture.height << "\n255\n";
    for (const Color& c : picture.pixels)
        out << static_cast<char>(c.red) << static_cast<char>(c.green) << static_cast<char>(c.blue);
}

void WriteAllDepths(gdi32::HDC dc, const std::string& folder, const std::string& name) {
    WritePpm(folder + "/" + name + ".ppm", ReadPicture(dc));
    for (int depth : {1, 4, 8, 32})
        mdlBitmap::SaveBmpFile(dc, folder + "/" + name + "_" + std::to_string(depth) + ".bmp", depth);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " <folder>\n";
        return 2;
    }
    const std::string folder = argv[1];
    try {
        const gdi32::PersistentPicture sample(lumivert::assets::SamplePictureFile());
        WriteAllDepths(sample.hDC(), folder, "sample");
        for (int effect = 1; effect <= 11; ++effect)
            for (bool pixels : {true, false})
                mdlBitmap::SaveEffectBmp(sample.hDC(),
                                         folder + "/sample_effect" + std::to_string(effect) +
                                             (pixels ? "_pixels" : "_dibits") + ".bmp",
                                         effect, pixels ? -1 : 0);
        const std::pair<int, int> kSizes[] = {{1, 1}, {3, 2}, {13, 7}, {33, 5}, {65, 3}, {7, 31}};
        for (auto [width, height] : kSizes) {
            const PictureDc picture(MixedPicture(width, height, width + 31 * height));
            WriteAllDepths(picture.dc(), folder, "mixed" + std::to_string(width) + "x" + std::to_string(height));
        }
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
    return 0;
}
