#pragma once

// Opening the user's picture: every format Qt's image readers offer, turned into the
// program's 24-bit picture (EXIF orientation applied, alpha flattened onto white, the first
// frame of a multi-frame file). A failure comes back as a reason the user can act on.
//
// The picture lands in the picture box's own bitmap: a JPEG (the usual photo) is decoded
// straight into it by libjpeg-turbo, any other format is decoded by Qt and converted into it
// row by row. A picture whose size the memory cannot hold is refused before it is decoded.

#include "win32/gdi32/persistent_picture.h"

#include <QString>
#include <QtGlobal>

#include <memory>

class QIODevice;

namespace lumivert {

// The largest picture opened: 16384 × 16384 pixels. Its decoded form may take up to 8 bytes
// a pixel in the reader (16 bits a channel with alpha), 2 GiB at that size.
inline constexpr qint64 kMaxPicturePixels = qint64{16384} * 16384;

struct OpenedPicture {
    std::unique_ptr<gdi32::PersistentPicture> picture; // null when the picture could not be opened
    QString error;                                     // why not, one sentence for a message box
};

// Reads the picture from device (open for reading, random access). maxPixels lowers the
// largest size taken (the fuzzer's memory is smaller than a user's); the reader's memory
// limit follows it. A picture that needs more memory than the process may still take
// (os::AvailableMemory) is refused with the sizes of both.
OpenedPicture ReadPicture(QIODevice& device, qint64 maxPixels = kMaxPicturePixels);

// Opens the file at path and reads its picture: the one loading path of the window.
OpenedPicture LoadPictureFile(const QString& path);

// The file dialog's filter: every readable format by its suffixes.
QString ReadablePicturesFilter();

} // namespace lumivert
