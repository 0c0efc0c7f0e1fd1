#pragma once

// The hourglass for the application while an object of this type lives; the pointer
// setting found on entry comes back on every way out, an error included.

#include <QCursor>
#include <QGuiApplication>

namespace lumivert {

class BusyPointer {
public:
    BusyPointer() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyPointer() { QGuiApplication::restoreOverrideCursor(); }

    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;
};

} // namespace lumivert
