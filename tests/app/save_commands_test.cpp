// The save commands clicked: files read back independently, result pages, messages, pointer.

#include "app/mdl_common.h"
#include "app/save_front.h"
#include "imaging/mdl_gdiplus.h"
#include "tests/app/program_folder_window.h"

#include <QDir>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <optional>

namespace lumivert {
namespace {

// A written file as an independent decoder sees it, a transparent pixel with alpha 0.
QImage Seen(const QString& path) {
    int width = 0;
    const std::vector<std::uint32_t> argb = testing::DecodedArgb(path.toStdString(), width);
    QImage seen(width, width ? static_cast<int>(argb.size()) / width : 0, QImage::Format_ARGB32);
    for (std::size_t i = 0; i < argb.size(); ++i)
        seen.setPixel(static_cast<int>(i) % width, static_cast<int>(i) / width, argb[i]);
    return seen;
}

// Pixels of seen off the effect (test_pictures::ExpectedPerPixel) of want by more than
// tolerance, or not transparent exactly at key.
int Differences(const QImage& seen, const QImage& want, std::optional<QRgb> key = {}, int effect = 0,
                int tolerance = 0) {
    if (seen.size() != want.size())
        return -1;
    int differences = 0;
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x) {
            const QRgb got = seen.pixel(x, y), source = want.pixel(x, y) | 0xFF000000u;
            const test_pictures::Color c = test_pictures::ExpectedPerPixel(effect, {qRed(source), qGreen(source), qBlue(source)});
            const QRgb wanted = qRgb(c.red, c.green, c.blue);
            const bool transparent = qAlpha(got) == 0;
            if (transparent != (key && *key == source) ||
                (!transparent && std::max({std::abs(qRed(got) - qRed(wanted)), std::abs(qGreen(got) - qGreen(wanted)),
                                           std::abs(qBlue(got) - qBlue(wanted))}) > tolerance))
                ++differences;
        }
    return differences;
}

class SaveCommands : public testing::ProgramFolderWindow {
protected:
    void SetUp() override { SetUpRemoving({"Sample*", "OpenMe.html"}); }

