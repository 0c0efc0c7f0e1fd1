// The five save commands driven by clicks on the window: the files they write (decoded by
// Pillow and compared with the sample picture), the result page they write, the messages
// they show and the pointer while they run. The test program runs in a folder of its own,
// which is the program's folder the commands write to.

#include "app/save_front.h"
#include "app/mdl_common.h"
#include "assets/sample_picture.h"
#include "imaging/mdl_gdiplus.h"
#include "tests/app/loaded_window.h"
#include "tests/app/opened_picture.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <iconv.h>

namespace lumivert {
namespace {

const char* const kOutputs[] = {"Sample1.bmp", "Sample4.bmp", "Sample8.bmp", "Sample32.bmp", "SampleGrayScale.bmp",
                                "SampleReverse.bmp", "SampleEmboss.bmp", "SampleEmbossFalse.bmp", "Sample.png", "Sample.gif",
                                "Sample.jpg", "OpenMe.html"};

// Shift_JIS (as Windows writes it) to text, through the C library rather than the program.
QString FromShiftJis(QByteArray bytes) {
    iconv_t convert = iconv_open("UTF-8", "CP932");
    if (convert == reinterpret_cast<iconv_t>(-1))
        return {};
    QByteArray out(bytes.size() * 4 + 4, '\0');
    char* in = bytes.data();
    std::size_t inLeft = static_cast<std::size_t>(bytes.size());
    char* outNext = out.data();
    std::size_t outLeft = static_cast<std::size_t>(out.size());
    const std::size_t result = iconv(convert, &in, &inLeft, &outNext, &outLeft);
    iconv_close(convert);
    if (result == static_cast<std::size_t>(-1))
        return {};
    return QString::fromUtf8(out.constData(), static_cast<int>(outNext - out.data()));
}

class SaveCommands : public testing::LoadedWindow {
protected:
    static void SetUpTestSuite() {
        testing::EnsureApplication();
        testing::UseStandInBrowser();
    }

    void SetUp() override {
        folder = QString::fromStdString(mdlCommon::GetAppFolder());
        for (const char* name : kOutputs)
            QFile::remove(folder + name);
        LoadedWindow::SetUp();
        samplePath = testing::WriteSamplePicture(privateFolder);
    }

    void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    void Select(const OptionGroup& group, int index) { Click(const_cast<OptionButton*>(&group.Item(index))); }
    bool Exists(const char* name) const { return QFile::exists(folder + name); }

    // What Pillow sees in a written file, compared with the sample picture.
    QJsonObject Decode(const char* name, const QStringList& options = {}) const {
        QProcess python;
        python.start("/usr/bin/python3", QStringList{LUMIVERT_COMPARE_SCRIPT, samplePath, folder + name} + options);
        python.waitForFinished(120000);
        const QByteArray output = python.readAllStandardOutput();
        EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
        return QJsonDocument::fromJson(output).object();
    }

    // Exactly the pixels of the key colour are transparent; the others are the sample's.
    void ExpectTransparentKey(const char* name, const QString& key) const {
        const QJsonObject facts = Decode(name, {"key=" + key});
        EXPECT_GT(facts["transparent"].toInt(), 0);
        EXPECT_EQ(facts["transparentNotKey"].toInt(), 0);
        EXPECT_EQ(facts["keyNotTransparent"].toInt(), 0);
        EXPECT_EQ(facts["mismatches"].toInt(), 0);
    }

    QString Page() const {
        QFile page(folder + "OpenMe.html");
        return page.open(QIODevice::ReadOnly) ? FromShiftJis(page.readAll()) : QString();
    }

    // The description and page colour the result page shows.
    void ExpectPage(const QString& description, const QString& colour) const {
        const QString page = Page();
        EXPECT_TRUE(page.contains("<br>" + description + "<br>")) << page.toStdString();
        EXPECT_TRUE(page.contains("<body bgcolor=" + colour + ">")) << page.toStdString();
    }

