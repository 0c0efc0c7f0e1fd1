// The five save commands driven by clicks on the window: that each button writes its own
// file with the options chosen (the files read back by independent decoders: libpng,
// giflib, libjpeg-turbo and a BMP reader of the tests' own), the result page it writes, the
// messages it shows, the pointer while it runs, and clicks that come while a command runs.
// The savers' formulas are the bitmap and imaging tests' business. The test program runs
// in a folder of its own, which is the program's folder the commands write to.

#include "app/mdl_common.h"
#include "app/save_front.h"
#include "assets/sample_picture.h"
#include "imaging/mdl_gdiplus.h"
#include "tests/app/loaded_window.h"
#include "tests/support/independent_decoders.h"
#include "tests/support/pictures.h"
#include "tests/support/scratch_folder.h"

#include <QDir>
#include <QTest>

#include <gtest/gtest.h>

#include <iconv.h>
#include <optional>

namespace lumivert {
namespace {

const char* const kOutputs[] = {"Sample1.bmp", "Sample4.bmp", "Sample8.bmp", "Sample32.bmp", "SampleGrayScale.bmp",
                                "SampleReverse.bmp", "SampleEmboss.bmp", "SampleEmbossFalse.bmp", "Sample.png",
                                "Sample.gif", "Sample.jpg", "OpenMe.html"};

// Shift_JIS (as Windows writes it) to text, through the C library rather than the program.
QString FromShiftJis(std::string bytes) {
    iconv_t convert = iconv_open("UTF-8", "CP932");
    std::string out(bytes.size() * 4 + 4, '\0');
    char *in = bytes.data(), *next = out.data();
    std::size_t inLeft = bytes.size(), outLeft = out.size();
    const bool done = iconv(convert, &in, &inLeft, &next, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(convert);
    return done ? QString::fromUtf8(out.data(), static_cast<int>(next - out.data())) : QString();
}

// A written file as an independent decoder sees it, a transparent pixel with alpha 0; a
// null picture when the decoder refuses it.
QImage Seen(const QString& path) {
    const std::string file = path.toStdString();
    int width = 0, height = 0;
    std::vector<std::uint32_t> argb;
    if (path.endsWith(".bmp")) {
        const test_pictures::Picture bmp = test_pictures::Decode32BitBmp(test_pictures::ReadFileBytes(file));
        width = bmp.width, height = bmp.height;
        for (const test_pictures::Color c : bmp.pixels)
            argb.push_back(qRgb(c.red, c.green, c.blue));
    } else if (const auto png = path.endsWith(".png") ? decoders::ReadPng(file) : std::nullopt) {
        width = png->width, height = png->height, argb = png->argb;
    } else if (const auto gif = path.endsWith(".gif") ? decoders::ReadGif(file) : std::nullopt) {
        width = gif->width, height = gif->height;
        for (const std::uint8_t index : gif->indexes)
            argb.push_back(index == gif->transparentIndex ? 0u : 0xFF000000u | gif->palette.at(index));
    } else if (const auto jpeg = path.endsWith(".jpg") ? decoders::ReadJpeg(file) : std::nullopt) {
        width = jpeg->width, height = jpeg->height;
        for (const std::uint32_t rgb : jpeg->rgb)
            argb.push_back(0xFF000000u | rgb);
    }
    QImage seen(width, height, QImage::Format_ARGB32);
    for (int i = 0; i < width * height; ++i)
        seen.setPixel(i % width, i / width, argb[static_cast<std::size_t>(i)]);
    return seen;
}

QRgb Same(QRgb pixel) { return pixel; }
QRgb Inverted(QRgb pixel) { return qRgb(255 - qRed(pixel), 255 - qGreen(pixel), 255 - qBlue(pixel)); }

// The pixels of seen that differ from effect(want) by more than tolerance in a channel, or
// whose transparency differs from "want is the key colour"; -1 when the sizes differ.
int Differences(const QImage& seen, const QImage& want, std::optional<QRgb> key = {}, QRgb (*effect)(QRgb) = Same,
                int tolerance = 0) {
    if (seen.size() != want.size())
        return -1;
    int differences = 0;
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x) {
            const QRgb got = seen.pixel(x, y), source = want.pixel(x, y) | 0xFF000000u, wanted = effect(source);
            const bool transparent = qAlpha(got) == 0;
            if (transparent != (key && *key == source) ||
                (!transparent && std::max({std::abs(qRed(got) - qRed(wanted)), std::abs(qGreen(got) - qGreen(wanted)),
                                           std::abs(qBlue(got) - qBlue(wanted))}) > tolerance))
                ++differences;
        }
    return differences;
}

class SaveCommands : public testing::LoadedWindow {
protected:
    static void SetUpTestSuite() {
        testing::EnsureApplication();
        // The browser the result page starts: ready at once, offering no page to fill.
        test_support::WriteBytes(mdlCommon::GetAppFolder() + "test-browser", "#!/bin/sh\nexec sleep 5\n", 0755);
        qputenv("BROWSER", QByteArray::fromStdString(mdlCommon::GetAppFolder() + "test-browser"));
    }

