#pragma once
// One window for the whole program, reset between cases, whose record holds
// a picture of coloured blocks; the test answers its open-file dialogs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <cmath>

#include "french_texts.h"
#include "picture_helpers.h"
#include "selection_image.h"
#include "test_files.h"
#include "viewport.h"
#include "window_driver.h"

// 16 x 8 blocks of 75 pixels, each its own colour.
inline const QImage& blocks() {
    static const QImage img = [] {
        QImage b(1200, 600, QImage::Format_RGB32);
        for (int i = 0; i < 1200 * 600; ++i)
            b.setPixel(i % 1200, i / 1200, qRgb(i % 1200 / 75 * 16, 40 + i / 90000 * 25, 32 + i / 90000 * 9));
        return b;
    }();
    return img;
}

class WindowTest : public ::testing::Test {
protected:
    static inline std::unique_ptr<QTemporaryDir> dir;
    static inline std::unique_ptr<app::selection_image> w;
    static inline std::unique_ptr<app::WindowDriver> d;
    static inline QString record;
    static inline QByteArray record_bytes;  // the blocks as a bitmap under the .jpg name: quick to read
    // Messages shown, open-file dialogs shown (title, folder, filter, name) and their answers.
    static inline std::vector<QString> messages;
    static inline std::vector<QStringList> opened;
    static inline QStringList answers;

    static QString path(const QString& name) { return dir->filePath(name); }
    static QPushButton* button(const char* name) { return d->control<QPushButton>(name); }
    static QScrollBar* bar(const char* name) { return d->control<QScrollBar>(name); }

    static app::WindowDialogs dialogs() {
        app::WindowDialogs d = app::system_dialogs();
        d.inform = [](QWidget*, const QString& text, QMessageBox::Icon) { messages.push_back(text); };
        d.open_file = [](QWidget*, const QString& title, const QString& folder, const QString& filter,
                         const QString& name) {
            opened.push_back({title, folder, filter, name});
            return answers.isEmpty() ? QString() : answers.takeFirst();
        };
        return d;
    }

    static void SetUpTestSuite() {
        if (w) return;
        static int argc = 1;
        static char* argv[] = {const_cast<char*>("window_tests"), nullptr};
        app::install_french_texts(*new QApplication(argc, argv));
        dir = std::make_unique<QTemporaryDir>();
        record = path("rec/100.jpg");
        QDir().mkpath(path("rec")), blocks().save(record, "BMP"), record_bytes = file_bytes(record);
        w = std::make_unique<app::selection_image>(record + ";" + path("start"), dir->path(), dialogs());
        d = std::make_unique<app::WindowDriver>(*w);
    }

    // Back to the start: design size, zoom 1, offsets 0, controls at rest,
    // the record's blocks freshly on disk and on screen.
    void SetUp() override {
        w->resize(528, 405), d->set_zoom(1.0);
        for (QPushButton* b : {button("cmd_invert"), button("test_angle"), button("test_long")}) b->setChecked(false);
        bar("scrollContrast")->setValue(0), bar("scrollLight")->setValue(0), bar("scrollColor")->setValue(0);
        bar("scrollGamma")->setValue(127), bar("HScrollBar")->setValue(0), bar("VScrollBar")->setValue(0);
        ASSERT_TRUE(write_bytes(record, record_bytes) && d->load_image(record));
        messages.clear(), opened.clear(), answers.clear();
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }

    // What the screen holds (not a fresh rendering of the window).
    static QImage screenshot() {
        QApplication::processEvents();
        return w->screen()->grabWindow(w->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    }

    // The view shows `want` (1200 x 600, in 75-pixel blocks) at zoom z and the offsets: its
    // rectangle and the bars' ranges are the layout's for the window's outer size, and samples
    // well inside a block show the block's colour.
    static void expect_view_shows(const QImage& want, double z) {
        const double pw = want.width() * 15.0, ph = want.height() * 15.0;
        const QSize outer = w->frameGeometry().size() * 15;
        const view::ViewportLayout l =
            view::layout_viewport({double(outer.width()), double(outer.height()), 120, 960, 255, 255, pw, ph, z});
        const long vw = l.view_width, vh = l.view_height;
        const view::ViewRect r = d->view().rect;
        ASSERT_EQ(std::vector<long>({r.left, r.top, r.width, r.height}), std::vector<long>({120, 960, vw, vh}));
        const QScrollBar *h = bar("HScrollBar"), *v = bar("VScrollBar");
        EXPECT_EQ(std::vector<long>({h->maximum(), h->pageStep(), v->maximum(), v->pageStep()}),
                  std::vector<long>({l.hbar_maximum, l.hbar_large_step, l.vbar_maximum, l.vbar_large_step}));
        const QImage shot = screenshot();
        EXPECT_EQ(shot.pixel(shot.width() - 2, shot.height() - 2), qRgb(192, 192, 255));  // beyond the bars
        const double sx = pw / z / vw, sy = ph / z / vh;  // picture pixels per screen pixel
        const int m = static_cast<int>(2 * std::max(sx, sy)) + 3, n = 23;
        int checked = 0;
        for (int i = 0; i < n * n; ++i) {
            const int x = 9 + int((vw / 15.0 - 2) * (i % n + 0.5) / n),
                      y = 65 + int((vh / 15.0 - 2) * (i / n + 0.5) / n);
            const QPoint p(int(d->view().offset_x / 15.0 + (x - 7.5) * sx),
                           int(d->view().offset_y / 15.0 + (y - 63.5) * sy));
            // Away from the blocks' edges, the calibration rows and the file name.
            if ((p.x() - m) / 75 != (p.x() + m) / 75 || (p.y() - m) / 75 != (p.y() + m) / 75 ||
                p.y() + m >= want.height() - 13 || (x < 148 && y < 86))
                continue;
            const QRgb got = shot.pixel(x, y), exp = want.pixel(p);
            const int off =
                std::max({abs(qRed(got) - qRed(exp)), abs(qGreen(got) - qGreen(exp)), abs(qBlue(got) - qBlue(exp))});
            EXPECT_LE(off, 2) << "screen " << x << "," << y << " picture " << p.x() << "," << p.y();
            ++checked;
        }
        EXPECT_GT(checked, 60);
    }

public:
    static void close_window() { d.reset(), w.reset(); }
};

// The window closes while Qt is whole, not among the program's last statics.
inline ::testing::Environment* const kCloseWindow = ::testing::AddGlobalTestEnvironment([] {
    struct Close : ::testing::Environment {
        void TearDown() override { WindowTest::close_window(); }
    };
    return new Close;
}());
