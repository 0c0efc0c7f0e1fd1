#include "assets/sample_picture.h"

namespace lumivert::assets {

namespace {

// The bytes of sample_picture.bmp, filled in by the build from the committed file.
constexpr unsigned char kSamplePictureBmp[] = {
#include "sample_picture_bytes.inc"
};

} // namespace

std::span<const std::byte> SamplePictureFile() {
    return std::as_bytes(std::span(kSamplePictureBmp));
}

} // namespace lumivert::assets
