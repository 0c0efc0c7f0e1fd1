#include "bitmap/effect_engine.h"

#include "bitmap/bmp_writer.h"
#include "bitmap/colour_formulas.h"
#include "bitmap/effect_routines.h"
#include "bitmap/work_copy.h"

namespace mdlBitmap {

namespace {

bool IsPixelEffect(std::int32_t effect) { return effect >= kGrayScale && effect <= kReverse; }
bool IsNeighbourhoodEffect(std::int32_t effect) { return effect == kEmboss || effect == kEmbossFalse; }

// What sets the two engines apart: the working copy each needs and its two routines.
struct PixelsEngine {
    using Work = WorkBitmap;
    static bool Copy(gdi32::HDC dc, Work& work) { return CopyToCompatibleBitmap(dc, work); }
    static bool Pixel(Work& work, std::int32_t effect) {
        return ApplyPixelEffect(work.hDC, work.Width, work.Height, effect);
    }
    static bool Emboss(Work& work, std::int32_t effect) {
        return ApplyPixelEmboss(work.hDC, work.Width, work.Height, effect);
    }
};

struct DIBitsEngine {
    using Work = WorkDIBSection;
    static bool Copy(gdi32::HDC dc, Work& work) { return CopyToDIBSection(dc, work); }
    static bool Pixel(Work& work, std::int32_t effect) {
        return ApplyDIBEffect(work.hDC, work.Width, work.Height, work.pBits, effect);
    }
    static bool Emboss(Work& work, std::int32_t effect) {
        return ApplyDIBEmboss(work.hDC, work.Width, work.Height, work.pBits, effect);
    }
};

// A failed copy or an empty picture ends the call quietly, whatever the effect; an effect
// number outside 1 to 11 saves the copy unchanged. Errors of the writer pass through after
// the release.
template <class Engine>
void SaveWith(gdi32::HDC dc, const std::string& path, std::int32_t effect) {
    typename Engine::Work work;
    const WorkBitmapRelease release(work);
    bool ok = Engine::Copy(dc, work) && HasPixels(work.hDC, work.Width, work.Height);
    if (ok && IsPixelEffect(effect))
        ok = Engine::Pixel(work, effect);
    else if (ok && IsNeighbourhoodEffect(effect))
        ok = Engine::Emboss(work, effect);
    if (ok)
        SaveBmp32Bit(work.hDC, path);
}

} // namespace

void SaveEffectBmp(gdi32::HDC dc, const std::string& path, std::int32_t effect, std::int32_t usePixels) {
    if (usePixels != 0)
        SaveWith<PixelsEngine>(dc, path, effect);
    else
        SaveWith<DIBitsEngine>(dc, path, effect);
}

} // namespace mdlBitmap
