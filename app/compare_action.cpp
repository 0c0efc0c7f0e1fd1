// すべての形式で比べる: the picture saved in every way the buttons offer, into the folder
// Compare/, each file read back and measured, and the page Compare.html opened in the browser.
// The saves run one after another on this thread, through the buttons' own savers, with
// nothing else running; the read-backs then share the processors while the window stays live.

#include "app/frm_main.h"

#include "app/compare_page.h"
#include "app/mdl_common.h"
#include "app/output_folder.h"
#include "browser/mdl_html_document.h"
#include "os/file_output.h"
#include "os/rows_in_parts.h"
#include "report/raised_error.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QProgressDialog>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

namespace lumivert {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollEvents = std::chrono::milliseconds(20);

QByteArray ReadWholeFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(file.errorString().toStdString());
    QByteArray bytes = file.readAll();
    if (bytes.size() != file.size())
        throw std::runtime_error(file.errorString().toStdString());
    return bytes;
}

// The picture itself, for the page's viewer: the comparison's PNG when it read back equal to
// the picture, else a PNG saved for it.
std::string WriteOriginal(const std::vector<CompareRow>& rows, const std::string& folder, gdi32::HDC dc,
                          gdi32::HBITMAP picture) {
    const std::string name = "Source.png";
    for (const CompareRow& row : rows) {
        if (std::string(row.saved->file) != "Sample.png" || !row.save.failure.empty() ||
            !row.measured.failure.empty() || !std::isinf(row.measured.quality.psnr))
            continue;
        try { // replaced as every output is, so a failure leaves the old file whole
            const QByteArray bytes = ReadWholeFile(folder + row.saved->file);
            os::WriteWholeFile(folder + name, std::as_bytes(std::span(bytes.constData(), std::size_t(bytes.size()))));
            return name;
        } catch (const std::exception&) {
            break; // saved below instead
        }
    }
    const auto png = std::find_if(kCompareCases.begin(), kCompareCases.end(),
                                  [](const CompareCase& c) { return std::string(c.file) == "Sample.png"; });
    return SaveCompareCase(*png, dc, picture, folder + name).failure.empty() ? name : std::string();
}

// Measures every written file, each on one of the processors, while this thread keeps the
// window and the progress dialog answering. Stops early when the dialog is cancelled.
bool MeasureAll(std::vector<CompareRow>& rows, const gdi32::PixelSnapshot& original, const std::string& folder,
                QProgressDialog& progress) {
    std::atomic<bool> cancelled{false};
    std::atomic<std::size_t> next{0}, done{0};
    for (CompareRow& row : rows)
        row.measured.failure = "測定できませんでした"; // until measured
    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;
    const std::size_t workers = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
    std::jthread measuring([&] {
        try { // MeasureSavedFile tells its own failures; anything else leaves the rest unmeasured
            os::RunParts(std::vector<os::RowRange>(workers, os::RowRange{0, 0}), [&](std::size_t, os::RowRange) {
                for (std::size_t i; (i = next++) < rows.size();) {
                    if (rows[i].save.failure.empty())
                        rows[i].measured = MeasureSavedFile(folder + rows[i].saved->file, original, cancelled);
                    ++done;
                    changed.notify_all();
                }
            });
        } catch (...) {
        }
        const std::lock_guard lock(mutex);
        finished = true;
        changed.notify_all();
    });
    for (std::unique_lock lock(mutex); !finished;) {
        lock.unlock();
        progress.setLabelText(QString("比較中… 読み戻して測定 (%1/%2)").arg(done.load()).arg(rows.size()));
        progress.setValue(static_cast<int>(rows.size() + done.load()));
        QCoreApplication::processEvents();
        if (progress.wasCanceled())
            cancelled = true;
        lock.lock();
        changed.wait_for(lock, kPollEvents, [&] { return finished; });
    }
    return !cancelled;
}

} // namespace

void frmMain::cmdCompareAll() {
    const Clock::time_point started = Clock::now();
    const std::string appFolder = OutputFolder(); // beside the usual outputs
    const std::string folderName = "Compare/", folder = appFolder + folderName;
    std::error_code ignored;
    std::filesystem::create_directory(folder, ignored); // where it cannot be made, every row tells why
    const gdi32::HDC dc = ui_.picTarget->hDC();
    const gdi32::HBITMAP picture = ui_.picTarget->Picture();
    const std::optional<gdi32::PixelSnapshot> original = gdi32::SnapshotBitmap(picture);
    if (!original)
        return;

    std::vector<CompareRow> rows;
    std::string originalName;
    {
        const int steps = static_cast<int>(2 * kCompareCases.size());
        QProgressDialog progress("比較中…", "キャンセル", 0, steps, this);
        progress.setObjectName("dlgCompare");
        progress.setWindowTitle("すべての形式で比べる");
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(0);
        progress.setAutoReset(false);
        progress.show();
        for (const CompareCase& c : kCompareCases) {
            progress.setLabelText(QString("比較中… %1 %2 (%3/%4)")
                                      .arg(c.format, c.options)
                                      .arg(rows.size() + 1)
                                      .arg(kCompareCases.size()));
            progress.setValue(static_cast<int>(rows.size()));
            QCoreApplication::processEvents(); // the window repaints, a cancel is seen
            if (progress.wasCanceled())
                return;
            rows.push_back({&c, SaveCompareCase(c, dc, picture, folder + c.file), {}});
        }
        if (!MeasureAll(rows, *original, folder, progress))
            return;
        progress.setLabelText("比較中… ページ");
        progress.setValue(steps);
        if (progress.wasCanceled())
            return;
        originalName = WriteOriginal(rows, folder, dc, picture);
    }

    const ComparePicture shown{original->width, original->height, folderName, originalName,
                               std::to_string(QDateTime::currentMSecsSinceEpoch())};
    const double total = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    const std::string page = ComparePageText(rows, shown, total);
    const std::string pagePath = appFolder + "Compare.html";
    try { // opened as the result page opens its file, and its failures told the same way
        os::WriteWholeFile(pagePath, std::as_bytes(std::span(page)));
        if (mdlHTMLDocument::LaunchBrowser(pagePath, messages_) == 0)
            mdlCommon::OpenByShell(messages_, pagePath);
    } catch (const std::exception& error) {
        messages_.Show(error.what(), "HTMLブラウザ表示エラー", report::MessageButtons::Ok, report::MessageIcon::Information);
    }
}

} // namespace lumivert
