#include "app/compare_quality.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

// The filters run on every pixel of eleven copies of a picture of up to hundreds of
// megapixels: each is built for the processor's wider vectors (AVX2 with FMA) as well, and the
// wider build is used where the processor has them. The file is compiled with -O3 for the
// loops to be vectorised at all.
#if defined(__x86_64__) && defined(__GNUC__)
#define LUMIVERT_WIDE_VECTORS 1
#endif

namespace lumivert {

namespace {

constexpr float kC1 = (0.01f * 255) * (0.01f * 255);
constexpr float kC2 = (0.03f * 255) * (0.03f * 255);
// Luma is kept less this, which halves the magnitude of the squares and so the rounding of
// E[x²] − μ² in single precision; variances do not change, means get it back.
constexpr float kLumaShift = 128;

// The 11 weights of the one-dimensional Gaussian (σ 1.5), summing to 1; the window is their
// outer product. Symmetric: only the first six are used.
std::array<float, 6> HalfGaussian() {
    std::array<double, 11> weights{};
    double sum = 0;
    for (int k = 0; k < 11; ++k)
        sum += weights[k] = std::exp(-double((k - 5) * (k - 5)) / (2 * 1.5 * 1.5));
    std::array<float, 6> half{};
    for (int k = 0; k < 6; ++k)
        half[k] = static_cast<float>(weights[k] / sum);
    return half;
}
const std::array<float, 6> kWeight = HalfGaussian();

// out[j] = Σk weight(k) · in[j + k], for j < count.
[[gnu::always_inline]] inline void FilterAcrossBody(const float* __restrict in, float* __restrict out, int count) {
    const float g0 = kWeight[0], g1 = kWeight[1], g2 = kWeight[2], g3 = kWeight[3], g4 = kWeight[4], g5 = kWeight[5];
    for (int j = 0; j < count; ++j)
        out[j] = g0 * (in[j] + in[j + 10]) + g1 * (in[j + 1] + in[j + 9]) + g2 * (in[j + 2] + in[j + 8]) +
                 g3 * (in[j + 3] + in[j + 7]) + g4 * (in[j + 4] + in[j + 6]) + g5 * in[j + 5];
}

// The 8-lane helpers are inlined into the AVX2 kernels only; their calling convention never
// meets code built without AVX.
#pragma GCC diagnostic ignored "-Wpsabi"
template <class V>
[[gnu::always_inline]] inline V Load(const float* at) {
    V v;
    std::memcpy(&v, at, sizeof v);
    return v;
}
template <class V>
[[gnu::always_inline]] inline void Store(float* at, V v) {
    std::memcpy(at, &v, sizeof v);
}

using Floats4 = float __attribute__((vector_size(16)));
using Floats8 = float __attribute__((vector_size(32)));

// The five sums at j..j + lanes of V. Written with vector types: the compiler does not turn
// a loop of 27 memory streams into vector code by itself.
template <class V>
[[gnu::always_inline]] inline void FilterDownAt(const float* const* xs, const float* const* ys, float* const* out,
                                                int j) {
    V sx{}, sy{}, sxx{}, syy{}, sxy{};
    for (int k = 0; k < 11; ++k) {
        const float g = kWeight[k < 6 ? k : 10 - k];
        const V x = Load<V>(xs[k] + j), y = Load<V>(ys[k] + j), wx = g * x, wy = g * y;
        sx += wx;
        sy += wy;
        sxx += wx * x;
        syy += wy * y;
        sxy += wx * y;
    }
    Store(out[0] + j, sx);
    Store(out[1] + j, sy);
    Store(out[2] + j, sxx);
    Store(out[3] + j, syy);
    Store(out[4] + j, sxy);
}

// The five sums of the window's column at j, for j < count: Σk weight(k) · v for v = x, y,
// x², y² and xy of rows k of x and y. Filtering the luma down first keeps only two planes of
// eleven rows (x and y) where filtering the five planes across first keeps five: at a
// photo's width those rows no longer fit the processor's cache, and every window row reads
// all of them.
template <class V>
[[gnu::always_inline]] inline void FilterDownBody(const float* const* xs, const float* const* ys, float* const* out,
                                                  int count) {
    constexpr int kLanes = sizeof(V) / sizeof(float);
    int j = 0;
    for (; j + kLanes <= count; j += kLanes)
        FilterDownAt<V>(xs, ys, out, j);
    for (; j < count; ++j)
        FilterDownAt<float>(xs, ys, out, j);
}

// The SSIM of each window of a row from its five filtered planes, written over mx.
[[gnu::always_inline]] inline void WindowSsimBody(float* __restrict mx, const float* __restrict my, const float* __restrict mxx,
                const float* __restrict myy, const float* __restrict mxy, int count) {
    for (int j = 0; j < count; ++j) {
        const float sx = mxx[j] - mx[j] * mx[j], sy = myy[j] - my[j] * my[j], sxy = mxy[j] - mx[j] * my[j];
        const float ux = mx[j] + kLumaShift, uy = my[j] + kLumaShift;
        mx[j] = ((2 * ux * uy + kC1) * (2 * sxy + kC2)) / ((ux * ux + uy * uy + kC1) * (sx + sy + kC2));
    }
}

[[gnu::always_inline]] inline float Luma(std::uint32_t rgb) {
    return 0.299f * float((rgb >> 16) & 0xFF) + 0.587f * float((rgb >> 8) & 0xFF) + 0.114f * float(rgb & 0xFF) -
           kLumaShift;
}

struct RowSums {
    std::uint64_t squared = 0; // squared differences of the channels
    bool differs = false;
};

// The channels' squared differences of a row, and its luma less kLumaShift into x and y
// (unless null). shown holds the copy as it shows (its top byte ignored).
[[gnu::always_inline]] inline RowSums ComparePixelsBody(const std::uint32_t* __restrict original,
                                                        const std::uint32_t* __restrict shown, float* __restrict x,
                                                        float* __restrict y, int count) {
    RowSums sums;
    std::uint32_t differs = 0;
    constexpr int kPart = 16384; // 16384 × 3 × 255² stays within 32 bits
    for (int first = 0; first < count; first += kPart) {
        std::uint32_t squared = 0;
        for (int i = first, end = std::min(count, first + kPart); i < end; ++i) {
            const std::uint32_t o = original[i] & 0xFFFFFFu, c = shown[i] & 0xFFFFFFu;
            const int dr = int(o >> 16) - int(c >> 16), dg = int((o >> 8) & 0xFF) - int((c >> 8) & 0xFF),
                      db = int(o & 0xFF) - int(c & 0xFF);
            squared += static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
            differs |= o ^ c;
        }
        sums.squared += squared;
    }
    sums.differs = differs != 0;
    if (x)
        for (int i = 0; i < count; ++i) {
            x[i] = Luma(original[i]);
            y[i] = Luma(shown[i]);
        }
    return sums;
}

// Each kernel twice: for any x86-64, and for processors with AVX2 and FMA.
struct Kernels {
    void (*filterAcross)(const float*, float*, int);
    void (*filterDown)(const float* const*, const float* const*, float* const*, int);
    void (*windowSsim)(float*, const float*, const float*, const float*, const float*, int);
    RowSums (*comparePixels)(const std::uint32_t*, const std::uint32_t*, float*, float*, int);
};

RowSums ComparePixelsBase(const std::uint32_t* original, const std::uint32_t* shown, float* x, float* y, int count) {
    return ComparePixelsBody(original, shown, x, y, count);
}

void FilterAcrossBase(const float* in, float* out, int count) { FilterAcrossBody(in, out, count); }
void FilterDownBase(const float* const* xs, const float* const* ys, float* const* out, int count) {
    FilterDownBody<Floats4>(xs, ys, out, count);
}
void WindowSsimBase(float* mx, const float* my, const float* mxx, const float* myy, const float* mxy, int count) {
    WindowSsimBody(mx, my, mxx, myy, mxy, count);
}
#ifdef LUMIVERT_WIDE_VECTORS
[[gnu::target("avx2,fma")]] void FilterAcrossWide(const float* in, float* out, int count) {
    FilterAcrossBody(in, out, count);
}
[[gnu::target("avx2,fma")]] void FilterDownWide(const float* const* xs, const float* const* ys, float* const* out,
                                                int count) {
    FilterDownBody<Floats8>(xs, ys, out, count);
}
[[gnu::target("avx2,fma")]] void WindowSsimWide(float* mx, const float* my, const float* mxx, const float* myy,
                                                const float* mxy, int count) {
    WindowSsimBody(mx, my, mxx, myy, mxy, count);
}
[[gnu::target("avx2,fma")]] RowSums ComparePixelsWide(const std::uint32_t* original, const std::uint32_t* shown,
                                                      float* x, float* y, int count) {
    return ComparePixelsBody(original, shown, x, y, count);
}
#endif

Kernels ChooseKernels() {
#ifdef LUMIVERT_WIDE_VECTORS
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))
        return {FilterAcrossWide, FilterDownWide, WindowSsimWide, ComparePixelsWide};
#endif
    return {FilterAcrossBase, FilterDownBase, WindowSsimBase, ComparePixelsBase};
}
const Kernels kKernels = ChooseKernels();

