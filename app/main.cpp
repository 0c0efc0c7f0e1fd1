// Lumivert: shows one picture and saves it in other forms.

#include "app/frm_main.h"
#include "app/picture_hand_over.h"
#include "app/shared_icons_style.h"
#include "app/single_instance.h"
#include "os/memory_policy.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QImageReader>
#include <QLibraryInfo>
#include <QLocale>
#include <QThreadPool>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

#include <cstdio>

namespace {

// The picture named on the command line, as an absolute path (the copy it may be handed
// to runs in another folder); empty when none is named.
QString PictureArgument(QApplication& application) {
    QCommandLineParser parser;
    parser.setApplicationDescription("一枚の画像を BMP、PNG、GIF、JPG や色効果付きで保存し、かかった時間をブラウザで表示します。\n"
                                     "Saves one picture as BMP, PNG, GIF, JPEG or with a colour effect.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("PICTURE", "開く画像ファイル; without it, the sample picture", "[PICTURE]");
    parser.process(application); // --help and --version answer on standard output and end
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() > 1) {
        std::fprintf(stderr, "lumivert: one picture at a time (see --help)\n");
        std::exit(2);
    }
    if (arguments.isEmpty())
        return {};
    const QString& argument = arguments.front();
    const QUrl url(argument);
    const QString path = url.isLocalFile() ? url.toLocalFile() : argument;
    return QFileInfo(path).absoluteFilePath();
}

} // namespace

int main(int argc, char* argv[]) {
    os::RetainFreedMemory(); // a save's large buffers stay for the next save
    // Qt 6's default, kept whatever the environment says: a screen of scale 1.5 is drawn at
    // 1.5, not rounded to 2, which would draw the window a third larger than its neighbours.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    QApplication application(argc, argv);
    // Qt converts and scales a large picture on the threads of its global pool, which end
    // after 30 s without work and start again with the next large picture, each with an event
    // queue (a descriptor) of its own: kept instead, at most one a processor, idle between
    // pictures, so that what the process holds does not depend on when it is looked at.
    QThreadPool::globalInstance()->setExpiryTimeout(-1);
    QApplication::setStyle(new lumivert::SharedIconsStyle); // the application takes it
    QApplication::setApplicationName("Lumivert");
    QApplication::setApplicationVersion(LUMIVERT_VERSION);
    const QString picture = PictureArgument(application);
    QApplication::setDesktopFileName("lumivert"); // the installed desktop entry
    QIcon icon;
    icon.addFile(":/icons/lumivert-48.png");
    icon.addFile(":/icons/lumivert-256.png");
    QApplication::setWindowIcon(icon);

    // The interface is Japanese whatever the system's locale; the layout is designed for
    // a 12-pixel Japanese Gothic font.
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    QLocale::setDefault(japanese);
    // Qt's own texts (the text box's context menu) in Japanese too, where installed.
    QTranslator qtTexts;
    if (qtTexts.load(japanese, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);
    QFont font("Noto Sans CJK JP");
    font.setPixelSize(12);
    QApplication::setFont(font);

    const QString lockPath = lumivert::SingleInstance::LockPathFor(QCoreApplication::applicationFilePath());
    const QString socketPath = lumivert::PictureHandOver::SocketPathFor(lockPath);
    lumivert::SingleInstance instance(lockPath);
    lumivert::frmMain window(instance);
    if (!window.Form_Load()) {
        // Another copy runs: it opens the picture, this one ends.
        if (!picture.isEmpty() && !lumivert::PictureHandOver::Send(socketPath, picture)) {
            std::fprintf(stderr, "lumivert: the running copy did not take the picture\n");
            return 1;
        }
        return 0;
    }
    lumivert::PictureHandOver handOver(socketPath, [&window](const QString& path) {
        window.raise();
        window.activateWindow();
        window.OpenPicture(path);
    });
    window.show();
    // Once the window is up, before any click: the code of the program and its libraries
    // mapped, the picture readers among them (Qt's plugins and what they link: libtiff,
    // libwebp, ...). They would otherwise load with the first dialog or picture and come in
    // page by page, so that the process grew with each format a session meets.
    QTimer::singleShot(0, &window, [] {
        QImageReader::supportedImageFormats(); // loads every reader to ask what it reads
        os::MapLoadedCode();
    });
    if (!picture.isEmpty())
        QTimer::singleShot(0, &window, [&window, picture] { window.OpenPicture(picture); });
    return QApplication::exec();
}
