// The window as a Wayland client of a compositor at scale 2 (run by under_weston.py): drawn
// natively at twice its designed size, saving, and the browser it starts showing the page.

#include "app/mdl_common.h"
#include "tests/app/loaded_window.h"
#include "tests/browser/browser_test_support.h"

#include <QTest>

#include <gtest/gtest.h>

namespace lumivert {
namespace {

using testing::LoadedWindow;

TEST_F(LoadedWindow, UnderWaylandAtScaleTwoTheWindowSavesAndTheBrowserShowsThePage) {
    ASSERT_EQ(QGuiApplication::platformName(), "wayland");
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(window->devicePixelRatio(), 2);
    EXPECT_EQ(window->size(), QSize(775, 363));

    // The designed layout in logical pixels: the picture box 8 pixels in, the sample in it
    // 1:1, each of its pixels 2 × 2 device pixels and nothing smoothed.
    const QImage sample = testing::HeldPicture(*window);
    const QImage shown = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(1550, 726));
    EXPECT_TRUE(shown.copy(16, 16, 840, 690) == sample.scaled(840, 690)) << "not where designed, or smoothed";

    // The browser of the program's own choice (Chromium, on PATH), with its profile in a scratch folder.
    const testing::BrowserTestFolder browsers;
    testing::ScopedEnvironment environment;
    environment.Set("BROWSER", nullptr);
    const std::string folder = mdlCommon::GetAppFolder();
    QTest::mouseClick(ui().cmdSaveAsBmp, Qt::LeftButton);
    EXPECT_TRUE(QImage(QString::fromStdString(folder + "Sample32.bmp")).convertToFormat(QImage::Format_RGB32) == sample);
    EXPECT_NE(test_support::ReadBytes(folder + "OpenMe.html").find("Sample32.bmp"), std::string::npos);

    // Filled in through its document: the browser runs on the same compositor.
    ui().chkOpenHTML->setChecked(false);
    QTest::mouseClick(ui().cmdSaveAsVariousImg, Qt::LeftButton);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(folder + "SampleGrayScale.bmp")));
    const auto text = testing::EvaluateInPage(mdlHTMLDocument::BrowserFrameWnd, "document.body.innerText",
                                              [](const QJsonValue& v) { return !v.toString().isEmpty(); });
    EXPECT_NE(text.value_or("").toString().toStdString().find("効果：灰(グレースケール)"), std::string::npos);
    EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;
}

} // namespace
} // namespace lumivert
