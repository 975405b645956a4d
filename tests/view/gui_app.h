#pragma once
#include <QGuiApplication>

// Fonts and text drawing need a running GUI application; the test program's
// main comes from GoogleTest, so the first test that draws text makes one.
inline void ensure_gui_application() {
    if (QGuiApplication::instance() != nullptr) return;
    static int argc = 1;
    static char name[] = "view_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}