    QString folder;
    QString samplePath;
};

TEST_F(SaveCommands, RunInTheirOwnProgramFolder) {
    EXPECT_TRUE(folder.startsWith(QDir::tempPath())) << folder.toStdString();
    EXPECT_TRUE(folder.endsWith('/'));
}

TEST_F(SaveCommands, BmpAtStartWritesTheFullColourPicture) {
    Click(ui().cmdSaveAsBmp);
    EXPECT_TRUE(messages.shown.empty());
    const QJsonObject facts = Decode("Sample32.bmp");
    EXPECT_EQ(facts["bits"].toInt(), 32);
    EXPECT_EQ(facts["size"].toArray(), (QJsonArray{420, 345}));
    EXPECT_EQ(facts["mismatches"].toInt(), 0);
    ExpectPage("ファイル種類：BMP　保存色数：全力(フルカラー(32Bit))", "White");
    EXPECT_TRUE(Page().contains("<img src=\"Sample32.bmp\">"));
}

TEST_F(SaveCommands, BmpWritesTheDepthOfTheChosenOption) {
    Select(ui().optBmpSaveColor, 2);
    Click(ui().cmdSaveAsBmp);
    EXPECT_EQ(Decode("Sample8.bmp")["bits"].toInt(), 8);
    ExpectPage("ファイル種類：BMP　保存色数：256色", "White");

    Select(ui().optBmpSaveColor, 0);
    Click(ui().cmdSaveAsBmp);
    EXPECT_EQ(Decode("Sample1.bmp")["bits"].toInt(), 1);
    ExpectPage("ファイル種類：BMP　保存色数：２色", "White");

    Select(ui().optBmpSaveColor, 1);
    Click(ui().cmdSaveAsBmp);
    EXPECT_EQ(Decode("Sample4.bmp")["bits"].toInt(), 4);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SaveCommands, BmpErrorIsShownInItsBoxAndNoPageFollows) {
    ASSERT_TRUE(QDir(folder).mkdir("Sample32.bmp")); // a folder where the file should go
    Click(ui().cmdSaveAsBmp);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "エラーですよ");
    EXPECT_EQ(messages.shown[0].icon, ui::MessageIcon::Exclamation);
    EXPECT_EQ(messages.shown[0].buttons, ui::MessageButtons::Ok);
    EXPECT_FALSE(messages.shown[0].text.empty());
    EXPECT_FALSE(Exists("OpenMe.html"));
    QDir(folder).rmdir("Sample32.bmp");
}

TEST_F(SaveCommands, EffectAtStartIsGreyScaleByTheDibEngine) {
    Click(ui().cmdSaveAsVariousImg);
    EXPECT_TRUE(messages.shown.empty());
    const QJsonObject facts = Decode("SampleGrayScale.bmp", {"expect=grey"});
    EXPECT_EQ(facts["bits"].toInt(), 32);
    EXPECT_EQ(facts["mismatches"].toInt(), 0);
    ExpectPage("ファイル種類：BMP　変換種類：DIBits　効果：灰(グレースケール)", "White");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(SaveCommands, EffectUsesTheChosenEffectAndEngine) {
    Select(ui().optBmpConv, 8);
    Select(ui().optConvAPIType, 0);
    Click(ui().cmdSaveAsVariousImg);
    EXPECT_EQ(Decode("SampleReverse.bmp", {"expect=reverse"})["mismatches"].toInt(), 0);
    ExpectPage("ファイル種類：BMP　変換種類：Pixels　効果：階調反転(ネガポジ反転)", "White");

    Select(ui().optBmpConv, 10);
    Click(ui().cmdSaveAsVariousImg);
    EXPECT_TRUE(Exists("SampleEmbossFalse.bmp"));
    ExpectPage("ファイル種類：BMP　変換種類：Pixels　効果：エンボス(偽)", "White");

    // The engines walk the rows in opposite orders, so the emboss tells which one ran.
    const auto embossBytes = [this] {
        QFile file(folder + "SampleEmboss.bmp");
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    Select(ui().optBmpConv, 9);
    Click(ui().cmdSaveAsVariousImg);
    const QByteArray byPixels = embossBytes();
    Select(ui().optConvAPIType, 1);
    Click(ui().cmdSaveAsVariousImg);
    const QByteArray byDibits = embossBytes();
    ASSERT_EQ(byPixels.size(), byDibits.size());
    EXPECT_NE(byPixels, byDibits);
    ExpectPage("ファイル種類：BMP　変換種類：DIBits　効果：エンボス", "White");
}

TEST_F(SaveCommands, EffectKeepsTheHourglassUpToTheEndOfTheResultPage) {
    // Without the page file the result page fills a browser's page, and with a browser
    // that has none it tells so: that message comes while the command still runs.
    ui().chkOpenHTML->setChecked(false);
    Click(ui().cmdSaveAsVariousImg);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "残念");
    EXPECT_TRUE(hourglass[0]);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    Click(ui().cmdSaveAsBmp); // the BMP command shows no hourglass
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_FALSE(hourglass[1]);
}

TEST_F(SaveCommands, EffectErrorIsShownAndThePointerPutBack) {
    ASSERT_TRUE(QDir(folder).mkdir("SampleGrayScale.bmp"));
    Click(ui().cmdSaveAsVariousImg);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "エラーですよ");
    EXPECT_FALSE(hourglass[0]);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(Exists("OpenMe.html"));
    QDir(folder).rmdir("SampleGrayScale.bmp");
}

TEST_F(SaveCommands, PngMakesTheChosenColourTransparent) {
    Click(ui().cmdSaveAsPng);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(Decode("Sample.png")["format"].toString(), "PNG");
    ExpectTransparentKey("Sample.png", "0,0,0");
    ExpectPage("ファイル種類：PNG　透過色：黒 = RGB(0, 0, 0)", "#FFCCBB");

    Select(ui().optPngTransparent, 3);
    Click(ui().cmdSaveAsPng);
    ExpectTransparentKey("Sample.png", "255,0,51");
    ExpectPage("ファイル種類：PNG　透過色：赤 = RGB(255, 0, 51)", "#FFCCBB");

    Select(ui().optPngTransparent, 4);
    Click(ui().cmdSaveAsPng);
    const QJsonObject facts = Decode("Sample.png");
    EXPECT_EQ(facts["transparent"].toInt(), 0);
    EXPECT_EQ(facts["mismatches"].toInt(), 0);
    ExpectPage("ファイル種類：PNG　透過色：なし", "#FFCCBB");
}

TEST_F(SaveCommands, GifWithAColourAsksNothing) {
    Select(ui().optGifTransparent, 1);
    Click(ui().cmdSaveAsGif);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(Decode("Sample.gif")["format"].toString(), "GIF");
    ExpectTransparentKey("Sample.gif", "255,255,255");
    ExpectPage("ファイル種類：GIF　透過色：白 = RGB(255, 255, 255)", "#77CCFF");
}

TEST_F(SaveCommands, GifWithoutAColourAsksWhichConversion) {
    Select(ui().optGifTransparent, 4);
    messages.answers = {ui::MessageAnswer::Cancel};
    Click(ui().cmdSaveAsGif);
    ASSERT_EQ(messages.shown.size(), 1u);
    const testing::ShownMessage& question = messages.shown[0];
    EXPECT_EQ(question.text, "どっち？\r\n\r\n(1)自力実装処理で出力する場合(ハーフトーンなし＆重い) → [はい]\r\n"
                             "(2)API でサクっと出力する場合(ハーフトーンあり＆軽い)     → [いいえ]");
    EXPECT_EQ(question.title, "透過なしGIF出力");
    EXPECT_EQ(question.buttons, ui::MessageButtons::YesNoCancel);
    EXPECT_EQ(question.icon, ui::MessageIcon::Information);
    EXPECT_FALSE(hourglass[0]);
    EXPECT_FALSE(Exists("Sample.gif")); // Cancel: nothing saved, timed or shown
    EXPECT_FALSE(Exists("OpenMe.html"));

    // Yes: the exact-colour conversion, without a transparent colour.
    messages.answers = {ui::MessageAnswer::Yes};
    Click(ui().cmdSaveAsGif);
    QJsonObject facts = Decode("Sample.gif");
    EXPECT_EQ(facts["transparent"].toInt(), 0);
    EXPECT_EQ(facts["mismatches"].toInt(), 0);
    ExpectPage("ファイル種類：GIF　透過色：なし", "#77CCFF");

    // No: the encoder reduces the colours itself, with halftone.
    messages.answers = {ui::MessageAnswer::No};
    Click(ui().cmdSaveAsGif);
    facts = Decode("Sample.gif");
    EXPECT_EQ(facts["transparent"].toInt(), 0);
    EXPECT_GT(facts["mismatches"].toInt(), 0);
    ExpectPage("ファイル種類：GIF　透過色：なし", "#77CCFF");
    EXPECT_EQ(messages.shown.size(), 3u);
}

TEST_F(SaveCommands, JpgRefusesTextThatIsNoUsableNumber) {
    for (const char* text : {"abc", "", "1e12", "-99999999999"}) {
        SCOPED_TRACE(text);
        messages.shown.clear();
        ui().txtJpgQuality->setText(text);
        Click(ui().cmdSaveAsJpg);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, "0～100の値を設定してくださいな");
        EXPECT_EQ(messages.shown[0].title, "入力エラー");
        EXPECT_EQ(messages.shown[0].icon, ui::MessageIcon::Information);
        EXPECT_EQ(ui().txtJpgQuality->text(), text);
        EXPECT_FALSE(Exists("Sample.jpg"));
    }
}

