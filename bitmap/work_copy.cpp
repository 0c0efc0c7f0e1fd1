#include "bitmap/work_copy.h"

namespace mdlBitmap {

namespace {

// Sizes work after the picture of source, makes a memory device context, selects the
// bitmap that makeBitmap(width, height) creates and copies the picture into it.
template <class MakeBitmap>
bool CopyPicture(gdi32::HDC source, WorkBitmap& work, MakeBitmap makeBitmap) {
    gdi32::BITMAP size{};
    gdi32::GetObjectA(gdi32::GetCurrentObject(source, gdi32::OBJ_BITMAP), sizeof(gdi32::BITMAP), &size);
    work.Width = size.bmWidth;
    work.Height = size.bmHeight;

    work.hDC = gdi32::CreateCompatibleDC(source);
    work.hBitmap = makeBitmap(work.Width, work.Height);
    work.hOldBitmap = gdi32::SelectObject(work.hDC, work.hBitmap);
    return gdi32::BitBlt(work.hDC, 0, 0, work.Width, work.Height, source, 0, 0, gdi32::SRCCOPY) != 0;
}

} // namespace

bool CopyToCompatibleBitmap(gdi32::HDC source, WorkBitmap& work) {
    return CopyPicture(source, work, [&](std::int32_t width, std::int32_t height) {
        return gdi32::CreateCompatibleBitmap(source, width, height);
    });
}

bool CopyToDIBSection(gdi32::HDC source, WorkDIBSection& work) {
    return CopyPicture(source, work, [&](std::int32_t width, std::int32_t height) {
        gdi32::BITMAPINFO header{};
        header.bmiHeader.biSize = sizeof(gdi32::BITMAPINFOHEADER);
        header.bmiHeader.biWidth = width;
        header.bmiHeader.biHeight = height; // positive: the bottom row is first in memory
        header.bmiHeader.biPlanes = 1;
        header.bmiHeader.biBitCount = 32;
        header.bmiHeader.biCompression = gdi32::BI_RGB;
        return gdi32::CreateDIBSection(source, &header, gdi32::DIB_RGB_COLORS, &work.pBits, nullptr, 0);
    });
}

void ReleaseWorkBitmap(WorkBitmap& work) {
    if (work.hOldBitmap)
        gdi32::SelectObject(work.hDC, work.hOldBitmap);
    if (work.hBitmap)
        gdi32::DeleteObject(work.hBitmap);
    if (work.hDC)
        gdi32::DeleteDC(work.hDC);
}

} // namespace mdlBitmap
