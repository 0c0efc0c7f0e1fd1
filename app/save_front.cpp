#include "app/save_front.h"

#include "app/busy_pointer.h"
#include "imaging/mdl_gdiplus.h"

namespace lumivert {

namespace {

// Shuts the imaging layer down when the request is done, or when an error passes through.
class GdiplusStarted {
public:
    GdiplusStarted() = default;
    ~GdiplusStarted() { mdlGdiplus::ShutdownGdiplus(); }
    GdiplusStarted(const GdiplusStarted&) = delete;
    GdiplusStarted& operator=(const GdiplusStarted&) = delete;
};

} // namespace

void SaveByGdiplusSession(report::MessageBoxes& messages, gdi32::HBITMAP bitmap, const std::string& path,
                          std::int32_t FormatDigit, std::int32_t OptionValue) {
    const BusyPointer busy;
    if (!mdlGdiplus::StartupGdiplus()) {
        messages.Show("初期化処理に失敗したっぽいです", "ありゃりゃ", report::MessageButtons::Ok, report::MessageIcon::Information);
        return;
    }
    const GdiplusStarted started;
    if (!mdlGdiplus::SaveImageByGdiplus(bitmap, path, FormatDigit, OptionValue)) {
        // Shown while the layer is still started and the hourglass still set.
        messages.Show("エラーが発生したっぽいです", "ありゃりゃ", report::MessageButtons::Ok, report::MessageIcon::Information);
    }
}

} // namespace lumivert
