#pragma once

// The picture box picTarget: shows the picture and keeps it as a bitmap handle plus a
// persistent image (a memory device context with a copy selected), which it redraws from.

#include "win32/gdi32/gdi32.h"
#include "os/memory_policy.h"
#include "win32/gdi32/persistent_picture.h"

#include <QImage>
#include <QWidget>

#include <cstddef>
#include <memory>
#include <span>

namespace lumivert {

class PictureBox : public QWidget {
public:
    explicit PictureBox(QWidget* parent);
    ~PictureBox() override;

    // Loads the picture from the bytes of a BMP file and switches to the persistent image;
    // false when the bytes are not a picture the gdi layer can load.
    bool UsePersistentPicture(std::span<const std::byte> bmpFile);
    // The same with an opened picture, which the box keeps.
    bool UsePersistentPicture(std::unique_ptr<gdi32::PersistentPicture> picture);

    // Redraws the display from the persistent image: a picture larger than the box scaled
    // down to fit it (aspect kept) at the screen's resolution, a smaller one at 1:1 (in
    // logical pixels) in the top-left corner.
    void Refresh();

    // After a save (or a dialog, or a picture that could not be opened): gives back what the
    // heap holds free beyond the working memory of this picture's saves, and backs that
    // working memory again, as at load.
    void RenewWorkingMemory();
    // Frees that working memory into the heap now, where the next allocations find it: before
    // a picture is opened, so that its decoder uses it.
    void ReleaseWorkingMemory();

    // The device context of the persistent image and the picture's bitmap handle; 0 before
    // a picture was loaded. Both wait until the working memory of the saves is ready, and
    // release it for the save's allocations.
    gdi32::HDC hDC() const;
    gdi32::HBITMAP Picture() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowAtScale(qreal scale);

    std::unique_ptr<gdi32::PersistentPicture> picture_;
    mutable os::WorkingMemoryPreparation preparation_; // of picture_'s saves
    QImage shown_;
    qreal shownScale_ = 0; // device pixels per logical pixel shown_ was made for
};

} // namespace lumivert
