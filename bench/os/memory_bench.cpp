// Page faults of a picture-sized buffer under the program's memory policy: the first buffer
// of a size takes fresh memory, every later one should find the freed pages again. Reported
// as the counter page_faults (per iteration); a policy that stops working shows as
// thousands where there should be almost none.

#include "os/memory_policy.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <sys/resource.h>

namespace {

long MinorFaults() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

void TouchOneBuffer(std::size_t bytes) {
    const auto block = std::make_unique_for_overwrite<unsigned char[]>(bytes);
    std::memset(block.get(), 0x5A, bytes);
    benchmark::DoNotOptimize(block.get());
}

// One 32-bit picture of side × side pixels, allocated, written and freed per iteration.
void PictureSizedBuffer(benchmark::State& state) {
    const auto side = static_cast<int>(state.range(0));
    const std::size_t bytes = std::size_t{4} * static_cast<std::size_t>(side) * static_cast<std::size_t>(side);
    if (state.range(1) != 0) // as when the picture was loaded
        os::PrepareWorkingMemory(os::WorkingMemoryFor(side, side));
    const long before = MinorFaults();
    for (auto _ : state)
        TouchOneBuffer(bytes);
    state.counters["page_faults"] =
        benchmark::Counter(static_cast<double>(MinorFaults() - before), benchmark::Counter::kAvgIterations);
}
BENCHMARK(PictureSizedBuffer)
    ->ArgNames({"side", "prepared"})
    ->Args({4096, 0})
    ->Args({4096, 1})
    ->Unit(benchmark::kMillisecond);

} // namespace
