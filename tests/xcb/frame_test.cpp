// The window as a desktop shows it: a real X server, a window manager that
// frames the window after Qt has shown it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include "selection_image.h"
#include "window_driver.h"

namespace {

QImage on_screen(const QWidget& w) {
    QApplication::processEvents();
    return w.screen()->grabWindow(w.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// The first frame is laid out for the frame the window manager gave, as any
// later paint is: a key that changes nothing then changes nothing on screen,
// and the first wheel notch zooms about the point under the pointer.
TEST(WindowManager, FirstFrameIsLaidOutWithTheWindowsFrame) {
    static int argc = 1;
    static char name[] = "xcb_tests", *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString record = dir.filePath("1.jpg");
    ASSERT_TRUE(QFile::copy(SAMPLES_DIR "/radiograph.jpg", record));
    app::WindowDialogs quiet;
    app::selection_image w(record, dir.path(), quiet);
    app::WindowDriver d(w);
    view::ViewRect first;
    QSize frame;
    w.first_frame_shown = [&] { first = d.view().rect, frame = w.frameGeometry().size(); };
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTRY_VERIFY(frame.isValid());
    QTest::qWait(200);  // whatever the window manager still has to say
    ASSERT_GT(frame.height(), w.height()) << "no frame: is a window manager running?";
    const QImage before = on_screen(w);
    QLabel* zoom = d.control<QLabel>("Lb_zoom");            // a control that does nothing with the key
    zoom->setFocus(), QTest::keyClick(zoom, Qt::Key_Left);  // at the left edge already
    const view::ViewRect after = d.view().rect;
    EXPECT_EQ(std::vector<long>({first.left, first.top, first.width, first.height}),
              std::vector<long>({after.left, after.top, after.width, after.height}));
    EXPECT_TRUE(on_screen(w) == before);
}

}  // namespace
