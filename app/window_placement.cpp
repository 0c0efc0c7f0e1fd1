#include "app/window_placement.h"

#include <cmath>

namespace lumivert {

QPoint PlaceWindow(QSize screen, QSize window) {
    const double left = (screen.width() - window.width()) / 2.0;
    const double top = (screen.height() - window.height()) / 4.0;
    return {static_cast<int>(std::lround(left)), static_cast<int>(std::lround(top))};
}

} // namespace lumivert