    void SetUp() override {
        folder = QString::fromStdString(mdlCommon::GetAppFolder());
        ASSERT_TRUE(folder.startsWith(QDir::tempPath() + "/")) << "not in a folder of its own";
        for (const char* name : kOutputs)
            QFile::remove(folder + name);
        LoadedWindow::SetUp();
        picture = testing::HeldPicture(*window);
    }

    void Click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
    void Select(const OptionGroup& group, int index) { Click(const_cast<OptionButton*>(&group.Item(index))); }
    bool Exists(const char* name) const { return QFile::exists(folder + name); }
    QImage Written(const char* name) const { return Seen(folder + name); }
    int BitsOf(const char* name) const {
        const std::string bytes = test_support::ReadBytes((folder + name).toStdString());
        return bytes.size() < 30 ? 0 : static_cast<unsigned char>(bytes[28]) | static_cast<unsigned char>(bytes[29]) << 8;
    }
    QString Page() const { return FromShiftJis(test_support::ReadBytes((folder + "OpenMe.html").toStdString())); }

    // The description and page colour the result page shows.
    void ExpectPage(const char* description, const char* colour) const {
        const QString page = Page();
        EXPECT_TRUE(page.contains(QString("<br>") + description + "<br>")) << page.toStdString();
        EXPECT_TRUE(page.contains(QString("<body bgcolor=") + colour + ">")) << page.toStdString();
    }
    void ExpectErrorBox(std::size_t index, const char* text, const char* title) const {
        ASSERT_GT(messages.shown.size(), index);
        EXPECT_EQ(messages.shown[index].text, text);
        EXPECT_EQ(messages.shown[index].title, title);
        EXPECT_EQ(messages.shown[index].icon, ui::MessageIcon::Information);
    }