TEST_F(SaveCommands, JpgClampsTheTextAndPassesTheRoundedQuality) {
    struct Case {
        const char* typed;
        const char* shown;
        int lumaDc; // the first luminance quantiser of the written file
    };
    // Quality 100 quantises by 1; 50 uses the standard table (16); 0 the coarsest (255).
    for (const Case& c : {Case{"100", "100", 1}, Case{"-5", "0", 255}, Case{"250", "100", 1},
                          Case{"50.5", "50.5", 16}}) {
        SCOPED_TRACE(c.typed);
        ui().txtJpgQuality->setText(c.typed);
        Click(ui().cmdSaveAsJpg);
        EXPECT_EQ(ui().txtJpgQuality->text(), c.shown);
        const QJsonObject facts = Decode("Sample.jpg");
        EXPECT_EQ(facts["format"].toString(), "JPEG");
        EXPECT_EQ(facts["lumaQuant"].toArray().at(0).toInt(), c.lumaDc);
        ExpectPage(QString("ファイル種類：JPG　画質：") + c.shown, "White");
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SaveCommands, ClickWhileACommandRunsIsIgnored) {
    // A click that reaches the window while a command shows a box (or while the result page
    // lets pending clicks through) does not start a second command inside the first.
    ui().txtJpgQuality->setText("abc");
    messages.whileShown = [this] {
        Click(ui().cmdSaveAsJpg);
        Click(ui().cmdSaveAsBmp);
    };
    Click(ui().cmdSaveAsJpg);
    messages.whileShown = nullptr;
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_FALSE(Exists("Sample32.bmp"));
    // Once the command has ended, the next click runs.
    Click(ui().cmdSaveAsBmp);
    EXPECT_TRUE(Exists("Sample32.bmp"));
}

TEST_F(SaveCommands, FailedEncodingIsToldWithTheHourglassUpAndThePageStillFollows) {
    ASSERT_TRUE(QDir(folder).mkdir("Sample.png"));
    Click(ui().cmdSaveAsPng);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "エラーが発生したっぽいです");
    EXPECT_EQ(messages.shown[0].title, "ありゃりゃ");
    EXPECT_EQ(messages.shown[0].icon, ui::MessageIcon::Information);
    EXPECT_TRUE(hourglass[0]);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    ExpectPage("ファイル種類：PNG　透過色：黒 = RGB(0, 0, 0)", "#FFCCBB");
    QDir(folder).rmdir("Sample.png");

    // The imaging layer was shut down: the next save starts it again and succeeds.
    Click(ui().cmdSaveAsPng);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(Decode("Sample.png", {"key=0,0,0"})["mismatches"].toInt(), 0);
}

