#pragma once

// The working copy of the picture that an effect changes before it is saved: a memory
// device context with a bitmap of the picture's size selected.

#include "win32/gdi32/gdi32.h"

#include <cstdint>

namespace mdlBitmap {

// The per-pixel engine's copy: a device bitmap compatible with the picture. Handles that
// were not made stay 0 and are skipped at release.
struct WorkBitmap {
    gdi32::HBITMAP hOldBitmap; // selected into hDC before hBitmap; put back before release
    gdi32::HDC hDC;
    gdi32::HBITMAP hBitmap;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
};

// The DIB engine's copy: a 32-bit bottom-up DIB section whose pixel bytes start at pBits
// (owned by the section, valid until hBitmap is deleted).
struct WorkDIBSection : WorkBitmap {
    void* pBits = nullptr;
};

// Copy the picture selected into source into a new working copy; true when the copy worked.
// Whatever was made is recorded in work even when the result is false.
bool CopyToCompatibleBitmap(gdi32::HDC source, WorkBitmap& work);
bool CopyToDIBSection(gdi32::HDC source, WorkDIBSection& work);

// Releases a working copy: the old bitmap is selected back, then the bitmap and then the
// device context are deleted. Safe to run on a copy that was never (or only partly) made.
void ReleaseWorkBitmap(WorkBitmap& work);

// Releases the copy when the scope ends, also when an error passes through.
class WorkBitmapRelease {
public:
    explicit WorkBitmapRelease(WorkBitmap& work) : work_(work) {}
    ~WorkBitmapRelease() { ReleaseWorkBitmap(work_); }
    WorkBitmapRelease(const WorkBitmapRelease&) = delete;
    WorkBitmapRelease& operator=(const WorkBitmapRelease&) = delete;

private:
    WorkBitmap& work_;
};

} // namespace mdlBitmap
