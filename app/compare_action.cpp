// すべての形式で比べる: the picture saved in every way the buttons offer, into the folder
// Compare/, each file read back and measured, and the page Compare.html opened in the browser.
// The saves run one after another on this thread, through the buttons' own savers. Each file
// is read back and measured on one other thread while the next save runs, so that a large
// picture's measures take no time of their own; once the saves are done, the read-backs left
// share every processor while the window stays live. The PNG is saved last: its compression
// is by far the longest save of a large picture, long enough for the other files' measures to
// catch up, so that only its own read-back is left once the saves are done.

#include "app/frm_main.h"

#include "app/compare_page.h"
#include "app/mdl_common.h"
#include "app/output_folder.h"
#include "browser/mdl_html_document.h"
#include "os/file_output.h"
#include "report/raised_error.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QProgressDialog>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <numeric>
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

// Gives the file at from the second name to as well, replacing what had that name: a link to
// the same file where the folder takes one (a large picture's PNG is not copied), else a
// copy. Each comparison replaces its files with new ones, so the two names never share a
// change. A symbolic link at to gets the copy, so that its target is replaced as every
// output's is. Throws when neither can be made.
void LinkOrCopy(const std::string& from, const std::string& to) {
    const std::string linked = to + ".link";
    std::error_code error;
    std::filesystem::remove(linked, error);
    if (!std::filesystem::is_symlink(to, error)) {
        if (std::filesystem::create_hard_link(from, linked, error); !error) {
            if (std::filesystem::rename(linked, to, error); !error)
                return;
            std::filesystem::remove(linked, error);
        }
    }
    const QByteArray bytes = ReadWholeFile(from); // replaced as every output is, so a failure leaves the old file whole
    os::WriteWholeFile(to, std::as_bytes(std::span(bytes.constData(), std::size_t(bytes.size()))));
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
        try {
            LinkOrCopy(folder + row.saved->file, folder + name);
            return name;
        } catch (const std::exception&) {
            break; // saved below instead
        }
    }
    const auto png = std::find_if(kCompareCases.begin(), kCompareCases.end(),
                                  [](const CompareCase& c) { return std::string(c.file) == "Sample.png"; });
    return SaveCompareCase(*png, dc, picture, folder + name).failure.empty() ? name : std::string();
}

// The rows in the order they are saved: the page's order, with the PNG last.
std::vector<std::size_t> SaveOrder() {
    std::vector<std::size_t> order(kCompareCases.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_partition(order.begin(), order.end(),
                          [](std::size_t i) { return std::string(kCompareCases[i].file) != "Sample.png"; });
    return order;
}

// Reads back and measures the saved files on threads of its own, in the order they were
// saved: one thread while saves run (the saves keep the other processor), every processor
// once they are done. Rows are measured in place; the vector must keep its size meanwhile.
class Measuring {
public:
    Measuring(std::vector<CompareRow>& rows, std::vector<std::size_t> order, const gdi32::PixelSnapshot& original,
              std::string folder)
        : rows_(rows), order_(std::move(order)), original_(original), folder_(std::move(folder)) {
        for (CompareRow& row : rows_)
            row.measured.failure = "測定できませんでした"; // until measured
        const std::size_t workers = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
        for (std::size_t worker = 0; worker < workers; ++worker) {
            try {
                workers_.emplace_back([this, worker] { Work(worker); });
            } catch (const std::system_error&) {
                break; // the threads already started do the work
            }
        }
    }
    ~Measuring() { Cancel(); } // the threads end with their current row's next line

    // The first count rows of the save order are saved and may be measured.
    void Saved(std::size_t count) {
        const std::lock_guard lock(mutex_);
        saved_ = count;
        changed_.notify_all();
    }
    void SavesDone() {
        const std::lock_guard lock(mutex_);
        savesDone_ = true;
        changed_.notify_all();
    }
    void Cancel() {
        cancelled_ = true;
        const std::lock_guard lock(mutex_);
        changed_.notify_all();
    }
    std::size_t Done() const { return done_; }
    // Waits up to timeout for every row to be measured; true once they are.
    bool WaitAll(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return done_ == rows_.size() || workers_.empty(); });
    }

private:
    void Work(std::size_t worker) {
        for (;;) {
            std::size_t i;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] {
                    return cancelled_ || next_ >= rows_.size() || (next_ < saved_ && (worker == 0 || savesDone_));
                });
                if (cancelled_ || next_ >= rows_.size())
                    return;
                i = order_[next_++];
            }
            CompareRow& row = rows_[i];
            try { // MeasureSavedFile tells its own failures; anything else leaves the row unmeasured
                if (row.save.failure.empty())
                    row.measured = MeasureSavedFile(folder_ + row.saved->file, original_, cancelled_);
            } catch (...) {
            }
            const std::lock_guard lock(mutex_);
            ++done_;
            changed_.notify_all();
        }
    }

    std::vector<CompareRow>& rows_;
    const std::vector<std::size_t> order_;
    const gdi32::PixelSnapshot& original_;
    const std::string folder_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<bool> cancelled_{false};
    std::size_t saved_ = 0, next_ = 0;
    std::atomic<std::size_t> done_{0};
    bool savesDone_ = false;
    std::vector<std::jthread> workers_; // last: joined before the state above goes
};

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

    std::vector<CompareRow> rows(kCompareCases.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i].saved = &kCompareCases[i];
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
        const std::vector<std::size_t> order = SaveOrder();
        Measuring measuring(rows, order, *original, folder);
        for (std::size_t saved = 0; saved < order.size(); ++saved) {
            CompareRow& row = rows[order[saved]];
            progress.setLabelText(QString("比較中… %1 %2 (%3/%4)")
                                      .arg(row.saved->format, row.saved->options)
                                      .arg(saved + 1)
                                      .arg(rows.size()));
            progress.setValue(static_cast<int>(saved + measuring.Done()));
            QCoreApplication::processEvents(); // the window repaints, a cancel is seen
            if (progress.wasCanceled())
                return;
            row.save = SaveCompareCase(*row.saved, dc, picture, folder + row.saved->file);
            measuring.Saved(saved + 1);
        }
        measuring.SavesDone();
        while (!measuring.WaitAll(kPollEvents)) {
            progress.setLabelText(QString("比較中… 読み戻して測定 (%1/%2)").arg(measuring.Done()).arg(rows.size()));
            progress.setValue(static_cast<int>(rows.size() + measuring.Done()));
            QCoreApplication::processEvents();
            if (progress.wasCanceled())
                return;
        }
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
