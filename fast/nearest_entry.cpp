#include "fast/nearest_entry.h"

#include <algorithm>

namespace fast {

std::uint8_t NearestEntry::FromCache(std::uint32_t pixel) {
    const std::uint32_t key = (pixel & 0xFFFFFF) | kValid;
    const std::size_t set = HashSlot<12>(key) & ~std::uint32_t{1}; // a set is two lines of the 4096
    Line& recent = cache_[set];
    if (recent.key == key)
        return recent.index;
    Line& older = cache_[set + 1];
    if (older.key == key) {
        std::swap(recent, older);
        return recent.index;
    }
    older = recent;
    recent = Line{key, FromCube(pixel)};
    return recent.index;
}

std::uint8_t* NearestEntry::NewBlock(std::uint16_t& state) {
    const std::size_t block = answers_.size() / 512;
    if (block >= kMostBlocks) {
        state = kUnsettled;
        return nullptr;
    }
    answers_.resize(answers_.size() + 512);
    state = static_cast<std::uint16_t>(kAnswered + block);
    return answers_.data() + block * 512;
}

std::uint8_t NearestEntry::FromCube(std::uint32_t pixel) {
    std::uint16_t& state = cubes_[CubeOf(pixel)];
    if (state == kUnsettled || ++state < kSearchesBeforeSettling)
        return Search(pixel);
    const std::uint32_t low = pixel & 0xF8F8F8;
    const std::uint8_t first = Search(low);
    bool agree = true;
    for (std::uint32_t corner = 1; corner < 8 && agree; ++corner) {
        const std::uint32_t far = (corner & 4 ? 0x070000u : 0) | (corner & 2 ? 0x0700u : 0) | (corner & 1 ? 0x07u : 0);
        agree = Search(low | far) == first;
    }
    if (agree && blockOfIndex_[first] != kNoBlock) {
        state = static_cast<std::uint16_t>(kAnswered + blockOfIndex_[first]);
    } else if (std::uint8_t* const answers = NewBlock(state); answers == nullptr) {
        return Search(pixel);
    } else if (agree) {
        std::fill_n(answers, 512, first);
        blockOfIndex_[first] = static_cast<std::uint16_t>(state - kAnswered);
    } else {
        AnswerWholeCube(low, answers);
    }
    return answers_[static_cast<std::size_t>(state - kAnswered) * 512 + PlaceInCube(pixel)];
}

// The nearest entry of each of the cube's 512 colours (in the order of PlaceInCube), an
// eighth of the cube (4 × 4 × 4 colours) at a time. Only an entry whose nearest colour of the
// eighth is no farther than the farthest colour from the entry best placed for the whole
// eighth can be the nearest of any of its colours; those are tried in the table's order, so
// a tie keeps the lowest index. A distance is the sum of one square a channel.
void NearestEntry::AnswerWholeCube(std::uint32_t low, std::uint8_t* answers) const {
    constexpr int kSide = 4;
    const auto nearestSquare = [](int from, int value) {
        const int d = value < from ? from - value : value > from + kSide - 1 ? value - from - kSide + 1 : 0;
        return d * d;
    };
    const auto farthestSquare = [](int from, int value) {
        const int d = std::max(std::abs(value - from), std::abs(value - from - kSide + 1));
        return d * d;
    };
    for (int eighth = 0; eighth < 8; ++eighth) {
        const int red = ((low >> 16) & 0xFF) + (eighth & 4), green = ((low >> 8) & 0xFF) + (eighth & 2) * 2,
                  blue = (low & 0xFF) + (eighth & 1) * 4;
        std::array<int, 256> nearest;
        int bound = 0x7FFFFFFF;
        for (int i = 0; i < entries_; ++i) {
            nearest[i] = nearestSquare(red, red_[i]) + nearestSquare(green, green_[i]) + nearestSquare(blue, blue_[i]);
            bound = std::min(bound, farthestSquare(red, red_[i]) + farthestSquare(green, green_[i]) +
                                        farthestSquare(blue, blue_[i]));
        }
        std::array<int, kSide * kSide * kSide> best, answer;
        best.fill(0x7FFFFFFF);
        answer.fill(0);
        for (int i = 0; i < entries_; ++i) {
            if (nearest[i] > bound)
                continue;
            std::array<int, kSide> reds, greens, blues;
            for (int k = 0; k < kSide; ++k) {
                reds[k] = (red + k - red_[i]) * (red + k - red_[i]);
                greens[k] = (green + k - green_[i]) * (green + k - green_[i]);
                blues[k] = (blue + k - blue_[i]) * (blue + k - blue_[i]);
            }
            for (int redGreen = 0; redGreen < kSide * kSide; ++redGreen) {
                const int part = reds[redGreen / kSide] + greens[redGreen % kSide];
                int* const bestRow = best.data() + redGreen * kSide;
                int* const answerRow = answer.data() + redGreen * kSide;
                for (int k = 0; k < kSide; ++k) {
                    const int distance = part + blues[k];
                    const bool nearer = distance < bestRow[k];
                    bestRow[k] = nearer ? distance : bestRow[k];
                    answerRow[k] = nearer ? i : answerRow[k];
                }
            }
        }
        for (int place = 0; place < kSide * kSide * kSide; ++place) {
            const int r = red - static_cast<int>((low >> 16) & 0xFF) + place / 16,
                      g = green - static_cast<int>((low >> 8) & 0xFF) + place / 4 % 4,
                      b = blue - static_cast<int>(low & 0xFF) + place % 4;
            answers[r * 64 + g * 8 + b] = static_cast<std::uint8_t>(answer[place]);
        }
    }
}

// Every distance first, then the first of the smallest: two loops the compiler turns into
// vector code, where one loop with a running best would not be.
std::uint8_t NearestEntry::Search(std::uint32_t pixel) const {
    const int red = (pixel >> 16) & 0xFF, green = (pixel >> 8) & 0xFF, blue = pixel & 0xFF;
    std::array<int, 256> distances;
    int nearest = 0x7FFFFFFF;
    for (int i = 0; i < entries_; ++i) {
        const int dr = red - red_[i], dg = green - green_[i], db = blue - blue_[i];
        distances[i] = dr * dr + dg * dg + db * db;
        nearest = std::min(nearest, distances[i]);
    }
    int best = 0;
    while (best < entries_ && distances[best] != nearest)
        ++best;
    return static_cast<std::uint8_t>(best < entries_ ? best : 0);
}

} // namespace fast
