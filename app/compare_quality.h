#pragma once

// How much of a picture a saved copy kept: PSNR over the three channels and SSIM on the
// luma, measured a row at a time as the copy is decoded, so no whole copy is ever held.

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace lumivert {

struct PictureQuality {
    double psnr = std::numeric_limits<double>::infinity(); // dB; infinity for identical pixels
    std::optional<double> ssim; // none for a picture narrower or lower than the 11 × 11 window
};

// SSIM as Wang, Bovik, Sheikh and Simoncelli published it (2004): an 11 × 11 Gaussian window
// (σ 1.5), K1 0.01, K2 0.03, on the luma 0.299 R + 0.587 G + 0.114 B, averaged over every
// position where the window lies inside the picture.
class QualityMeter {
public:
    QualityMeter(int width, int height);

    // The next row, top first. original holds 0x00RRGGBB pixels (top byte ignored); copy holds
    // 0xAARRGGBB, where alpha below 255 lets the original show through as it does on screen.
    void AddRow(const std::uint32_t* original, const std::uint32_t* copy);
    // Once every row was added.
    PictureQuality Result() const;

private:
    static constexpr int kWindow = 11;
    enum Plane { kX, kY, kXX, kYY, kXY, kPlanes };

    void AddWindowRow();

    int width_;
    int height_;
    int across_;       // window positions across a row: width − 10
    int rowsAdded_ = 0;
    std::uint64_t squaredError_ = 0;
    double ssimSum_ = 0;
    std::vector<std::uint32_t> shown_; // the row being added, as it shows over the original
    std::vector<float> luma_;          // kWindow rows, each x then y, in the order they came
    std::vector<bool> sameRow_;        // per kept row: copy and original were equal
    std::vector<float> filtered_;      // the five planes of one window row, filtered down
    std::vector<float> window_;        // the same filtered across: one value a window
};

} // namespace lumivert
