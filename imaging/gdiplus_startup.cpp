// Start-up and shut-down of the imaging layer around each save.

#include "imaging/mdl_gdiplus.h"

#include "win32/gdiplus/gdiplus_flat.h"

namespace mdlGdiplus {

namespace {

// 0 while the layer is not started by this module; otherwise the token of its start-up.
gdiplus::ULONG_PTR GdiplusToken = 0;

} // namespace

bool StartupGdiplus() {
    if (GdiplusToken != 0)
        return false; // started already: a second start-up is refused
    gdiplus::GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = 0;
    input.SuppressExternalCodecs = 0;
    return gdiplus::GdiplusStartup(&GdiplusToken, &input, nullptr) == gdiplus::Ok;
}

void ShutdownGdiplus() {
    if (GdiplusToken == 0)
        return;
    gdiplus::GdiplusShutdown(GdiplusToken);
    GdiplusToken = 0;
}

} // namespace mdlGdiplus