    QString folder;
    QImage picture; // what the window holds: the sample, or the picture opened
};

TEST_F(SaveCommands, BmpWritesTheFullColourPictureAtStartAndTheDepthOfTheChosenOption) {
    Click(ui().cmdSaveAsBmp);
    EXPECT_EQ(Differences(Written("Sample32.bmp"), picture), 0);
    ExpectPage("ファイル種類：BMP　保存色数：全力(フルカラー(32Bit))", "White");
    EXPECT_TRUE(Page().contains("<img src=\"Sample32.bmp\">"));
    const struct {
        int option, bits;
        const char *file, *description;
    } depths[] = {{2, 8, "Sample8.bmp", "ファイル種類：BMP　保存色数：256色"},
                  {0, 1, "Sample1.bmp", "ファイル種類：BMP　保存色数：２色"},
                  {1, 4, "Sample4.bmp", "ファイル種類：BMP　保存色数：16色"}};
    for (const auto& depth : depths) {
        Select(ui().optBmpSaveColor, depth.option);
        Click(ui().cmdSaveAsBmp);
        EXPECT_EQ(BitsOf(depth.file), depth.bits) << depth.file;
        ExpectPage(depth.description, "White");
    }
    EXPECT_TRUE(messages.shown.empty());
}

// A folder stands where the file goes: the error is shown in its box, no page follows, and
// the effect command has put the pointer back before it shows the box.
TEST_F(SaveCommands, SaveErrorIsShownInItsBoxAndNoPageFollows) {
    for (const auto& [name, button] : {std::pair{"Sample32.bmp", ui().cmdSaveAsBmp},
                                       std::pair{"SampleGrayScale.bmp", ui().cmdSaveAsVariousImg}}) {
        ASSERT_TRUE(QDir(folder).mkdir(name));
        Click(button);
        QDir(folder).rmdir(name);
    }
    ASSERT_EQ(messages.shown.size(), 2u);
    for (const testing::ShownMessage& shown : messages.shown) {
        EXPECT_EQ(shown.title, "エラーですよ");
        EXPECT_EQ(shown.icon, ui::MessageIcon::Exclamation);
        EXPECT_EQ(shown.buttons, ui::MessageButtons::Ok);
        EXPECT_FALSE(shown.text.empty());
    }
    EXPECT_FALSE(hourglass[1]);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(Exists("OpenMe.html"));
}

TEST_F(SaveCommands, EffectUsesTheChosenEffectAndEngine) {
    Click(ui().cmdSaveAsVariousImg); // at start: grey, by the DIB engine
    const QImage grey = Written("SampleGrayScale.bmp");
    EXPECT_EQ(Differences(grey, picture, {}, [](QRgb p) { return qRgb(qRed(p), qRed(p), qRed(p)); }, 255), 0);
    EXPECT_EQ(grey, grey.convertToFormat(QImage::Format_Grayscale8).convertToFormat(QImage::Format_ARGB32));
    EXPECT_NE(Differences(grey, picture), 0);
    ExpectPage("ファイル種類：BMP　変換種類：DIBits　効果：灰(グレースケール)", "White");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    Select(ui().optBmpConv, 8);
    Select(ui().optConvAPIType, 0);
    Click(ui().cmdSaveAsVariousImg);
    EXPECT_EQ(Differences(Written("SampleReverse.bmp"), picture, {}, Inverted), 0);
    ExpectPage("ファイル種類：BMP　変換種類：Pixels　効果：階調反転(ネガポジ反転)", "White");

    Select(ui().optBmpConv, 10);
    Click(ui().cmdSaveAsVariousImg);
    EXPECT_TRUE(Exists("SampleEmbossFalse.bmp"));
    ExpectPage("ファイル種類：BMP　変換種類：Pixels　効果：エンボス(偽)", "White");

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

TEST_F(SaveCommands, PngAndGifMakeTheChosenColourTransparent) {
    Click(ui().cmdSaveAsPng);
    EXPECT_EQ(Differences(Written("Sample.png"), picture, qRgb(0, 0, 0)), 0);
    ExpectPage("ファイル種類：PNG　透過色：黒 = RGB(0, 0, 0)", "#FFCCBB");

    Select(ui().optPngTransparent, 3);
    Click(ui().cmdSaveAsPng);
    EXPECT_EQ(Differences(Written("Sample.png"), picture, qRgb(255, 0, 51)), 0);
    ExpectPage("ファイル種類：PNG　透過色：赤 = RGB(255, 0, 51)", "#FFCCBB");

    Select(ui().optPngTransparent, 4);
    Click(ui().cmdSaveAsPng);
    EXPECT_EQ(Differences(Written("Sample.png"), picture), 0);
    ExpectPage("ファイル種類：PNG　透過色：なし", "#FFCCBB");

    Select(ui().optGifTransparent, 1); // a colour: no question
    Click(ui().cmdSaveAsGif);
    EXPECT_EQ(Differences(Written("Sample.gif"), picture, qRgb(255, 255, 255)), 0);
    ExpectPage("ファイル種類：GIF　透過色：白 = RGB(255, 255, 255)", "#77CCFF");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(SaveCommands, GifWithoutAColourAsksWhichConversion) {
    Select(ui().optGifTransparent, 4);
    messages.answers = {ui::MessageAnswer::Cancel};
    Click(ui().cmdSaveAsGif);
    ExpectErrorBox(0, "どっち？\r\n\r\n(1)自力実装処理で出力する場合(ハーフトーンなし＆重い) → [はい]\r\n"
                      "(2)API でサクっと出力する場合(ハーフトーンあり＆軽い)     → [いいえ]", "透過なしGIF出力");
    EXPECT_EQ(messages.shown[0].buttons, ui::MessageButtons::YesNoCancel);
    EXPECT_FALSE(hourglass[0]);
    EXPECT_FALSE(Exists("Sample.gif")); // Cancel: nothing saved, timed or shown
    EXPECT_FALSE(Exists("OpenMe.html"));

    messages.answers = {ui::MessageAnswer::Yes}; // the exact-colour conversion
    Click(ui().cmdSaveAsGif);
    EXPECT_EQ(Differences(Written("Sample.gif"), picture), 0);
    ExpectPage("ファイル種類：GIF　透過色：なし", "#77CCFF");

    messages.answers = {ui::MessageAnswer::No}; // the encoder reduces the colours, with halftone
    Click(ui().cmdSaveAsGif);
    EXPECT_GT(Differences(Written("Sample.gif"), picture), 0);
    ExpectPage("ファイル種類：GIF　透過色：なし", "#77CCFF");
    EXPECT_EQ(messages.shown.size(), 3u);
}

TEST_F(SaveCommands, JpgRefusesTextThatIsNoNumberAndPassesTheRoundedQuality) {
    ui().txtJpgQuality->setText("abc");
    Click(ui().cmdSaveAsJpg);
    ExpectErrorBox(0, "0～100の値を設定してくださいな", "入力エラー");
    EXPECT_EQ(ui().txtJpgQuality->text(), "abc");
    EXPECT_FALSE(Exists("Sample.jpg"));

    // Quality 50 quantises by the standard table, whose first luminance entry is 16.
    ui().txtJpgQuality->setText("50.5");
    Click(ui().cmdSaveAsJpg);
    const auto jpeg = decoders::ReadJpeg((folder + "Sample.jpg").toStdString());
    ASSERT_TRUE(jpeg.has_value());
    EXPECT_EQ(jpeg->lumaTable.at(0), 16);
    ExpectPage("ファイル種類：JPG　画質：50.5", "White");
    EXPECT_EQ(messages.shown.size(), 1u);
}

TEST_F(SaveCommands, FailedEncodingIsToldWithTheHourglassUpAndThePageStillFollows) {
    ASSERT_TRUE(QDir(folder).mkdir("Sample.png"));
    Click(ui().cmdSaveAsPng);
    ASSERT_EQ(messages.shown.size(), 1u);
    ExpectErrorBox(0, "エラーが発生したっぽいです", "ありゃりゃ");
    EXPECT_TRUE(hourglass[0]);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    ExpectPage("ファイル種類：PNG　透過色：黒 = RGB(0, 0, 0)", "#FFCCBB");
    QDir(folder).rmdir("Sample.png");

    // The imaging layer was shut down: the next save starts it again and succeeds.
    Click(ui().cmdSaveAsPng);
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(Differences(Written("Sample.png"), picture, qRgb(0, 0, 0)), 0);
}

// A save while the imaging layer was started by someone else: its own start-up is refused.
TEST_F(SaveCommands, FailedStartUpIsToldAndNothingIsWrittenOrShutDown) {
    ASSERT_TRUE(mdlGdiplus::StartupGdiplus());
    const std::string path = Path("Sample.png").toStdString();
    SaveByGdiplusSession(messages, ui().picTarget->Picture(), path, mdlGdiplus::FormatPng, mdlGdiplus::OptionNone);
    ExpectErrorBox(0, "初期化処理に失敗したっぽいです", "ありゃりゃ");
    EXPECT_TRUE(hourglass[0]);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
    EXPECT_FALSE(mdlGdiplus::StartupGdiplus()); // the session did not shut the layer down
    mdlGdiplus::ShutdownGdiplus();
}

// An opened picture of another size than the sample: every saver writes it whole.
TEST_F(SaveCommands, EverySaverWorksOnAnOpenedPicture) {
    QImage blocks(123, 77, QImage::Format_RGB32); // 104 colours, blue (a transparent option) among them
    for (int y = 0; y < blocks.height(); ++y)
        for (int x = 0; x < blocks.width(); ++x)
            blocks.setPixel(x, y, x < 10 && y < 10 ? qRgb(0, 0, 255) : qRgb(x / 10 * 20, y / 10 * 30, 40));
    ASSERT_TRUE(blocks.save(Path("blocks.png")));
    ASSERT_TRUE(testing::DropFile(ui().picTarget, Path("blocks.png")));

    Click(ui().cmdSaveAsBmp);
    EXPECT_EQ(Differences(Written("Sample32.bmp"), blocks), 0);
    Select(ui().optPngTransparent, 2);
    Click(ui().cmdSaveAsPng);
    EXPECT_EQ(Differences(Written("Sample.png"), blocks, qRgb(0, 0, 255)), 0);
    Click(ui().cmdSaveAsJpg);
    EXPECT_EQ(Differences(Written("Sample.jpg"), blocks, {}, Same, 127), 0); // lossy at the sharp edges
    Select(ui().optBmpConv, 8); // 階調反転, by the Pixels engine
    Select(ui().optConvAPIType, 0);
    Click(ui().cmdSaveAsVariousImg);
    EXPECT_EQ(Differences(Written("SampleReverse.bmp"), blocks, {}, Inverted), 0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(Page().contains("<img src=\"SampleReverse.bmp\">"));

    // A photo has far more than 254 colours: the own GIF conversion keeps every pixel
    // opaque when the transparent colour is one the photo lacks.
    testing::WritePicture(Path("photo.png"), 200, 150);
    ASSERT_TRUE(window->OpenPicture(Path("photo.png")));
    Select(ui().optGifTransparent, 1);
    Click(ui().cmdSaveAsGif);
    const QImage gif = Written("Sample.gif");
    ASSERT_EQ(gif.size(), QSize(200, 150));
    EXPECT_EQ(gif.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_ARGB32), gif);
}

// Every button clicked many times while a save shows its failure message, and a picture
// dropped and opened: no click starts a command inside another, no picture is opened.
TEST_F(SaveCommands, ClicksWhileASaveRunsStartNothing) {
    Select(ui().optGifTransparent, 1); // white: no question
    ASSERT_TRUE(QDir(folder).mkdir("Sample.png")); // the PNG save fails and says so
    testing::WritePicture(Path("other.png"), 60, 50);
    int clicks = 0;
    bool dropTaken = true, opened = true;
    messages.whileShown = [&] {
        for (int round = 0; round < 4; ++round)
            for (QAbstractButton* button : {ui().cmdSaveAsBmp, ui().cmdSaveAsVariousImg, ui().cmdSaveAsPng,
                                            ui().cmdSaveAsGif, ui().cmdSaveAsJpg})
                Click(button), ++clicks;
        dropTaken = testing::DropFile(ui().picTarget, Path("other.png"));
        opened = window->OpenPicture(Path("other.png"));
    };
    Click(ui().cmdSaveAsPng);
    messages.whileShown = nullptr;
    EXPECT_EQ(clicks, 20);
    ASSERT_EQ(messages.shown.size(), 1u) << "one command, one message: no click started another";
    EXPECT_EQ(messages.shown[0].text, "エラーが発生したっぽいです");
    for (const char* name : {"Sample32.bmp", "SampleGrayScale.bmp", "Sample.gif", "Sample.jpg"})
        EXPECT_FALSE(Exists(name)) << name << ": a click during the save wrote it";
    EXPECT_FALSE(dropTaken);
    EXPECT_FALSE(opened);
    EXPECT_EQ(testing::HeldPicture(*window), picture);

    ASSERT_TRUE(QDir(folder).rmdir("Sample.png")); // afterwards the next click runs
    Click(ui().cmdSaveAsPng);
    EXPECT_EQ(Differences(Written("Sample.png"), picture, qRgb(0, 0, 0)), 0);
    const QStringList hidden = QDir(folder).entryList(QStringList{".*"}, QDir::Files | QDir::Hidden);
    EXPECT_TRUE(hidden.isEmpty()) << hidden.join(", ").toStdString(); // no temporary file left
}

} // namespace
} // namespace lumivert
