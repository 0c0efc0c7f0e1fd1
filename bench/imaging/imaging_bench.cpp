// Every way of encoding on the sample picture (420 × 345) and on a 4096 × 4096 picture (the
// sample tiled), in megapixels per second with the file size; and the own GIF conversion
// against the literal per-pixel reads and scans, with identical output checked first.

#include "assets/sample_picture.h"
#include "imaging/encoding_pipeline.h"
#include "imaging/mdl_gdiplus.h"
#include "imaging/own_gif_conversion.h"
#include "imaging/own_gif_palette.h"
#include "win32/gdi32/surface.h"
#include "win32/gdiplus/gdiplus_flat.h"
#include "tests/imaging/literal_own_gif.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace mdlGdiplus;

namespace {

// A device bitmap holding the sample picture, or the sample repeated over a larger size.
class Picture {
public:
    explicit Picture(int size) : dc_(gdi32::CreateCompatibleDC({})) {
        const gdi32::HBITMAP sample = gdi32::LoadBitmapFromBmp(lumivert::assets::SamplePictureFile());
        if (size == 0) {
            bitmap_ = sample;
            return;
        }
        bitmap_ = gdi32::CreateCompatibleBitmap(dc_, size, size);
        const auto from = gdi32::ViewBitmap(sample);
        const auto to = gdi32::ViewBitmap(bitmap_);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                to->Row(y)[x] = from->Row(y % from->height)[x % from->width];
        gdi32::DeleteObject(sample);
    }
    ~Picture() {
        gdi32::DeleteObject(bitmap_);
        gdi32::DeleteDC(dc_);
    }
    gdi32::HBITMAP handle() const { return bitmap_; }
    double Megapixels() const {
        const auto view = gdi32::ViewBitmap(bitmap_);
        return view->width * double(view->height) / 1e6;
    }
    std::vector<std::uint32_t> Argb() const {
        const auto view = gdi32::ViewBitmap(bitmap_);
        std::vector<std::uint32_t> pixels;
        for (int y = 0; y < view->height; ++y)
            for (int x = 0; x < view->width; ++x)
                pixels.push_back(0xFF000000u | view->Row(y)[x]);
        return pixels;
    }

private:
    gdi32::HDC dc_;
    gdi32::HBITMAP bitmap_;
};

const Picture& PictureOfSize(int size) {
    static const Picture sample(0);
    static const Picture large(4096);
    return size == 0 ? sample : large;
}

std::string OutputPath(const char* name) {
    static const std::filesystem::path folder = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "lumivert-bench-XXXXXX").string();
        return std::filesystem::path(::mkdtemp(pattern.data()));
    }();
    return (folder / name).string();
}

// One save as the window makes it: start-up, the request, shut-down.
void BM_Save(benchmark::State& state, const char* name, std::int32_t format, std::int32_t option) {
    const Picture& picture = PictureOfSize(static_cast<int>(state.range(0)));
    const std::string path = OutputPath(name);
    for (auto _ : state) {
        StartupGdiplus();
        const bool written = SaveImageByGdiplus(picture.handle(), path, format, option);
        ShutdownGdiplus();
        if (!written) {
            state.SkipWithError("the save failed");
            return;
        }
    }
    state.counters["MP/s"] = benchmark::Counter(picture.Megapixels(), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
}

// The conversion up to the indexed bitmap, both ways: one read of the picture and the hashed
// decisions, or a pixel-by-pixel read and the literal scans. The indexes must be identical.
std::vector<std::uint8_t> FastConversion(gdiplus::GpBitmap* source, int width, int height, std::int32_t option) {
    const std::size_t count = static_cast<std::size_t>(width) * height;
    const auto buffer = ReadPixelValues(source, width, height);
    const std::span<const std::uint32_t> pixels(buffer.get(), count);
    const CollectedColorTable collected = CollectColors(pixels, OleColorToArgb(option, 255));
    gdiplus::ColorPalette palette;
    const ColorIndexTable index = BuildPalette(collected, option, std::span(palette.Entries, 256));
    std::vector<std::uint8_t> indexes(count);
    MapIndexes(pixels, index, indexes);
    return indexes;
}

std::vector<std::uint8_t> LiteralConversion(gdiplus::GpBitmap* source, int width, int height, std::int32_t option) {
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    std::size_t k = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            gdiplus::GdipBitmapGetPixel(source, x, y, &pixels[k++]);
    return literal_own_gif::Convert(pixels, option).indexes;
}

void BM_OwnGifConversion(benchmark::State& state, bool literal) {
    const Picture& picture = PictureOfSize(static_cast<int>(state.range(0)));
    const auto view = gdi32::ViewBitmap(picture.handle());
    constexpr std::int32_t option = 0x3300FF;
    StartupGdiplus();
    gdiplus::GpBitmap* source = nullptr;
    gdiplus::GdipCreateBitmapFromHBITMAP(picture.handle(), gdiplus::HPALETTE{}, &source);
    if (FastConversion(source, view->width, view->height, option) !=
        LiteralConversion(source, view->width, view->height, option)) {
        state.SkipWithError("the fast conversion differs from the literal one");
    } else {
        for (auto _ : state) {
            if (literal)
                benchmark::DoNotOptimize(LiteralConversion(source, view->width, view->height, option));
            else
                benchmark::DoNotOptimize(FastConversion(source, view->width, view->height, option));
        }
        state.counters["MP/s"] =
            benchmark::Counter(picture.Megapixels(), benchmark::Counter::kIsIterationInvariantRate);
    }
    gdiplus::GdipDisposeImage(source);
    ShutdownGdiplus();
}

constexpr int kSample = 0;
constexpr int kLarge = 4096;

} // namespace

BENCHMARK_CAPTURE(BM_Save, png, "plain.png", FormatPng, OptionNone)->Arg(kSample)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Save, png_colour_key, "key.png", FormatPng, 0xFFFFFF)->Arg(kSample)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Save, gif_own, "own.gif", FormatGif, OptionNone)->Arg(kSample)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Save, gif_own_transparent, "own_key.gif", FormatGif, 0x3300FF)->Arg(kSample)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Save, gif_by_encoder, "encoder.gif", FormatGif, OptionGifByEncoder)->Arg(kSample)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Save, jpeg_default, "default.jpg", FormatJpeg, OptionNone)->Arg(kSample)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Save, jpeg_quality_90, "q90.jpg", FormatJpeg, 90)->Arg(kSample)->Arg(kLarge)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OwnGifConversion, fast, false)->Arg(kSample)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OwnGifConversion, literal_scans, true)->Arg(kSample)->Unit(benchmark::kMillisecond);
