#pragma once

// Runs of one colour in a row of 32-bit pixels. Pictures are mostly made of such runs (the
// sample changes colour at one pixel in fifteen), so the conversions look only at the pixels
// where the colour changes; finding them is left to compares of four pixels at a time.

#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fast {

#if defined(__SSE2__)
// Bit j set where lane j of a equals lane j of b, for the four lanes.
inline unsigned EqualLanes(__m128i a, __m128i b) {
    return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(a, b))));
}
inline __m128i LoadFour(const std::uint32_t* pixels) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
}
#endif

// How many of the count pixels from pixels[0] on have the red, green and blue of colour (the
// top byte is not part of the colour), before the first that differs.
inline std::int32_t LeadingRepeatsSlow(const std::uint32_t* pixels, std::int32_t count, std::uint32_t colour) {
    std::int32_t n = 0;
    while (n < count && ((pixels[n] ^ colour) & 0xFFFFFF) == 0)
        ++n;
    return n;
}

// What it buys: a long run costs a quarter of the compares.
inline std::int32_t LeadingRepeats(const std::uint32_t* pixels, std::int32_t count, std::uint32_t colour) {
    std::int32_t n = 0;
#if defined(__SSE2__)
    const __m128i rgb = _mm_set1_epi32(0xFFFFFF);
    const __m128i wanted = _mm_set1_epi32(static_cast<int>(colour & 0xFFFFFF));
    for (; n + 4 <= count; n += 4) {
        const unsigned same = EqualLanes(_mm_and_si128(LoadFour(pixels + n), rgb), wanted);
        if (same != 0xF)
            return n + std::countr_one(same);
    }
#endif
    return n + LeadingRepeatsSlow(pixels + n, count - n, colour);
}

// Bit j is set when pixels[j] differs from pixels[j − 1] in any of its 32 bits, for j from 0
// to 7; pixels[−1] must exist.
inline unsigned ChangesInNextEightSlow(const std::uint32_t* pixels) {
    unsigned changes = 0;
    for (int j = 0; j < 8; ++j)
        changes |= static_cast<unsigned>(pixels[j] != pixels[j - 1]) << j;
    return changes;
}

// What it buys: eight pixels settled by four compares and a test, where most hold no change.
inline unsigned ChangesInNextEight(const std::uint32_t* pixels) {
#if defined(__SSE2__)
    const unsigned sameLow = EqualLanes(LoadFour(pixels), LoadFour(pixels - 1));
    const unsigned sameHigh = EqualLanes(LoadFour(pixels + 4), LoadFour(pixels + 3));
    return ~(sameLow | sameHigh << 4) & 0xFFu;
#else
    return ChangesInNextEightSlow(pixels);
#endif
}

} // namespace fast