    void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    void Select(const OptionGroup& group, int index) { Click(const_cast<OptionButton*>(&group.Item(index))); }
    bool Exists(const char* name) const { return QFile::exists(folder + name); }
    QImage Written(const char* name) const { return Seen(folder + name); }
    QString Page() const {
        return QStringDecoder("CP932")(QByteArray::fromStdString(test_support::ReadBytes((folder + "OpenMe.html").toStdString())));
    }
    void ExpectPage(const char* description, const char* colour) const {
        EXPECT_TRUE(Page().contains(QString("<body bgcolor=") + colour + ">")) << Page().toStdString();
        EXPECT_TRUE(Page().contains(QString("<br>") + description + "<br>")) << Page().toStdString();
    }
    void ExpectMessage(std::size_t index, const char* text, const char* title, bool hourglassUp) const {
        ASSERT_GT(messages.shown.size(), index);
        EXPECT_EQ(messages.shown[index].text, text);
        EXPECT_EQ(messages.shown[index].title, title);
        EXPECT_EQ(messages.shown[index].icon, report::MessageIcon::Information);
        EXPECT_EQ(hourglass[index], hourglassUp);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    }

};

// An opened picture holding every transparent colour, saved with option after option.
TEST_F(SaveCommands, EachButtonWritesTheOpenedPictureWithTheChosenOptionAndItsPage) {
    QImage blocks(123, 77, QImage::Format_RGB32);
    const QRgb keys[] = {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(0, 0, 255), qRgb(255, 0, 51)};
    for (int y = 0; y < blocks.height(); ++y)
        for (int x = 0; x < blocks.width(); ++x)
            blocks.setPixel(x, y, y < 10 && x < 40 ? keys[x / 10] : qRgb(x / 10 * 20, y / 10 * 30, 40));
    ASSERT_TRUE(blocks.save(Path("blocks.png")));
    ASSERT_TRUE(testing::DropFile(ui().picTarget, Path("blocks.png")));

    using D = frmMainDesign;
    const struct {
        OptionGroup D::*group; // selected before the click, when set
        int option;
        QPushButton* D::*button;
        const char* file;
        std::optional<QRgb> key; // the transparent colour
        int effect;              // what becomes of each pixel (ExpectedPerPixel); -1: only the depth is checked
        int toleranceOrBits;
        const char *description, *colour;
    } cases[] = {
        {nullptr, 0, &D::cmdSaveAsBmp, "Sample32.bmp", {}, 0, 0, "ファイル種類：BMP　保存色数：全力(フルカラー(32Bit))", "White"},
        {&D::optBmpSaveColor, 2, &D::cmdSaveAsBmp, "Sample8.bmp", {}, -1, 8, "ファイル種類：BMP　保存色数：256色", "White"},
        {&D::optBmpSaveColor, 0, &D::cmdSaveAsBmp, "Sample1.bmp", {}, -1, 1, "ファイル種類：BMP　保存色数：２色", "White"},
        {&D::optBmpSaveColor, 1, &D::cmdSaveAsBmp, "Sample4.bmp", {}, -1, 4, "ファイル種類：BMP　保存色数：16色", "White"},
        {nullptr, 0, &D::cmdSaveAsVariousImg, "SampleGrayScale.bmp", {}, 1, 0,
         "ファイル種類：BMP　変換種類：DIBits　効果：灰(グレースケール)", "White"},
        {&D::optConvAPIType, 0, &D::cmdSaveAsVariousImg, "SampleGrayScale.bmp", {}, 1, 0,
         "ファイル種類：BMP　変換種類：Pixels　効果：灰(グレースケール)", "White"},
        {&D::optBmpConv, 1, &D::cmdSaveAsVariousImg, "SampleRed.bmp", {}, 2, 0,
         "ファイル種類：BMP　変換種類：Pixels　効果：赤", "White"},
        {&D::optBmpConv, 2, &D::cmdSaveAsVariousImg, "SampleBlue.bmp", {}, 3, 0,
         "ファイル種類：BMP　変換種類：Pixels　効果：青", "White"},
        {&D::optBmpConv, 3, &D::cmdSaveAsVariousImg, "SampleGreen.bmp", {}, 4, 0,
         "ファイル種類：BMP　変換種類：Pixels　効果：緑", "White"},
        {&D::optConvAPIType, 1, &D::cmdSaveAsVariousImg, "SampleGreen.bmp", {}, 4, 0,
         "ファイル種類：BMP　変換種類：DIBits　効果：緑", "White"},
        {&D::optBmpConv, 4, &D::cmdSaveAsVariousImg, "SamplePurple.bmp", {}, 5, 0,
         "ファイル種類：BMP　変換種類：DIBits　効果：紫", "White"},
        {&D::optBmpConv, 5, &D::cmdSaveAsVariousImg, "SampleWater.bmp", {}, 6, 0,
         "ファイル種類：BMP　変換種類：DIBits　効果：水", "White"},
        {&D::optBmpConv, 6, &D::cmdSaveAsVariousImg, "SampleYellow.bmp", {}, 7, 0,
         "ファイル種類：BMP　変換種類：DIBits　効果：黄", "White"},
        {&D::optBmpConv, 7, &D::cmdSaveAsVariousImg, "SampleSepia.bmp", {}, 8, 0,
         "ファイル種類：BMP　変換種類：DIBits　効果：セピア", "White"},
        {&D::optConvAPIType, 0, &D::cmdSaveAsVariousImg, "SampleSepia.bmp", {}, 8, 0,
         "ファイル種類：BMP　変換種類：Pixels　効果：セピア", "White"},
        {&D::optBmpConv, 8, &D::cmdSaveAsVariousImg, "SampleReverse.bmp", {}, 9, 0,
         "ファイル種類：BMP　変換種類：Pixels　効果：階調反転(ネガポジ反転)", "White"},
        {&D::optBmpConv, 10, &D::cmdSaveAsVariousImg, "SampleEmbossFalse.bmp", {}, -1, 32,
         "ファイル種類：BMP　変換種類：Pixels　効果：エンボス(偽)", "White"},
        {nullptr, 0, &D::cmdSaveAsPng, "Sample.png", qRgb(0, 0, 0), 0, 0, "ファイル種類：PNG　透過色：黒 = RGB(0, 0, 0)", "#FFCCBB"},
        {&D::optPngTransparent, 2, &D::cmdSaveAsPng, "Sample.png", qRgb(0, 0, 255), 0, 0,
         "ファイル種類：PNG　透過色：青 = RGB(0, 0, 255)", "#FFCCBB"},
        {&D::optPngTransparent, 3, &D::cmdSaveAsPng, "Sample.png", qRgb(255, 0, 51), 0, 0,
         "ファイル種類：PNG　透過色：赤 = RGB(255, 0, 51)", "#FFCCBB"},
        {&D::optPngTransparent, 4, &D::cmdSaveAsPng, "Sample.png", {}, 0, 0, "ファイル種類：PNG　透過色：なし", "#FFCCBB"},
        {&D::optGifTransparent, 1, &D::cmdSaveAsGif, "Sample.gif", qRgb(255, 255, 255), 0, 0,
         "ファイル種類：GIF　透過色：白 = RGB(255, 255, 255)", "#77CCFF"},
        {nullptr, 0, &D::cmdSaveAsJpg, "Sample.jpg", {}, 0, 127, "ファイル種類：JPG　画質：100", "White"}, // sharp edges
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.description);
        if (c.group)
            Select(ui().*c.group, c.option);
        Click(ui().*c.button);
        if (c.effect >= 0)
            EXPECT_EQ(Differences(Written(c.file), blocks, c.key, c.effect, c.toleranceOrBits), 0);
        else
            EXPECT_EQ(test_support::ReadBytes((folder + c.file).toStdString()).at(28), c.toleranceOrBits);
        ExpectPage(c.description, c.colour);
        EXPECT_TRUE(Page().contains(QString("<img src=\"") + c.file + "\">"));
    }

