// The window's save buttons under a storm of clicks: every button clicked many times in a
// row, and every button clicked many times while a save is under way (while it shows its
// failure message, before the imaging session ends). Nothing may crash, no click may start
// a command inside another, and every file must be whole and hold what its own button
// writes, as Pillow reads it. The test program runs in a folder of its own.

#include "app/mdl_common.h"
#include "tests/app/loaded_window.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>

namespace lumivert {
namespace {

class ClickStorm : public testing::LoadedWindow {
protected:
    static void SetUpTestSuite() {
        testing::EnsureApplication();
        testing::UseStandInBrowser();
    }

    void SetUp() override {
        folder = QString::fromStdString(mdlCommon::GetAppFolder());
        LoadedWindow::SetUp();
        samplePath = testing::WriteSamplePicture(privateFolder);
        Click(const_cast<OptionButton*>(&ui().optGifTransparent.Item(1))); // white: no question
    }

    std::vector<QAbstractButton*> SaveButtons() const {
        return {ui().cmdSaveAsBmp, ui().cmdSaveAsVariousImg, ui().cmdSaveAsPng, ui().cmdSaveAsGif, ui().cmdSaveAsJpg};
    }
    void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    // Pillow's reading of a written file against the sample picture.
    QJsonObject Decode(const QString& name, const QStringList& options = {}) const {
        QProcess python;
        python.start("/usr/bin/python3", QStringList{LUMIVERT_COMPARE_SCRIPT, samplePath, folder + name} + options);
        python.waitForFinished(120000);
        EXPECT_EQ(python.exitCode(), 0) << name.toStdString() << ": " << python.readAllStandardError().toStdString();
        return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
    }

    // Every file holds what its own button writes, whole; no temporary file is left.
    void ExpectEveryFileWholeAndItsOwn() const {
        const QJsonObject bmp = Decode("Sample32.bmp");
        EXPECT_EQ(bmp["format"].toString(), "BMP");
        EXPECT_EQ(bmp["mismatches"].toInt(), 0);
        const QJsonObject grey = Decode("SampleGrayScale.bmp", {"expect=grey"});
        EXPECT_EQ(grey["format"].toString(), "BMP");
        EXPECT_EQ(grey["mismatches"].toInt(), 0);
        const QJsonObject png = Decode("Sample.png", {"key=0,0,0"});
        EXPECT_EQ(png["format"].toString(), "PNG");
        EXPECT_EQ(png["mismatches"].toInt(), 0);
        EXPECT_EQ(png["transparentNotKey"].toInt(), 0);
        const QJsonObject gif = Decode("Sample.gif", {"key=255,255,255"});
        EXPECT_EQ(gif["format"].toString(), "GIF");
        EXPECT_EQ(gif["mismatches"].toInt(), 0);
        EXPECT_EQ(Decode("Sample.jpg")["format"].toString(), "JPEG");
        for (const QJsonObject& facts : {bmp, grey, png, gif})
            EXPECT_EQ(facts["size"].toArray(), (QJsonArray{420, 345}));
        const QStringList hidden = QDir(folder).entryList(QStringList{".*"}, QDir::Files | QDir::Hidden);
        EXPECT_TRUE(hidden.isEmpty()) << hidden.join(", ").toStdString();
    }

    QString folder;
    QString samplePath;
};

TEST_F(ClickStorm, EverySaveButtonClickedManyTimesInARow) {
    for (QAbstractButton* button : SaveButtons())
        for (int click = 0; click < 6; ++click)
            Click(button);
    for (int round = 0; round < 3; ++round)
        for (QAbstractButton* button : SaveButtons())
            Click(button);
    EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;
    ExpectEveryFileWholeAndItsOwn();
}

TEST_F(ClickStorm, ClicksWhileASaveRunsStartNothingAndMixNothingUp) {
    for (QAbstractButton* button : SaveButtons())
        Click(button); // every file once, to compare later
    // Each file's inode: a save puts a new file in place, so even identical bytes show.
    const auto before = [this] {
        std::map<QString, ino_t> inodes;
        for (const QString& name : QDir(folder).entryList({"Sample*"}, QDir::Files)) {
            struct stat info {};
            ::stat((folder + name).toLocal8Bit().constData(), &info);
            inodes[name] = info.st_ino;
        }
        return inodes;
    };
    auto written = before();

    // The PNG save fails while its session runs (a folder stands where the file goes) and
    // says so; every button is clicked many times while that message is up.
    ASSERT_TRUE(QDir(folder).mkdir("Sample.png.new"));
    QFile::remove(folder + "Sample.png");
    ASSERT_TRUE(QDir(folder).rename("Sample.png.new", "Sample.png"));
    int clicksDuringSave = 0;
    messages.whileShown = [&] {
        for (int click = 0; click < 4; ++click)
            for (QAbstractButton* button : SaveButtons()) {
                Click(button);
                ++clicksDuringSave;
            }
    };
    Click(ui().cmdSaveAsPng);
    messages.whileShown = nullptr;
    EXPECT_EQ(clicksDuringSave, 20);
    ASSERT_EQ(messages.shown.size(), 1u) << "one command, one message: no click started another";
    EXPECT_EQ(messages.shown[0].text, "エラーが発生したっぽいです");
    written.erase("Sample.png");
    auto now = before();
    now.erase("Sample.png");
    EXPECT_TRUE(now == written) << "a click during the save wrote a file";

    // Afterwards every button works again and every file is its own.
    ASSERT_TRUE(QDir(folder + "Sample.png").removeRecursively());
    messages.shown.clear();
    for (QAbstractButton* button : SaveButtons())
        Click(button);
    EXPECT_TRUE(messages.shown.empty());
    ExpectEveryFileWholeAndItsOwn();
}

} // namespace
} // namespace lumivert