// The session alone, on the picture as the picture box holds it.
class GdiplusSession : public ::testing::Test {
protected:
    void SetUp() override {
        testing::EnsureApplication();
        messages.whileShown = [this] { hourglassWhileShown = testing::IsHourglassSet(); };
        ASSERT_TRUE(picture.valid());
    }

    testing::RecordingMessageBoxes messages;
    bool hourglassWhileShown = false;
    QTemporaryDir folder;
    gdi32::PersistentPicture picture{assets::SamplePictureFile()};
};

TEST_F(GdiplusSession, MissingFolderGivesOneMessageAndLeavesTheLayerShutDown) {
    const std::string missing = folder.filePath("missing/Sample.jpg").toStdString();
    SaveByGdiplusSession(messages, picture.hBitmap(), missing, mdlGdiplus::FormatJpeg, 80);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "エラーが発生したっぽいです");
    EXPECT_TRUE(hourglassWhileShown);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    // Started again for the next request, which succeeds without a message.
    const std::string written = folder.filePath("Sample.jpg").toStdString();
    SaveByGdiplusSession(messages, picture.hBitmap(), written, mdlGdiplus::FormatJpeg, 80);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(written)));
}

TEST_F(GdiplusSession, FailedStartUpIsToldAndNothingIsWrittenOrShutDown) {
    // Started by someone else: the session's own start-up is refused.
    ASSERT_TRUE(mdlGdiplus::StartupGdiplus());
    const std::string path = folder.filePath("Sample.png").toStdString();
    SaveByGdiplusSession(messages, picture.hBitmap(), path, mdlGdiplus::FormatPng, mdlGdiplus::OptionNone);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "初期化処理に失敗したっぽいです");
    EXPECT_EQ(messages.shown[0].title, "ありゃりゃ");
    EXPECT_EQ(messages.shown[0].icon, ui::MessageIcon::Information);
    EXPECT_TRUE(hourglassWhileShown);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
    EXPECT_FALSE(mdlGdiplus::StartupGdiplus()); // the session did not shut the layer down
    mdlGdiplus::ShutdownGdiplus();
}