    // The engines walk the rows in opposite orders, so the emboss tells which one ran.
    const auto emboss = [this] { return test_support::ReadBytes((folder + "SampleEmboss.bmp").toStdString()); };
    Select(ui().optBmpConv, 9);
    Click(ui().cmdSaveAsVariousImg);
    const std::string byPixels = emboss();
    Select(ui().optConvAPIType, 1);
    Click(ui().cmdSaveAsVariousImg);
    EXPECT_EQ(byPixels.size(), emboss().size());
    EXPECT_NE(byPixels, emboss());
    ExpectPage("ファイル種類：BMP　変換種類：DIBits　効果：エンボス", "White");
    EXPECT_TRUE(messages.shown.empty());
}

// A folder where the file goes: an error box, no page; the hourglass only over the effect command.
TEST_F(SaveCommands, SaveErrorIsShownInItsBoxAndTheHourglassOnlyCoversTheEffectCommand) {
    for (const auto& [name, button] : {std::pair{"Sample32.bmp", ui().cmdSaveAsBmp},
                                       std::pair{"SampleGrayScale.bmp", ui().cmdSaveAsVariousImg}}) {
        ASSERT_TRUE(QDir(folder).mkdir(name));
        Click(button);
        QDir(folder).rmdir(name);
    }
    EXPECT_FALSE(Exists("OpenMe.html"));
    ui().chkOpenHTML->setChecked(false);
    Click(ui().cmdSaveAsVariousImg);
    Click(ui().cmdSaveAsBmp);
    ASSERT_EQ(messages.shown.size(), 4u);
    for (const testing::ShownMessage& shown : {messages.shown[0], messages.shown[1]}) {
        EXPECT_EQ(shown.title, "エラーですよ");
        EXPECT_EQ(shown.icon, report::MessageIcon::Exclamation);
        EXPECT_EQ(shown.buttons, report::MessageButtons::Ok);
        EXPECT_FALSE(shown.text.empty());
    }
    EXPECT_EQ(hourglass, (std::vector<bool>{false, false, true, false}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(SaveCommands, GifWithoutAColourAsksWhichConversion) {
    Select(ui().optGifTransparent, 4);
    messages.answers = {report::MessageAnswer::Cancel};
    Click(ui().cmdSaveAsGif);
    ExpectMessage(0, "どっち？\r\n\r\n(1)自力実装処理で出力する場合(ハーフトーンなし＆重い) → [はい]\r\n"
                     "(2)API でサクっと出力する場合(ハーフトーンあり＆軽い)     → [いいえ]", "透過なしGIF出力", false);
    EXPECT_EQ(messages.shown[0].buttons, report::MessageButtons::YesNoCancel);
    EXPECT_FALSE(Exists("Sample.gif")); // Cancel: nothing saved, timed or shown
    EXPECT_FALSE(Exists("OpenMe.html"));

    messages.answers = {report::MessageAnswer::Yes}; // the exact-colour conversion, answered after 1.5 s
    const auto recordHourglass = messages.whileShown;
    messages.whileShown = [&] { recordHourglass(), QThread::msleep(1500); };
    Click(ui().cmdSaveAsGif);
    messages.whileShown = recordHourglass;
    EXPECT_EQ(Differences(Written("Sample.gif"), picture), 0);
    ExpectPage("ファイル種類：GIF　透過色：なし", "#77CCFF");
    EXPECT_TRUE(Page().contains(QRegularExpression("：[0-9]+ミリ秒<br>"))) << "the time spans the save alone";

    messages.answers = {report::MessageAnswer::No}; // the encoder reduces the colours, with halftone
    Click(ui().cmdSaveAsGif);
    EXPECT_GT(Differences(Written("Sample.gif"), picture), 0);
    EXPECT_EQ(messages.shown.size(), 3u);
}

TEST_F(SaveCommands, JpgRefusesTextThatIsNoNumberAndPassesTheRoundedQuality) {
    ui().txtJpgQuality->setText("abc");
    Click(ui().cmdSaveAsJpg);
    ExpectMessage(0, "0～100の値を設定してくださいな", "入力エラー", false);
    EXPECT_EQ(ui().txtJpgQuality->text(), "abc");
    EXPECT_FALSE(Exists("Sample.jpg"));

    // Quality 50 quantises by the standard table, whose first luminance entry is 16.
    ui().txtJpgQuality->setText("50.5");
    Click(ui().cmdSaveAsJpg);
    const auto jpeg = decoders::ReadJpeg((folder + "Sample.jpg").toStdString());
    ASSERT_TRUE(jpeg.has_value());
    EXPECT_EQ(jpeg->lumaTable.at(0), 16);
    ExpectPage("ファイル種類：JPG　画質：50.5", "White");
    ui().txtJpgQuality->setText("-3"); // clamped in the box
    Click(ui().cmdSaveAsJpg);
    ExpectPage("ファイル種類：JPG　画質：0", "White");
    EXPECT_EQ(messages.shown.size(), 1u);
}

// The imaging layer started by someone else: the session's own start-up is refused.
TEST_F(SaveCommands, FailedStartUpIsToldAndNothingIsWrittenOrShutDown) {
    ASSERT_TRUE(mdlGdiplus::StartupGdiplus());
    const std::string path = Path("Sample.png").toStdString();
    SaveByGdiplusSession(messages, ui().picTarget->Picture(), path, mdlGdiplus::FormatPng, mdlGdiplus::OptionNone);
    ExpectMessage(0, "初期化処理に失敗したっぽいです", "ありゃりゃ", true);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
    EXPECT_FALSE(mdlGdiplus::StartupGdiplus()); // the session did not shut the layer down
    mdlGdiplus::ShutdownGdiplus();
}

// A failed encoding is told, the page follows; clicks and drops meanwhile start nothing.
TEST_F(SaveCommands, FailedEncodingIsToldAndClicksMeanwhileStartNothing) {
    Select(ui().optGifTransparent, 1); // white: no question
    Select(ui().optPngTransparent, 1);
    ASSERT_TRUE(QDir(folder).mkdir("Sample.png")); // the PNG save fails and says so
    testing::WritePicture(Path("other.png"), 60, 50);
    int clicks = 0;
    bool dropTaken = true, opened = true;
    messages.whileShown = [&] {
        hourglass.push_back(testing::IsHourglassSet());
        for (QAbstractButton* button : {ui().cmdSaveAsBmp, ui().cmdSaveAsVariousImg, ui().cmdSaveAsPng,
                                        ui().cmdSaveAsGif, ui().cmdSaveAsJpg})
            Click(button), ++clicks;
        dropTaken = testing::DropFile(ui().picTarget, Path("other.png"));
        opened = window->OpenPicture(Path("other.png"));
    };
    Click(ui().cmdSaveAsPng);
    messages.whileShown = nullptr;
    EXPECT_EQ(clicks, 5);
    ASSERT_EQ(messages.shown.size(), 1u) << "one command, one message: no click started another";
    ExpectMessage(0, "エラーが発生したっぽいです", "ありゃりゃ", true);
    ExpectPage("ファイル種類：PNG　透過色：白 = RGB(255, 255, 255)", "#FFCCBB");
    for (const char* name : {"Sample32.bmp", "SampleGrayScale.bmp", "Sample.gif", "Sample.jpg"})
        EXPECT_FALSE(Exists(name)) << name << ": a click during the save wrote it";
    EXPECT_FALSE(dropTaken);
    EXPECT_FALSE(opened);
    EXPECT_EQ(testing::HeldPicture(*window), picture);

    ASSERT_TRUE(QDir(folder).rmdir("Sample.png")); // afterwards the next click runs
    Click(ui().cmdSaveAsPng);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(Differences(Written("Sample.png"), picture, qRgb(255, 255, 255)), 0);
    const QStringList hidden = QDir(folder).entryList(QStringList{".*"}, QDir::Files | QDir::Hidden);
    EXPECT_TRUE(hidden.isEmpty()) << hidden.join(", ").toStdString(); // no temporary file left
}

} // namespace
} // namespace lumivert
