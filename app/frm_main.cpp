#include "app/frm_main.h"

#include "app/busy_pointer.h"
#include "app/picture_file.h"
#include "app/qt_message_boxes.h"
#include "app/window_placement.h"
#include "assets/sample_picture.h"
#include "report/raised_error.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QPixmapCache>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>

#include <exception>

namespace lumivert {

namespace {

const QKeySequence kCompareKey(Qt::CTRL | Qt::SHIFT | Qt::Key_C);

constexpr int kClientWidth = 775;  // 11625 twips
constexpr int kClientHeight = 363; // 5445 twips

constexpr std::int32_t RGB(int red, int green, int blue) { return red + green * 256 + blue * 65536; }

// The one local file a drag carries; empty for anything else (text, several files, a
// remote address).
QString DraggedFile(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1 || !data->urls().front().isLocalFile())
        return {};
    return data->urls().front().toLocalFile();
}

// Keeps running true while it lives.
struct RunningFlag {
    explicit RunningFlag(bool& running) : running_(running) { running_ = true; }
    ~RunningFlag() { running_ = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    bool& running_;
};

} // namespace

frmMain::frmMain(SingleInstance& instance, report::MessageBoxes* messages)
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

    // The user's own picture: dropped anywhere on the window, chosen from the picture's
    // menu or with Ctrl+O. The quality box takes dropped text as before; a dropped file
    // there is the window's.
    setAcceptDrops(true);
    ui_.txtJpgQuality->installEventFilter(this);
    ui_.picTarget->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ui_.picTarget, &QWidget::customContextMenuRequested, this, &frmMain::ShowPictureMenu);
    connect(new QShortcut(QKeySequence::Open, this), &QShortcut::activated, this, &frmMain::ChoosePicture);
    connect(new QShortcut(kCompareKey, this), &QShortcut::activated, this, [this] { RunCommand(&frmMain::cmdCompareAll); });
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
    const RunningFlag running(commandRunning_);

    try {
        (this->*command)();
    } catch (const report::RaisedError& error) {
        messages_.Show(error.description(), "エラーですよ", report::MessageButtons::Ok, report::MessageIcon::Exclamation);
    } catch (const std::exception& error) {
        messages_.Show(error.what(), "エラーですよ", report::MessageButtons::Ok, report::MessageIcon::Exclamation);
    }
    ui_.picTarget->RenewWorkingMemory();
}

bool frmMain::OpenPicture(const QString& path) {
    if (commandRunning_)
        return false;
    const RunningFlag running(commandRunning_); // no save, and no second picture, meanwhile
    ui_.picTarget->ReleaseWorkingMemory(); // for the decoder, and counted as free before it
    lastFolder_ = QFileInfo(path).absolutePath();
    OpenedPicture opened;
    QSize size;
    {
        const BusyPointer hourglass;
        opened = LoadPictureFile(path);
        if (!opened.picture && opened.error.isEmpty())
            opened.error = QStringLiteral("画像を読み込めませんでした。");
        if (opened.picture) {
            size = QSize(opened.picture->width(), opened.picture->height());
            if (!ui_.picTarget->UsePersistentPicture(std::move(opened.picture)))
                opened.error = QStringLiteral("画像を表示できませんでした。");
        }
    }
    if (!opened.error.isEmpty()) {
        const QString text =
            QStringLiteral("画像を開けませんでした。\n\n%1\n\n%2").arg(QDir::toNativeSeparators(path), opened.error);
        messages_.Show(text.toStdString(), "画像を開く", report::MessageButtons::Ok, report::MessageIcon::Exclamation);
        ui_.picTarget->RenewWorkingMemory(); // what the decoder took is free again
        return false;
    }
    ui_.picTarget->Refresh();
    ui_.picTarget->setToolTip(QStringLiteral("%1\n%2 × %3")
                                  .arg(QFileInfo(path).fileName())
                                  .arg(size.width())
                                  .arg(size.height()));
    sampleShown_ = false;
    return true;
}

void frmMain::UseSamplePicture() {
    if (commandRunning_ || sampleShown_)
        return;
    ui_.picTarget->UsePersistentPicture(assets::SamplePictureFile());
    ui_.picTarget->Refresh();
    ui_.picTarget->setToolTip({});
    sampleShown_ = true;
}

void frmMain::ChoosePicture() {
    if (commandRunning_)
        return;
    const QString folder = lastFolder_.isEmpty() ? QDir::homePath() : lastFolder_;
    const QString path = QFileDialog::getOpenFileName(this, "画像を開く", folder, ReadablePicturesFilter());
    // Every dialog leaves pixmaps of its own (its files' and folders' icons) in Qt's pixmap
    // cache, under keys no later dialog asks for: dropped here, or a long session grows by
    // each dialog until the cache's limit. What is still needed is drawn again on demand.
    QPixmapCache::clear();
    if (!path.isEmpty())
        OpenPicture(path);
    else
        ui_.picTarget->RenewWorkingMemory(); // what the dialog took is free again
}

void frmMain::ShowPictureMenu(const QPoint& at) {
    if (commandRunning_)
        return;
    QMenu menu(this);
    menu.setObjectName("mnuPicture");
    menu.addAction("画像を開く…", QKeySequence::Open, this, &frmMain::ChoosePicture);
    menu.addAction("見本の画像に戻す", this, &frmMain::UseSamplePicture)->setEnabled(!sampleShown_);
    menu.addAction("すべての形式で比べる…", kCompareKey, this, [this] { RunCommand(&frmMain::cmdCompareAll); });
    menu.exec(ui_.picTarget->mapToGlobal(at));
}

void frmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!commandRunning_ && !DraggedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent* event) {
    const QString path = DraggedFile(event->mimeData());
    if (commandRunning_ || path.isEmpty())
        return;
    event->acceptProposedAction();
    OpenPicture(path);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_.txtJpgQuality) {
        const auto type = event->type();
        if (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) {
            auto* drag = static_cast<QDropEvent*>(event);
            if (!DraggedFile(drag->mimeData()).isEmpty()) {
                if (type == QEvent::Drop)
                    dropEvent(drag);
                else if (!commandRunning_)
                    drag->acceptProposedAction();
                else
                    drag->ignore();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace lumivert
