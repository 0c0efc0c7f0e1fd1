// Throughput of the BMP writer at every depth and of every effect in both engines, on the
// sample picture (420 × 345) and on a 4096 × 4096 picture of the same kind.
//
// Files go to /dev/null unless the benchmark's name says "disk", so the numbers are the
// conversion and assembly alone. Mpx/s counts picture pixels per second; bytes_per_second
// counts their 32-bit form (4 bytes a pixel).

#include "assets/sample_picture.h"
#include "bitmap/bmp_writer.h"
#include "bitmap/effect_engine.h"
#include "bitmap/effect_routines.h"
#include "win32/gdi32/persistent_picture.h"
#include "win32/gdi32/surface.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

namespace {

constexpr int kLarge = 4096;

// A picture like the sample: flat shapes and gradients stepped onto a few hundred colours.
class LargePicture {
public:
    LargePicture() {
        dc_ = gdi32::CreateCompatibleDC({});
        bitmap_ = gdi32::CreateCompatibleBitmap(dc_, kLarge, kLarge);
        old_ = gdi32::SelectObject(dc_, bitmap_);
        const gdi32::SurfaceView view = *gdi32::ViewBitmap(bitmap_);
        for (int y = 0; y < kLarge; ++y) {
            std::uint32_t* row = view.Row(y);
            for (int x = 0; x < kLarge; ++x) {
                const int dx = x - kLarge / 2, dy = y - kLarge / 3;
                std::uint32_t red = (x * 8 / kLarge) * 36, green = (y * 8 / kLarge) * 36, blue = ((x + y) * 4 / (2 * kLarge)) * 85;
                if (dx * dx + dy * dy < (kLarge / 5) * (kLarge / 5))
                    red = 255, green = 0, blue = 51;
                else if (y > kLarge * 3 / 4 && (x / 256) % 2 == 0)
                    red = green = blue = 255;
                row[x] = red << 16 | green << 8 | blue;
            }
        }
    }
    ~LargePicture() {
        gdi32::SelectObject(dc_, old_);
        gdi32::DeleteObject(bitmap_);
        gdi32::DeleteDC(dc_);
    }
    gdi32::HDC dc() const { return dc_; }

private:
    gdi32::HDC dc_;
    gdi32::HBITMAP bitmap_;
    gdi32::HBITMAP old_;
};

// The picture a benchmark runs on: argument 0 is the sample, 1 the large picture.
gdi32::HDC PictureFor(std::int64_t which, std::int64_t& pixels) {
    static const gdi32::PersistentPicture sample(lumivert::assets::SamplePictureFile());
    static const LargePicture large;
    pixels = which == 0 ? std::int64_t{420} * 345 : std::int64_t{kLarge} * kLarge;
    return which == 0 ? sample.hDC() : large.dc();
}

void CountPixels(benchmark::State& state, std::int64_t pixels) {
    const auto done = static_cast<double>(pixels) * static_cast<double>(state.iterations());
    state.counters["Mpx/s"] = benchmark::Counter(done / 1e6, benchmark::Counter::kIsRate);
    state.SetBytesProcessed(pixels * 4 * state.iterations());
}

void SaveBmp(benchmark::State& state) {
    std::int64_t pixels = 0;
    const gdi32::HDC dc = PictureFor(state.range(0), pixels);
    const auto depth = static_cast<std::int32_t>(state.range(1));
    for (auto _ : state)
        mdlBitmap::SaveBmpFile(dc, "/dev/null", depth);
    CountPixels(state, pixels);
}
BENCHMARK(SaveBmp)->ArgNames({"large", "depth"})->ArgsProduct({{0, 1}, {1, 4, 8, 32}})->Unit(benchmark::kMillisecond);

// The same with the file on disk, for comparison with the numbers above.
void SaveBmpDisk(benchmark::State& state) {
    std::int64_t pixels = 0;
    const gdi32::HDC dc = PictureFor(state.range(0), pixels);
    const auto depth = static_cast<std::int32_t>(state.range(1));
    const std::string path = (std::filesystem::temp_directory_path() / "lumivert-bench-Sample.bmp").string();
    for (auto _ : state)
        mdlBitmap::SaveBmpFile(dc, path, depth);
    std::filesystem::remove(path);
    CountPixels(state, pixels);
}
BENCHMARK(SaveBmpDisk)->ArgNames({"large", "depth"})->ArgsProduct({{0, 1}, {8, 32}})->Unit(benchmark::kMillisecond);

// The platform conversion alone at each depth (query and conversion call).
void ConvertDIBits(benchmark::State& state) {
    std::int64_t pixels = 0;
    const gdi32::HDC dc = PictureFor(state.range(0), pixels);
    const gdi32::HBITMAP bitmap = gdi32::GetCurrentObject(dc, gdi32::OBJ_BITMAP);
    gdi32::BITMAP size{};
    gdi32::GetObjectA(bitmap, sizeof size, &size);
    auto info = std::make_unique<gdi32::BITMAPINFO>();
    info->bmiHeader = {40, size.bmWidth, size.bmHeight, 1, static_cast<std::uint16_t>(state.range(1)), 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 256; ++i) // a 3-3-2 cube serves every depth here
        info->bmiColors[i] = {static_cast<std::uint8_t>(i % 4 * 85), static_cast<std::uint8_t>((i / 4) % 8 * 36),
                              static_cast<std::uint8_t>(i / 32 * 36), 0};
    gdi32::GetDIBits(dc, bitmap, 0, size.bmHeight, nullptr, info.get(), 0);
    std::vector<std::byte> buffer(info->bmiHeader.biSizeImage);
    for (auto _ : state) {
        gdi32::GetDIBits(dc, bitmap, 0, size.bmHeight, buffer.data(), info.get(), 0);
        benchmark::DoNotOptimize(buffer.data());
    }
    CountPixels(state, pixels);
}
BENCHMARK(ConvertDIBits)->ArgNames({"large", "depth"})->ArgsProduct({{0, 1}, {1, 4, 8, 32}})->Unit(benchmark::kMillisecond);

// The whole effect save as the window runs it: copy, effect, 32-bit writer, release.
void SaveEffect(benchmark::State& state) {
    std::int64_t pixels = 0;
    const gdi32::HDC dc = PictureFor(state.range(0), pixels);
    const auto effect = static_cast<std::int32_t>(state.range(1));
    const std::int32_t usePixels = state.range(2) != 0 ? -1 : 0;
    for (auto _ : state)
        mdlBitmap::SaveEffectBmp(dc, "/dev/null", effect, usePixels);
    CountPixels(state, pixels);
}
BENCHMARK(SaveEffect)
    ->ArgNames({"large", "effect", "pixels"})
    ->ArgsProduct({{0, 1}, benchmark::CreateDenseRange(1, 11, 1), {0, 1}})
    ->Unit(benchmark::kMillisecond);

// The DIBits routines alone, on the memory of a DIB section as the engine hands it over.
void DIBEffectRoutine(benchmark::State& state) {
    std::int64_t pixels = 0;
    const gdi32::HDC dc = PictureFor(state.range(0), pixels);
    gdi32::BITMAP size{};
    gdi32::GetObjectA(gdi32::GetCurrentObject(dc, gdi32::OBJ_BITMAP), sizeof size, &size);
    std::vector<std::uint32_t> memory(static_cast<std::size_t>(pixels));
    const gdi32::SurfaceView view = *gdi32::ViewBitmap(gdi32::GetCurrentObject(dc, gdi32::OBJ_BITMAP));
    for (int r = 0; r < size.bmHeight; ++r)
        std::copy_n(view.Row(size.bmHeight - 1 - r), size.bmWidth, memory.data() + static_cast<std::size_t>(r) * size.bmWidth);
    const auto effect = static_cast<std::int32_t>(state.range(1));
    for (auto _ : state) {
        if (effect <= 9)
            mdlBitmap::ApplyDIBEffect(dc, size.bmWidth, size.bmHeight, memory.data(), effect);
        else
            mdlBitmap::ApplyDIBEmboss(dc, size.bmWidth, size.bmHeight, memory.data(), effect);
        benchmark::DoNotOptimize(memory.data());
    }
    CountPixels(state, pixels);
}
BENCHMARK(DIBEffectRoutine)
    ->ArgNames({"large", "effect"})
    ->ArgsProduct({{1}, benchmark::CreateDenseRange(1, 11, 1)})
    ->Unit(benchmark::kMillisecond);

} // namespace
