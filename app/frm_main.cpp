#include "app/frm_main.h"

#include "app/qt_message_boxes.h"
#include "app/window_placement.h"
#include "assets/sample_picture.h"
#include "ui/raised_error.h"

#include <QGuiApplication>
#include <QScreen>

#include <exception>

namespace lumivert {

namespace {

constexpr int kClientWidth = 775;  // 11625 twips
constexpr int kClientHeight = 363; // 5445 twips

constexpr std::int32_t RGB(int red, int green, int blue) { return red + green * 256 + blue * 65536; }

} // namespace

frmMain::frmMain(SingleInstance& instance, ui::MessageBoxes* messages)
    : instance_(instance),
      ownMessages_(messages ? nullptr : std::make_unique<QtMessageBoxes>(this)),
      messages_(messages ? *messages : *ownMessages_),
      ui_(this) {
    setObjectName("frmMain");
    setWindowTitle("BMPを指定画像に変換する？ - Windows XP(SP3)でのみ動作確認しましたよっと"
                   "(XPより前のOSではPNG、GIF、JPG変換は動きません)");
    setFixedSize(kClientWidth, kClientHeight); // the layout is absolute

    const auto onClick = [this](QPushButton* button, Command command) {
        connect(button, &QPushButton::clicked, this, [this, command] { RunCommand(command); });
    };
    onClick(ui_.cmdSaveAsBmp, &frmMain::cmdSaveAsBmp_Click);
    onClick(ui_.cmdSaveAsVariousImg, &frmMain::cmdSaveAsVariousImg_Click);
    onClick(ui_.cmdSaveAsPng, &frmMain::cmdSaveAsPng_Click);
    onClick(ui_.cmdSaveAsGif, &frmMain::cmdSaveAsGif_Click);
    onClick(ui_.cmdSaveAsJpg, &frmMain::cmdSaveAsJpg_Click);
}

frmMain::~frmMain() = default;

bool frmMain::Form_Load() {
    if (instance_.PrevInstance())
        return false;

    transparentColors_ = {RGB(0, 0, 0), RGB(255, 255, 255), RGB(0, 0, 255), RGB(255, 0, 51), -1};
    for (std::size_t i = 0; i < effectIds_.size(); ++i)
        effectIds_[i] = static_cast<std::int32_t>(i) + 1;

    // The picture box keeps its picture in a memory bitmap of its own and redraws from it;
    // the savers read that bitmap through its device context. Positions are in pixels
    // throughout, and Qt widgets keep their own back buffer, so the window needs nothing more.
    ui_.picTarget->UsePersistentPicture(assets::SamplePictureFile());
    ui_.picTarget->Refresh();

    // Before it is shown the window's outer size is its client size: the window manager
    // adds its frame only later.
    if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move(area.topLeft() + PlaceWindow(area.size(), frameGeometry().size()));
    }
    return true;
}

void frmMain::RunCommand(Command command) {
    // The result page lets pending clicks through while it waits for the browser; a click
    // that arrives then must not start a second command inside the first.
    if (commandRunning_)
        return;
    commandRunning_ = true;
    struct Finished {
        bool& running;
        ~Finished() { running = false; }
    } finished{commandRunning_};

    try {
        (this->*command)();
    } catch (const ui::RaisedError& error) {
        messages_.Show(error.description(), "エラーですよ", ui::MessageButtons::Ok, ui::MessageIcon::Exclamation);
    } catch (const std::exception& error) {
        messages_.Show(error.what(), "エラーですよ", ui::MessageButtons::Ok, ui::MessageIcon::Exclamation);
    }
}

} // namespace lumivert