double Sum(const float* values, int count) {
    double sums[4] = {};
    int j = 0;
    for (; j + 4 <= count; j += 4)
        for (int k = 0; k < 4; ++k)
            sums[k] += values[j + k];
    for (; j < count; ++j)
        sums[0] += values[j];
    return (sums[0] + sums[1]) + (sums[2] + sums[3]);
}

// The copy's pixel as it shows over the original: alpha 255 is the copy, 0 the original.
std::uint32_t Shown(std::uint32_t original, std::uint32_t copy) {
    const std::uint32_t alpha = copy >> 24;
    if (alpha == 255)
        return copy & 0xFFFFFFu;
    if (alpha == 0)
        return original & 0xFFFFFFu;
    std::uint32_t shown = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const std::uint32_t c = (copy >> shift) & 0xFF, o = (original >> shift) & 0xFF;
        shown |= ((c * alpha + o * (255 - alpha) + 127) / 255) << shift;
    }
    return shown;
}


} // namespace

QualityMeter::QualityMeter(int width, int height)
    : width_(width), height_(height), across_(std::max(width - (kWindow - 1), 0)),
      shown_(static_cast<std::size_t>(std::max(width, 0))) {
    if (width_ >= kWindow && height_ >= kWindow) {
        luma_.resize(static_cast<std::size_t>(2 * kWindow) * width_);
        sameRow_.resize(kWindow);
        filtered_.resize(static_cast<std::size_t>(kPlanes) * width_);
        window_.resize(static_cast<std::size_t>(kPlanes) * across_);
    }
}

