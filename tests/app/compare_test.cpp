// すべての形式で比べる: its measures against a direct computation, the action through the
// window with every file read back independently, and its page in a real Chromium.

#include "app/compare_quality.h"
#include "app/mdl_common.h"
#include "chromium/browser_process.h"
#include "tests/app/program_folder_window.h"
#include "tests/browser/browser_test_support.h"

#include <QDir>
#include <QProcess>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace lumivert {
namespace {

std::uint32_t Original(int x, int y) {
    return std::uint32_t((x * 37 + y * 11) & 255) << 16 | std::uint32_t((x * x + y * 5) & 255) << 8 |
           std::uint32_t((x * y * 3 + 7) & 255);
}

// PSNR and SSIM of copy against Original as tests/app/picture_quality.py computes them.
std::pair<std::string, std::string> Direct(int width, int height, const std::vector<std::uint32_t>& copy) {
    QStringList original, copied;
    for (int i = 0; i < width * height; ++i) {
        original << QString::number(Original(i % width, i / width));
        copied << QString::number(copy[static_cast<std::size_t>(i)]);
    }
    QProcess python;
    python.start("python3", {LUMIVERT_PICTURE_QUALITY});
    python.write(QString("{\"width\": %1, \"height\": %2, \"original\": [%3], \"copy\": [%4]}")
                     .arg(width).arg(height).arg(original.join(','), copied.join(',')).toUtf8());
    python.closeWriteChannel();
    if (!python.waitForFinished(60000))
        return {"timeout", ""};
    const QStringList answer = QString(python.readAllStandardOutput()).split(' ', Qt::SkipEmptyParts);
    return answer.size() == 2 ? std::pair{answer[0].toStdString(), answer[1].trimmed().toStdString()}
                              : std::pair{"no answer: " + python.readAllStandardError().toStdString(), std::string()};
}

TEST(QualityMeter, AgreesWithADirectComputationInDoublePrecision) {
    const struct {
        const char* name;
        int width, height;
        std::function<std::uint32_t(int x, int y, std::uint32_t original)> copy; // 0xAARRGGBB
    } cases[] = {
        {"identical", 32, 24, [](int, int, std::uint32_t o) { return 0xFF000000u | o; }},
        {"every channel off by 4", 32, 24, [](int, int, std::uint32_t o) { return 0xFF000000u | (o ^ 0x040404u); }},
        {"shifted a pixel across", 32, 24, [](int x, int y, std::uint32_t) { return 0xFF000000u | Original(x + 1, y); }},
        {"noise in the lower half", 45, 33,
         [](int x, int y, std::uint32_t o) { return 0xFF000000u | (y > 12 ? o ^ ((x * 7919u + y * 104729u) % 64) : o); }},
        {"transparent over the original, a column of garbage", 45, 33,
         [](int x, int, std::uint32_t o) { return x % 3 ? 0xFF000000u | o : 0x00FF00FFu; }},
        {"half transparent and inverted", 32, 24, [](int, int, std::uint32_t o) { return 0x80000000u | (~o & 0xFFFFFFu); }},
        {"narrower than the window", 10, 30, [](int, int, std::uint32_t o) { return 0xFF000000u | (o ^ 0x100000u); }},
        {"the window's height exactly", 80, 11, [](int x, int, std::uint32_t o) { return 0xFF000000u | (o ^ (x & 15u)); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QualityMeter meter(c.width, c.height);
        std::vector<std::uint32_t> copy;
        for (int y = 0; y < c.height; ++y) {
            std::vector<std::uint32_t> original, row;
            for (int x = 0; x < c.width; ++x) {
                original.push_back(Original(x, y) | 0x5A000000u); // the top byte means nothing
                row.push_back(c.copy(x, y, Original(x, y)));
            }
            meter.AddRow(original.data(), row.data());
            copy.insert(copy.end(), row.begin(), row.end());
        }
        const PictureQuality got = meter.Result();
        const auto [psnr, ssim] = Direct(c.width, c.height, copy);
        if (psnr == "inf")
            EXPECT_TRUE(std::isinf(got.psnr)) << got.psnr;
        else
            EXPECT_NEAR(got.psnr, std::stod(psnr), 1e-9) << psnr;
        if (ssim == "none")
            EXPECT_FALSE(got.ssim.has_value());
        else
            EXPECT_NEAR(got.ssim.value_or(-9), std::stod(ssim), 2e-5) << ssim;
    }
}

// The file names of the comparison, in the order of the page's rows.
const char* const kFiles[] = {"Sample1.bmp", "Sample4.bmp", "Sample8.bmp", "Sample32.bmp", "Sample.png",
                              "Sample-own.gif", "Sample-encoder.gif", "Sample-q50.jpg", "Sample-q75.jpg",
                              "Sample-q90.jpg", "Sample-q100.jpg"};

class CompareAll : public testing::ProgramFolderWindow {
protected:
    void SetUp() override { SetUpRemoving({"Compare", "Compare.html"}); }
    void PressCtrlShiftC(const std::function<void()>& justBefore = {}) {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        if (justBefore)
            justBefore();
        QTest::keyClick(window.get(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    }
    std::string Page() const { return test_support::ReadBytes((folder + "Compare.html").toStdString()); }
    // Each row's cells: the data-v values, or the failure's text.
    std::map<std::string, QStringList> Rows() const {
        std::map<std::string, QStringList> rows;
        const QString page = QString::fromStdString(Page());
        const QRegularExpression row("<tr data-file=\"([^\"]+)\">(.*?)</tr>"), value("data-v=\"([^\"]*)\"(?: class=\"best\")?>"),
            failure("class=\"failure\"[^>]*>([^<]*)<");
        for (auto match = row.globalMatch(page); match.hasNext();) {
            const auto found = match.next();
            QStringList& cells = rows[found.captured(1).toStdString()];
            for (auto v = value.globalMatch(found.captured(2)); v.hasNext();)
                cells << v.next().captured(1);
            if (const auto why = failure.match(found.captured(2)); why.hasMatch())
                cells << "failure: " + why.captured(1);
        }
        return rows;
    }

};

// Every file decodes at the picture's size, and the page's PSNR is the one of the decoded file.
TEST_F(CompareAll, CtrlShiftCWritesEveryFormatIntoCompareAndMeasuresWhatWasWritten) {
    test_support::WriteBytes((folder + "Sample.png").toStdString(), "the button's own file");
    PressCtrlShiftC();
    EXPECT_EQ(test_support::ReadBytes((folder + "Sample.png").toStdString()), "the button's own file");
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), std::size(kFiles)) << Page();
    for (const char* name : kFiles) {
        SCOPED_TRACE(name);
        int width = 0;
        const std::vector<std::uint32_t> seen = testing::DecodedArgb((folder + "Compare/" + name).toStdString(), width);
        ASSERT_EQ(width, picture.width());
        ASSERT_EQ(seen.size(), std::size_t(picture.width()) * picture.height());
        std::uint64_t squared = 0;
        for (std::size_t i = 0; i < seen.size(); ++i) {
            const QRgb want = picture.pixel(int(i % width), int(i / width)), got = qAlpha(seen[i]) ? seen[i] : want;
            for (const int shift : {0, 8, 16}) {
                const int d = int((got >> shift) & 0xFF) - int((want >> shift) & 0xFF);
                squared += std::uint64_t(d * d);
            }
        }
        const QStringList cells = rows.at(name); // format, options, time, size, bits a pixel, PSNR, SSIM
        ASSERT_EQ(cells.size(), 7) << cells.join('|').toStdString();
        EXPECT_EQ(cells[3].toULongLong(), QFileInfo(folder + "Compare/" + name).size());
        const double psnr = squared ? 10 * std::log10(255.0 * 255 * 3 * seen.size() / double(squared)) : 1e300;
        EXPECT_NEAR(cells[5].toDouble(), psnr, 1e-6 * psnr);
        EXPECT_LE(cells[6].toDouble(), 1.0);
        EXPECT_EQ(cells[6].toDouble() == 1.0, squared == 0);
    }
    EXPECT_TRUE(QFileInfo(folder + "Compare/Source.png").size() > 0);
    EXPECT_TRUE(Page().find("<meta name=\"lumivert-compare-total-ms\" content=\"") != std::string::npos);
    EXPECT_TRUE(messages.shown.empty());
}

// A save that fails is a row with the button's reason; a cancel stops before the next save.
TEST_F(CompareAll, FailedSaveIsARowWithTheButtonsReasonAndCancelStopsTheRun) {
    ASSERT_TRUE(QDir(folder).mkdir("Sample32.bmp"));
    QTest::mouseClick(ui().cmdSaveAsBmp, Qt::LeftButton); // the button's box, for its text
    ASSERT_TRUE(QDir(folder).rmdir("Sample32.bmp"));
    ASSERT_EQ(messages.shown.size(), 1u);
    const QString bmpReason = QString::fromStdString(messages.shown[0].text).replace("Sample32.bmp", "Compare/Sample32.bmp");
    messages.shown.clear();

    ASSERT_TRUE(QDir(folder).mkpath("Compare/Sample32.bmp"));
    ASSERT_TRUE(QDir(folder).mkpath("Compare/Sample-q75.jpg"));
    PressCtrlShiftC();
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), std::size(kFiles)) << Page();
    EXPECT_EQ(rows.at("Sample32.bmp").last(), "failure: " + bmpReason.toHtmlEscaped());
    EXPECT_EQ(rows.at("Sample-q75.jpg").last(), "failure: エラーが発生したっぽいです");
    for (const char* name : kFiles) {
        if (std::string(name) != "Sample32.bmp" && std::string(name) != "Sample-q75.jpg") {
            EXPECT_EQ(rows.at(name).size(), 7) << name;
        }
    }
    EXPECT_TRUE(messages.shown.empty()) << messages.shown[0].text;

    QDir(folder + "Compare").removeRecursively();
    QFile::remove(folder + "Compare.html");
    bool cancelled = false;
    PressCtrlShiftC([&] {
        QTimer::singleShot(0, [&] { // at the progress dialog's first look at the events
            if (auto* progress = window->findChild<QProgressDialog*>("dlgCompare"))
                progress->cancel(), cancelled = true;
        });
    });
    EXPECT_TRUE(cancelled);
    EXPECT_LE(QDir(folder + "Compare").entryList(QDir::Files).size(), 1);
    EXPECT_FALSE(QFile::exists(folder + "Compare.html"));
}

// In a real Chromium: a header click sorts the rows, the pictures load, the arrow keys move the split.
TEST_F(CompareAll, PageSortsByAHeaderAndTheSplitMovesWithTheArrowKeys) {
    PressCtrlShiftC();
    testing::EndAllBrowsers(); // the page is opened in a browser the test can reach instead
    const testing::BrowserTestFolder browsers;
    testing::UseBrowserCommand(browsers.HeadlessChromium());
    const user32::HWND frame = mdlHTMLDocument::FindBrowserWindow(mdlHTMLDocument::LaunchBrowser("", messages));
    testing::UseBrowserCommand("");
    const user32::HWND page = mdlHTMLDocument::FindServerWindow(frame);
    ASSERT_NE(page, 0u) << "no headless Chromium";
    chromium::DevToolsConnection(QString::fromStdString(user32::DevToolsEndpointOf(page)))
        .Call("Page.navigate", {{"url", QUrl::fromLocalFile(folder + "Compare.html").toString()}}, std::chrono::seconds(10));
    const auto images = testing::EvaluateInPage(frame, R"(['imageA', 'imageB'].map(id => document.getElementById(id))
        .map(i => i && i.complete ? i.naturalWidth + 'x' + i.naturalHeight : 'loading').join(' '))",
        [](const QJsonValue& v) { return !v.toString().contains("loading"); });
    ASSERT_TRUE(images.has_value());
    EXPECT_EQ(images->toString(), "420x345 420x345") << "the picture and a BMP shown";
    const auto value = testing::EvaluateInPage(frame, R"((() => {
        const order = () => Array.from(document.querySelectorAll('#results tbody tr'), r => r.dataset.file).join(',');
        const size = document.querySelectorAll('#results th')[3];
        size.click();
        const up = order();
        size.click();
        const down = order();
        const stage = document.getElementById('stage');
        const key = (key, shiftKey) => stage.dispatchEvent(new KeyboardEvent('keydown', {key, shiftKey, bubbles: true}));
        const before = stage.dataset.split;
        key('ArrowRight'); key('ArrowRight'); key('ArrowLeft', true);
        return [up, down, before + '>' + stage.dataset.split].join('|');
    })())");
    ASSERT_TRUE(value.has_value());
    const QStringList parts = value->toString().split('|');
    ASSERT_EQ(parts.size(), 3) << value->toString().toStdString();
    // Sizes from the files themselves: ascending, then the reverse.
    QStringList bySize(std::begin(kFiles), std::end(kFiles));
    std::stable_sort(bySize.begin(), bySize.end(), [&](const QString& a, const QString& b) {
        return QFileInfo(folder + "Compare/" + a).size() < QFileInfo(folder + "Compare/" + b).size();
    });
    EXPECT_EQ(parts[0], bySize.join(','));
    EXPECT_EQ(parts[1].split(',').first(), bySize.last());
    EXPECT_EQ(parts[2], "210>202");
}

} // namespace
} // namespace lumivert