// An opened picture of another size than the sample: every saver writes it whole, and the
// result is compared with the picture file as Pillow decodes it.
TEST_F(SaveCommands, EverySaverWorksOnAnOpenedPicture) {
    const QString picture = privateFolder.filePath("blocks.png");
    QImage blocks(123, 77, QImage::Format_RGB32); // 104 colours, blue (a transparent option) among them
    for (int y = 0; y < blocks.height(); ++y)
        for (int x = 0; x < blocks.width(); ++x)
            blocks.setPixel(x, y, x < 10 && y < 10 ? qRgb(0, 0, 255) : qRgb(x / 10 * 20, y / 10 * 30, 40));
    ASSERT_TRUE(blocks.save(picture));
    ASSERT_TRUE(testing::DropFile(ui().picTarget, picture));
    samplePath = picture;

    Click(ui().cmdSaveAsBmp);
    QJsonObject facts = Decode("Sample32.bmp");
    EXPECT_EQ(facts["size"].toArray(), (QJsonArray{123, 77}));
    EXPECT_EQ(facts["mismatches"].toInt(), 0);
    Select(ui().optPngTransparent, 2);
    Click(ui().cmdSaveAsPng);
    ExpectTransparentKey("Sample.png", "0,0,255");
    Select(ui().optGifTransparent, 2);
    Click(ui().cmdSaveAsGif);
    ExpectTransparentKey("Sample.gif", "0,0,255");
    Click(ui().cmdSaveAsJpg);
    facts = Decode("Sample.jpg");
    EXPECT_EQ(facts["size"].toArray(), (QJsonArray{123, 77}));
    EXPECT_LT(facts["maxDiff"].toInt(), 128); // lossy at the blocks' sharp edges
    Select(ui().optBmpConv, 8); // 階調反転, by the Pixels engine
    Select(ui().optConvAPIType, 0);
    Click(ui().cmdSaveAsVariousImg);
    EXPECT_EQ(Decode("SampleReverse.bmp", {"expect=reverse"})["mismatches"].toInt(), 0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(Page().contains("<img src=\"SampleReverse.bmp\">"));
}

// A photo has far more than 254 colours: the own GIF conversion keeps it recognisable, and
// only the pixels of the transparent colour turn transparent.
TEST_F(SaveCommands, OwnGifOfAPhotoKeepsItsColoursOpaque) {
    const QString photo = privateFolder.filePath("photo.png");
    testing::WritePicture(photo, 200, 150);
    ASSERT_TRUE(window->OpenPicture(photo));
    samplePath = photo;
    Select(ui().optGifTransparent, 1); // white, which the photo lacks
    Click(ui().cmdSaveAsGif);
    const QJsonObject facts = Decode("Sample.gif", {"key=255,255,255"});
    EXPECT_EQ(facts["size"].toArray(), (QJsonArray{200, 150}));
    EXPECT_EQ(facts["transparent"].toInt(), 0);
}

// While a command runs (here the GIF question is up) no picture is opened, by any way in.
TEST_F(SaveCommands, NoPictureIsOpenedWhileACommandRuns) {
    const QString picture = privateFolder.filePath("other.png");
    testing::WritePicture(picture, 60, 50);
    const QImage before = testing::HeldPicture(*window);
    bool dropTaken = true, opened = true;
    messages.whileShown = [&] {
        dropTaken = testing::DropFile(ui().picTarget, picture);
        opened = window->OpenPicture(picture);
    };
    Select(ui().optGifTransparent, 4);
    messages.answers = {ui::MessageAnswer::Cancel};
    Click(ui().cmdSaveAsGif);
    ASSERT_EQ(messages.shown.size(), 1u); // the question alone: no message for the refusals
    EXPECT_FALSE(dropTaken);
    EXPECT_FALSE(opened);
    EXPECT_EQ(testing::HeldPicture(*window), before);
}

} // namespace
} // namespace lumivert
