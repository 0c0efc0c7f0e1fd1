// すべての形式で比べる through the window, every file read back independently and measured.

#include "tests/app/program_folder_window.h"

#include <QDir>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace lumivert {
namespace {

// SSIM as first published, in double precision: the 11 × 11 Gaussian window (sigma 1.5) on the
// luma, K1 0.01, K2 0.03, the mean over every window inside the picture.
double Ssim(const std::vector<double>& x, const std::vector<double>& y, int width, int height) {
    double g[11], total = 0, sum = 0;
    for (int i = 0; i < 11; ++i)
        total += g[i] = std::exp(-(i - 5) * (i - 5) / 4.5);
    const double c1 = 2.55 * 2.55, c2 = 7.65 * 7.65;
    for (int top = 0; top + 11 <= height; ++top)
        for (int left = 0; left + 11 <= width; ++left) {
            double mx = 0, my = 0, xx = 0, yy = 0, xy = 0;
            for (int i = 0; i < 11; ++i)
                for (int j = 0; j < 11; ++j) {
                    const std::size_t at = std::size_t(top + i) * width + left + j;
                    const double k = g[i] * g[j] / (total * total), a = x[at], b = y[at];
                    mx += k * a, my += k * b, xx += k * a * a, yy += k * b * b, xy += k * a * b;
                }
            sum += (2 * mx * my + c1) * (2 * (xy - mx * my) + c2) / ((mx * mx + my * my + c1) * (xx - mx * mx + yy - my * my + c2));
        }
    return sum / ((width - 10) * (height - 10));
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

// Every file decodes at the picture's size, and the page's PSNR and SSIM are those of the decoded file.
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
        std::vector<double> lumaWanted, lumaSeen; // a transparent pixel shows the picture below
        const auto luma = [](QRgb c) { return 0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c); };
        for (std::size_t i = 0; i < seen.size(); ++i) {
            const QRgb want = picture.pixel(int(i % width), int(i / width)), got = qAlpha(seen[i]) ? seen[i] : want;
            lumaWanted.push_back(luma(want)), lumaSeen.push_back(luma(got));
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
        EXPECT_NEAR(cells[6].toDouble(), Ssim(lumaWanted, lumaSeen, width, picture.height()), 5e-4);
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

} // namespace
} // namespace lumivert
