#include "bitmap/effect_engine.h"

#include "bitmap/bmp_writer.h"
#include "bitmap/colour_formulas.h"
#include "bitmap/effect_routines.h"
#include "bitmap/work_copy.h"

namespace mdlBitmap {

namespace {

bool IsPixelEffect(std::int32_t effect) { return effect >= kGrayScale && effect <= kReverse; }
bool IsNeighbourhoodEffect(std::int32_t effect) { return effect == kEmboss || effect == kEmbossFalse; }

} // namespace

void SaveEffectBmp(gdi32::HDC dc, const std::string& path, std::int32_t effect, std::int32_t usePixels) {
    // A failed copy or an empty picture ends the call quietly, whatever the effect; an
    // effect number outside 1 to 11 saves the copy unchanged. Errors of the writer pass
    // through after the release.
    if (usePixels != 0) {
        WorkBitmap work;
        const WorkBitmapRelease release(work);
        bool ok = CopyToCompatibleBitmap(dc, work) && HasPixels(work.hDC, work.Width, work.Height);
        if (ok && IsPixelEffect(effect))
            ok = ApplyPixelEffect(work.hDC, work.Width, work.Height, effect);
        else if (ok && IsNeighbourhoodEffect(effect))
            ok = ApplyPixelEmboss(work.hDC, work.Width, work.Height, effect);
        if (ok)
            SaveBmp32Bit(work.hDC, path);
    } else {
        WorkDIBSection work;
        const WorkBitmapRelease release(work);
        bool ok = CopyToDIBSection(dc, work) && HasPixels(work.hDC, work.Width, work.Height);
        if (ok && IsPixelEffect(effect))
            ok = ApplyDIBEffect(work.hDC, work.Width, work.Height, work.pBits, effect);
        else if (ok && IsNeighbourhoodEffect(effect))
            ok = ApplyDIBEmboss(work.hDC, work.Width, work.Height, work.pBits, effect);
        if (ok)
            SaveBmp32Bit(work.hDC, path);
    }
}

} // namespace mdlBitmap
