#pragma once

// Pictures for the tests that open one, and what the window holds after opening.

#include "app/frm_main.h"
#include "win32/gdi32/surface.h"

#include <QApplication>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QString>
#include <QUrl>

namespace lumivert::testing {

// A picture of width × height whose every pixel differs from its neighbours, written as a
// PNG at path (lossless, so the window must hold exactly these pixels).
inline QImage WritePicture(const QString& path, int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, qRgb((x * 5) % 256, (y * 3) % 256, (x * y) % 256));
    picture.save(path, "PNG");
    return picture;
}

// The picture the savers read: the persistent image of the picture box.
inline QImage HeldPicture(const frmMain& window) {
    const auto view = gdi32::ViewBitmap(gdi32::GetCurrentObject(window.controls().picTarget->hDC(), gdi32::OBJ_BITMAP));
    if (!view)
        return {};
    QImage held(view->width, view->height, QImage::Format_RGB32);
    for (int y = 0; y < view->height; ++y)
        for (int x = 0; x < view->width; ++x)
            held.setPixel(x, y, view->Row(y)[x] | 0xFF000000u);
    return held;
}

// Drags the file at path onto target and drops it there, as a file manager does; whether
// the drag was taken.
inline bool DropFile(QWidget* target, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const QPoint at(target->width() / 2, target->height() / 2);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return true;
}

} // namespace lumivert::testing
