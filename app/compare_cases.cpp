#include "app/compare_cases.h"

#include "app/compare_readers.h"
#include "app/save_front.h"
#include "bitmap/bmp_writer.h"
#include "imaging/mdl_gdiplus.h"
#include "report/raised_error.h"

#include <chrono>
#include <filesystem>
#include <vector>

namespace lumivert {

namespace {

using mdlGdiplus::FormatGif;
using mdlGdiplus::FormatJpeg;
using mdlGdiplus::FormatPng;
using mdlGdiplus::OptionGifByEncoder;
using mdlGdiplus::OptionNone;

// Keeps the first message instead of showing it: a comparison runs on through failures.
class FirstMessage final : public report::MessageBoxes {
public:
    report::MessageAnswer Show(const std::string& text, const std::string&, report::MessageButtons buttons,
                           report::MessageIcon) override {
        if (first.empty())
            first = text;
        return buttons == report::MessageButtons::Ok ? report::MessageAnswer::Ok : report::MessageAnswer::Cancel;
    }
    std::string first;
};

} // namespace

const std::array<CompareCase, 11> kCompareCases = {{
    {"BMP", "２色 (1ビット)", "Sample1.bmp", true, 1, 0},
    {"BMP", "16色 (4ビット)", "Sample4.bmp", true, 4, 0},
    {"BMP", "256色 (8ビット)", "Sample8.bmp", true, 8, 0},
    {"BMP", "全力 (32ビット)", "Sample32.bmp", true, 32, 0},
    {"PNG", "透過色なし", "Sample.png", false, FormatPng, OptionNone},
    {"GIF", "自力実装 (正確なパレット)", "Sample-own.gif", false, FormatGif, OptionNone},
    {"GIF", "API (エンコーダーの減色)", "Sample-encoder.gif", false, FormatGif, OptionGifByEncoder},
    {"JPEG", "画質 50", "Sample-q50.jpg", false, FormatJpeg, 50},
    {"JPEG", "画質 75", "Sample-q75.jpg", false, FormatJpeg, 75},
    {"JPEG", "画質 90", "Sample-q90.jpg", false, FormatJpeg, 90},
    {"JPEG", "画質 100", "Sample-q100.jpg", false, FormatJpeg, 100},
}};

SaveOutcome SaveCompareCase(const CompareCase& c, gdi32::HDC dc, gdi32::HBITMAP picture, const std::string& path) {
    SaveOutcome outcome;
    FirstMessage messages;
    const auto start = std::chrono::steady_clock::now();
    try {
        if (c.ownBmpWriter)
            mdlBitmap::SaveBmpFile(dc, path, c.value);
        else
            SaveByGdiplusSession(messages, picture, path, c.value, c.option);
    } catch (const report::RaisedError& error) { // as the BMP button's error box
        outcome.failure = error.description();
    } catch (const std::exception& error) {
        outcome.failure = error.what();
    }
    outcome.milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (outcome.failure.empty())
        outcome.failure = messages.first;
    return outcome;
}

Measured MeasureSavedFile(const std::string& path, const gdi32::PixelSnapshot& original,
                          const std::atomic<bool>& cancelled) {
    Measured measured;
    try {
        measured.bytes = std::filesystem::file_size(path);
        const std::unique_ptr<RowReader> reader = OpenRowReader(path);
        if (reader->width() != original.width || reader->height() != original.height)
            throw std::runtime_error("the file's size is not the picture's");
        QualityMeter meter(original.width, original.height);
        std::vector<std::uint32_t> row(static_cast<std::size_t>(original.width));
        for (int y = 0; y < original.height; ++y) {
            if (cancelled.load(std::memory_order_relaxed))
                throw std::runtime_error("cancelled");
            reader->ReadRow(row.data());
            meter.AddRow(original.Row(y), row.data());
        }
        measured.quality = meter.Result();
    } catch (const std::exception& error) {
        measured.failure = std::string("読み戻せませんでした: ") + error.what();
    }
    return measured;
}

} // namespace lumivert
