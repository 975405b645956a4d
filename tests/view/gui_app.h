#pragma once
#include <QByteArray>
#include <QGuiApplication>

// Fonts and text drawing need a running GUI application; the test program's
// main comes from GoogleTest, so the first test that draws text makes one.
// Tests never need a display: without a platform chosen, use the offscreen one.
inline void ensure_gui_application() {
    if (QGuiApplication::instance() != nullptr) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    static int argc = 1;
    static char name[] = "view_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
}
