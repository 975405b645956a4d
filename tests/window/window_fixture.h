#pragma once
// Shared set-up for the window tests: one QApplication for the program,
// scratch folders, pictures written to disk, and a window whose dialogs are
// answered by the test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <memory>
#include <vector>

#include "selection_image.h"

inline QApplication& test_app() {
    static int argc = 1;
    static char name[] = "window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("selection_image"));
        return a;
    }();
    return *app;
}

// What the window asked and said through its dialogs.
struct DialogLog {
    std::vector<QString> messages;
    struct OpenCall {
        QString title, folder, filter, default_name;
    };
    std::vector<OpenCall> open_calls;
    // Answers given to the open-file dialog, in order; empty = cancel.
    std::vector<QString> answers;
};

inline WindowDialogs scripted_dialogs(std::shared_ptr<DialogLog> log) {
    WindowDialogs d;
    d.inform = [log](QWidget*, const QString& text, QMessageBox::Icon) { log->messages.push_back(text); };
    d.ask = [](QWidget*, const QString&, QMessageBox::StandardButtons, QMessageBox::Icon) {
        return QMessageBox::Cancel;
    };
    d.open_file = [log](QWidget*, const QString& title, const QString& folder, const QString& filter,
                        const QString& default_name) {
        log->open_calls.push_back({title, folder, filter, default_name});
        if (log->answers.empty()) return QString();
        QString a = log->answers.front();
        log->answers.erase(log->answers.begin());
        return a;
    };
    return d;
}

// A picture whose left half is one colour and right half another, with a
// distinct top band, so that the view's orientation and scale show.
inline QImage two_tone(int w, int h, QRgb left, QRgb right) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) row[x] = x < w / 2 ? left : right;
    }
    return img;
}

inline QImage uniform(int w, int h, QRgb c) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

inline QByteArray file_bytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

inline bool write_bytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(bytes) == bytes.size();
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        test_app();
        ASSERT_TRUE(dir.isValid());
        program_folder = dir.filePath(QStringLiteral("program"));
        QDir().mkpath(program_folder);
        log = std::make_shared<DialogLog>();
    }

    QString path(const QString& name) const { return dir.filePath(name); }

    QString save(const QImage& img, const QString& name, const char* format = nullptr) {
        const QString p = path(name);
        EXPECT_TRUE(img.save(p, format)) << p.toStdString();
        return p;
    }

    std::unique_ptr<selection_image> open_window(const QString& argument_string) {
        auto w = std::make_unique<selection_image>(argument_string, program_folder, scripted_dialogs(log));
        return w;
    }

    // Shows the window and waits until it has been laid out and painted.
    static void show(selection_image& w) {
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        QApplication::processEvents();
    }

    // The window's pixel at a point given in twips, as seen on screen.
    static QRgb screen_pixel(selection_image& w, long x_twips, long y_twips) {
        const QImage shot = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
        return shot.pixel(static_cast<int>(x_twips / 15), static_cast<int>(y_twips / 15));
    }

    static QRgb view_centre(selection_image& w) {
        return screen_pixel(w, w.view_left + w.view_width / 2, w.view_top + w.view_height / 2);
    }

    QTemporaryDir dir;
    QString program_folder;
    std::shared_ptr<DialogLog> log;
};
