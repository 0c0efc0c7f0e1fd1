// PSNR and SSIM of one copy against the picture, as the comparison measures each file it
// reads back: the sample's size and a 24-megapixel photo's, on one thread (the comparison
// measures files side by side, one a processor).

#include "app/compare_quality.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

void MeasureCopy(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const bool identical = state.range(2) != 0;
    std::vector<std::uint32_t> original(static_cast<std::size_t>(width)), copy(original.size());
    std::uint32_t seed = 1;
    for (std::size_t i = 0; i < original.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        original[i] = seed >> 8;
        copy[i] = 0xFF000000u | (identical ? original[i] : original[i] ^ (seed & 0x070707u));
    }
    for (auto _ : state) {
        lumivert::QualityMeter meter(width, height);
        for (int y = 0; y < height; ++y)
            meter.AddRow(original.data(), copy.data());
        benchmark::DoNotOptimize(meter.Result());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(width) * height);
}
BENCHMARK(MeasureCopy)->Args({420, 345, 0})->Args({6000, 4000, 0})->Args({6000, 4000, 1})->Unit(benchmark::kMillisecond);

} // namespace
