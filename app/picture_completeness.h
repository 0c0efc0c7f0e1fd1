#pragma once

// Qt's BMP, GIF and JPEG readers fill in what a truncated file lacks and report success;
// the user should hear that the file is cut short instead. These checks look at the
// file's own structure for the formats whose readers do not notice.

class QIODevice;

namespace lumivert {

// True when device (random access) holds a BMP whose pixel data
// or a GIF whose first picture ends before the file's structure says it does. Leaves the
// position where it was.
bool EndsEarly(QIODevice& device);

} // namespace lumivert