void QualityMeter::AddRow(const std::uint32_t* original, const std::uint32_t* copy) {
    std::uint32_t opaque = 0xFF000000u;
    for (int i = 0; i < width_; ++i)
        opaque &= copy[i];
    const std::uint32_t* shown = copy;
    if (opaque != 0xFF000000u) {
        for (int i = 0; i < width_; ++i)
            shown_[static_cast<std::size_t>(i)] = Shown(original[i], copy[i]);
        shown = shown_.data();
    }
    const bool measuresWindows = !luma_.empty();
    const std::size_t slot = static_cast<std::size_t>(rowsAdded_ % kWindow);
    float* const x = measuresWindows ? luma_.data() + 2 * slot * width_ : nullptr;
    const RowSums sums = kKernels.comparePixels(original, shown, x, measuresWindows ? x + width_ : nullptr, width_);
    squaredError_ += sums.squared;
    if (measuresWindows) {
        sameRow_[slot] = !sums.differs;
        if (rowsAdded_ + 1 >= kWindow)
            AddWindowRow();
    }
    ++rowsAdded_;
}

void QualityMeter::AddWindowRow() {
    if (std::all_of(sameRow_.begin(), sameRow_.end(), [](bool same) { return same; })) {
        ssimSum_ += across_; // every window equal: SSIM is 1 at each
        return;
    }
    // The window's rows in order from the top: the oldest kept row comes first.
    const int top = rowsAdded_ + 1 - kWindow;
    const float* xs[kWindow];
    const float* ys[kWindow];
    for (int k = 0; k < kWindow; ++k) {
        xs[k] = luma_.data() + static_cast<std::size_t>(2 * ((top + k) % kWindow)) * width_;
        ys[k] = xs[k] + width_;
    }
    float* down[kPlanes];
    for (int p = 0; p < kPlanes; ++p)
        down[p] = filtered_.data() + static_cast<std::size_t>(p) * width_;
    kKernels.filterDown(xs, ys, down, width_);
    float* const w = window_.data();
    const std::size_t n = static_cast<std::size_t>(across_);
    for (int p = 0; p < kPlanes; ++p)
        kKernels.filterAcross(down[p], w + n * p, across_);
    kKernels.windowSsim(w, w + n * kY, w + n * kXX, w + n * kYY, w + n * kXY, across_);
    ssimSum_ += Sum(w, across_);
}

PictureQuality QualityMeter::Result() const {
    PictureQuality quality;
    const double samples = 3.0 * width_ * height_;
    if (squaredError_ != 0 && samples > 0)
        quality.psnr = 10 * std::log10(255.0 * 255.0 * samples / static_cast<double>(squaredError_));
    const double windows = double(across_) * std::max(height_ - (kWindow - 1), 0);
    if (!luma_.empty() && windows > 0)
        quality.ssim = ssimSum_ / windows;
    return quality;
}

} // namespace lumivert
