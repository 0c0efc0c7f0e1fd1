// Lumivert: shows one picture and saves it in other forms.

#include "app/frm_main.h"
#include "app/single_instance.h"
#include "platform/system/memory_policy.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char* argv[]) {
    lumivert::RetainFreedMemory(); // a save's large buffers stay for the next save
    QApplication application(argc, argv);
    lumivert::MapLoadedCode(); // the libraries the window loads are in by now
    QApplication::setApplicationName("Lumivert");
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

    lumivert::SingleInstance instance(lumivert::SingleInstance::LockPathFor(QCoreApplication::applicationFilePath()));
    lumivert::frmMain window(instance);
    if (!window.Form_Load())
        return 0; // another copy runs
    window.show();
    return QApplication::exec();
}
