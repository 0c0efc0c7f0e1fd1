#include "codecs/encoders.h"
#include "fast/gif_lzw.h"
#include "codecs/halftone.h"

#include <gif_lib.h>

#include <algorithm>
#include <memory>
#include <new>
#include <span>
#include <utility>

namespace codecs {

namespace {

constexpr int kNoTransparency = -1;

// Owns an open giflib writer; closing it writes the trailer.
class GifWriter {
public:
    explicit GifWriter(std::vector<std::byte>& file) { gif_ = EGifOpen(&file, AppendToFile, &error_); }
    ~GifWriter() {
        if (gif_ != nullptr)
            EGifCloseFile(gif_, &error_);
    }
    GifWriter(const GifWriter&) = delete;
    GifWriter& operator=(const GifWriter&) = delete;

    GifFileType* gif() const { return gif_; }

    bool Close() {
        GifFileType* gif = std::exchange(gif_, nullptr);
        return EGifCloseFile(gif, &error_) == GIF_OK;
    }

private:
    static int AppendToFile(GifFileType* gif, const GifByteType* data, int length) {
        auto* file = static_cast<std::vector<std::byte>*>(gif->UserData);
        const auto* bytes = reinterpret_cast<const std::byte*>(data);
        try {
            file->insert(file->end(), bytes, bytes + length);
        } catch (const std::bad_alloc&) {
            return 0; // giflib reports a short write as a write error
        }
        return length;
    }

    GifFileType* gif_ = nullptr;
    int error_ = 0;
};

struct ColorMapDeleter {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

std::unique_ptr<ColorMapObject, ColorMapDeleter> MakeColorMap(const std::vector<ARGB>& entries) {
    int size = 2; // giflib takes only powers of two, at least 2
    while (static_cast<std::size_t>(size) < entries.size())
        size *= 2;
    std::vector<GifColorType> colors(static_cast<std::size_t>(size), GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < entries.size(); ++i)
        colors[i] = GifColorType{static_cast<GifByteType>(entries[i] >> 16), static_cast<GifByteType>(entries[i] >> 8),
                                 static_cast<GifByteType>(entries[i])};
    return std::unique_ptr<ColorMapObject, ColorMapDeleter>(GifMakeMapObject(size, colors.data()));
}

EncodedFile WriteGif(INT width, INT height, const std::vector<ARGB>& palette, int transparentIndex,
                     const std::uint8_t* indexes) {
    const auto map = MakeColorMap(palette);
    if (!map)
        return Fails(EncodeFailure::OutOfMemory);
    std::vector<std::byte> file;
    GifWriter writer(file);
    GifFileType* gif = writer.gif();
    if (gif == nullptr)
        return Fails(EncodeFailure::OutOfMemory);
    EGifSetGifVersion(gif, true);
    if (EGifPutScreenDesc(gif, width, height, 8, 0, map.get()) != GIF_OK)
        return Fails(EncodeFailure::LibraryFailed);
    if (transparentIndex >= 0) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSAL_UNSPECIFIED;
        control.TransparentColor = transparentIndex;
        GifByteType extension[4];
        const auto length = EGifGCBToExtension(&control, extension);
        if (EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension) != GIF_OK)
            return Fails(EncodeFailure::LibraryFailed);
    }
    if (EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) != GIF_OK)
        return Fails(EncodeFailure::LibraryFailed);
    // giflib has written the code size; the coded indexes follow it, and giflib ends them
    // with the empty block.
    try {
        fast::AppendLzwBlocks(std::span(indexes, static_cast<std::size_t>(width) * static_cast<std::size_t>(height)),
                              map->BitsPerPixel, file);
    } catch (const std::bad_alloc&) {
        return Fails(EncodeFailure::OutOfMemory);
    }
    if (EGifPutCodeNext(gif, nullptr) != GIF_OK || !writer.Close())
        return Fails(EncodeFailure::LibraryFailed);
    return file;
}

} // namespace

std::vector<ARGB> PaletteCoveringIndexes(const PixelImage& image) {
    std::vector<ARGB> entries = image.palette;
    if (entries.size() > 0xFF)
        return entries; // covers every index a byte can hold, without a pass over the pixels
    const std::size_t highest =
        image.indexes.empty() ? 0 : *std::max_element(image.indexes.begin(), image.indexes.end());
    entries.resize(std::max<std::size_t>({entries.size(), highest + 1, 1}), 0);
    return entries;
}

EncodedFile EncodeGif(const PixelImage& image) {
    if (image.width <= 0 || image.height <= 0 || image.width > 0xFFFF || image.height > 0xFFFF)
        return Fails(EncodeFailure::UnsupportedImage);
    if (image.IsIndexed()) {
        const std::vector<ARGB> palette = PaletteCoveringIndexes(image);
        const auto transparent = std::find_if(palette.begin(), palette.end(), [](ARGB e) { return (e >> 24) == 0; });
        const int transparentIndex = transparent == palette.end() ? kNoTransparency
                                                                  : static_cast<int>(transparent - palette.begin());
        return WriteGif(image.width, image.height, palette, transparentIndex, image.indexes.data());
    }
    const std::vector<std::uint8_t> indexes = ReduceToHalftone(image);
    const std::vector<ARGB> palette(HalftonePalette().begin(), HalftonePalette().end());
    return WriteGif(image.width, image.height, palette, kNoTransparency, indexes.data());
}

} // namespace codecs
