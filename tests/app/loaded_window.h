#pragma once

// What the window tests share: the application, a loaded window, pictures, a drop.

#include "app/frm_main.h"
#include "tests/app/recording_message_boxes.h"
#include "win32/gdi32/surface.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace lumivert::testing {

inline void EnsureApplication() {
    static int argc = 1;
    static char* argv[] = {const_cast<char*>("lumivert_tests"), nullptr};
    if (!QApplication::instance())
        new QApplication(argc, argv);
}

inline bool IsHourglassSet() {
    return QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
}

// A PNG at path whose every pixel differs from its neighbours; the pixels written.
inline QImage WritePicture(const QString& path, int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int i = 0; i < width * height; ++i)
        picture.setPixel(i % width, i / width, qRgb(i % width * 5 % 256, i / width * 3 % 256, i % width * (i / width) % 256));
    picture.save(path, "PNG");
    return picture;
}

// The picture the savers read: the persistent image of the picture box.
inline QImage HeldPicture(const frmMain& window) {
    const auto view = gdi32::SnapshotBitmap(gdi32::GetCurrentObject(window.controls().picTarget->hDC(), gdi32::OBJ_BITMAP));
    QImage held(view ? view->width : 0, view ? view->height : 0, QImage::Format_RGB32);
    for (int i = 0; i < held.width() * held.height(); ++i)
        held.setPixel(i % held.width(), i / held.width(), view->Row(i / held.width())[i % held.width()] | 0xFF000000u);
    return held;
}

// Drops the file on target as a file manager does; whether the drag was taken.
inline bool DropFile(QWidget* target, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const QPoint at(target->width() / 2, target->height() / 2);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QApplication::sendEvent(target, &drop);
    return true;
}

class LoadedWindow : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        instance = std::make_unique<SingleInstance>(privateFolder.filePath("window.lock"));
        window = std::make_unique<frmMain>(*instance, &messages);
        ASSERT_TRUE(window->Form_Load());
        messages.whileShown = [this] { hourglass.push_back(IsHourglassSet()); };
    }

    const frmMainDesign& ui() const { return window->controls(); }
    QString Path(const char* name) const { return privateFolder.filePath(name); }

    QTemporaryDir privateFolder;
    std::unique_ptr<SingleInstance> instance;
    RecordingMessageBoxes messages;
    std::vector<bool> hourglass; // for each message: the hourglass was up while it was shown
    std::unique_ptr<frmMain> window;
};

} // namespace lumivert::testing
