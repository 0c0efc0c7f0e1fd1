#pragma once

// One QApplication for every test of a test program that needs widgets.

#include <QApplication>

namespace lumivert::testing {

inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "lumivert_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = QApplication::instance() ? nullptr : new QApplication(argc, argv);
    (void)application;
}

} // namespace lumivert::testing
