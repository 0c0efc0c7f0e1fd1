#pragma once

#include <QPoint>
#include <QSize>

namespace lumivert {

// Where the window's outer top-left corner goes: centred across the screen, and a quarter
// of the free height from the top (not half). Any unit, as long as both sizes use it.
QPoint PlaceWindow(QSize screen, QSize window);

} // namespace lumivert
