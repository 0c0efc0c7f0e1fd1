#pragma once

// Runs of one colour in a row of 0x00RRGGBB pixels (the top byte is not part of the colour).
// Pictures are mostly made of such runs, so converting a row colour by colour rather than
// pixel by pixel leaves little but the comparison, which runs four pixels at a time.

#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace codecs {

// How many of the count pixels from pixels[0] on have the colour of colour, before the
// first that differs.
inline std::int32_t LeadingRepeats(const std::uint32_t* pixels, std::int32_t count, std::uint32_t colour) {
    constexpr std::uint32_t kRgb = 0xFFFFFF;
    std::int32_t n = 0;
#if defined(__SSE2__)
    const __m128i rgb = _mm_set1_epi32(static_cast<int>(kRgb));
    const __m128i wanted = _mm_set1_epi32(static_cast<int>(colour & kRgb));
    for (; n + 4 <= count; n += 4) {
        const __m128i four = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + n)), rgb);
        const auto same = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(four, wanted))));
        if (same != 0xF)
            return n + std::countr_one(same);
    }
#endif
    while (n < count && ((pixels[n] ^ colour) & kRgb) == 0)
        ++n;
    return n;
}

} // namespace codecs
