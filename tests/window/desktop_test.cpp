// What a user of today's desktop expects of the window beyond its own controls:
// French standard buttons, the keyboard, the wheel, a dropped file, a clean and
// sharp view, and an operation that runs out of memory.
#include <sys/resource.h>
#include <unistd.h>

#include <QClipboard>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <fstream>

#include "window_fixture.h"

namespace {

TEST_F(WindowTest, QuestionsHaveFrenchButtonsAndSpaceOrEnterPressTheFocusedOne) {
    QStringList seen;
    QTimer poll;
    poll.callOnTimeout([&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            for (QAbstractButton* b : box->buttons()) seen << b->text().remove('&');
            QTest::keyClick(box, Qt::Key_Escape);
        }
    });
    poll.start(5);
    for (QPushButton* b : {button("cmdSave"), button("supp_image")}) b->setFocus(), QTest::keyClick(b, Qt::Key_Space);
    seen.sort();
    EXPECT_EQ(seen, QStringList({"Annuler", "Non", "OK", "Oui"}));
    w->activateWindow();  // the boxes took the focus with them
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    for (auto [button, key] :
         {std::pair(button("cmd_invert"), Qt::Key_Space), std::pair(button("test_angle"), Qt::Key_Return),
          std::pair(button("test_long"), Qt::Key_Enter)}) {
        button->setFocus(), QTest::keyClick(button, key);
        EXPECT_TRUE(button->isChecked()) << button->text().toStdString();
    }
    EXPECT_NEAR(qGreen(d->picture().pixel(500, 300)), 255 - qGreen(blocks().pixel(500, 300)), 2);  // "Negatif"
}

// A record that cannot be deleted (here a folder, which even root cannot
// unlink) says so before the window closes; a missing one is deleted already.
TEST_F(WindowTest, DeleteThatFailsSaysWhyAndTheWindowClosesAsBefore) {
    for (const bool folder : {true, false}) {
        const QString gone = path(folder ? "folder.jpg" : "missing.jpg");
        QDir().mkpath(gone + "/inside");
        if (!folder) QDir(gone).removeRecursively();
        app::selection_image fresh(gone, path("program"), dialogs());
        fresh.show();
        QTimer yes;
        yes.callOnTimeout([] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                QTest::keyClick(box, Qt::Key_Return);
        });
        yes.start(5);
        messages.clear();
        QTest::mouseClick(app::WindowDriver(fresh).control<QPushButton>("supp_image"), Qt::LeftButton);
        EXPECT_FALSE(fresh.isVisible());
        EXPECT_EQ(messages, folder ? std::vector<QString>{"error_delete_pic: " + gone + " : Is a directory"}
                                   : std::vector<QString>{});
    }
}

// The open-file dialog leaves nothing in the user's configuration.
TEST_F(WindowTest, OpenDialogWritesNoConfiguration) {
    QTimer answer;
    answer.callOnTimeout([] {
        if (auto* dialog = QApplication::activeModalWidget()) QTest::keyClick(dialog, Qt::Key_Escape);
    });
    answer.start(20);
    EXPECT_EQ(app::system_dialogs().open_file(w.get(), "Selection image", dir->path(), "Tous|*.*", ""), "");
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    EXPECT_TRUE(config.startsWith(TEST_RUNTIME_DIR) && !QDir(config).exists()) << qPrintable(config);
}

// A picture point under the pointer stays under it while the wheel zooms.
TEST_F(WindowTest, WheelZoomsAboutThePointerAndShiftPans) {
    auto wheel = [](QPointF at, int delta, Qt::KeyboardModifiers mods = {}, QWidget* to = w.get()) {
        QWheelEvent e(at, to->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, mods, Qt::NoScrollPhase, false);
        QApplication::sendEvent(to, &e);
    };
    const QPointF at(300, 200);
    auto picture_x = [&] {
        return d->view().offset_x +
               (at.x() * 15 - d->view().rect.left) * 18000.0 / d->view().zoom / d->view().rect.width;
    };
    const double before = picture_x();
    wheel(at, 240);
    EXPECT_EQ(d->control<QLabel>("Lb_zoom")->text(), "+/- 140%");
    EXPECT_NEAR(picture_x(), before, 1.0);
    const long x = d->view().offset_x, y = d->view().offset_y;
    wheel(at, -120, Qt::ShiftModifier);
    EXPECT_EQ(d->view().offset_x, x + 200);
    // Over a bar, a notch (here in high-resolution steps) moves the view as far as an arrow key.
    for (const char* name : {"HScrollBar", "VScrollBar"})
        for (int step = 0; step < 4; ++step) wheel({5, 5}, -30, {}, bar(name));
    EXPECT_EQ(std::make_pair(d->view().offset_x, d->view().offset_y), std::make_pair(x + 400, y + 200));
    wheel(at, -600);
    EXPECT_EQ(d->control<QLabel>("Lb_zoom")->text(), "+/- 100%");
    expect_view_shows(blocks(), 1.0);
}

// One picture file dropped is opened as the dialog's choice; anything else is not taken.
TEST_F(WindowTest, DroppedPictureFileBecomesTheRecord) {
    QImage ramp(1000, 500, QImage::Format_Grayscale16);  // a radiograph's 16 bits, levels 3000..6996
    for (int y = 0; y < ramp.height(); ++y)
        for (int x = 0; x < ramp.width(); ++x) reinterpret_cast<quint16*>(ramp.scanLine(y))[x] = 3000 + 4 * x;
    ASSERT_TRUE(ramp.save(path("ramp.png")) && write_bytes(path("text.jpg"), "pas une image"));
    const QList<QUrl> ramp_url{QUrl::fromLocalFile(path("ramp.png"))};
    struct Row {
        QList<QUrl> urls;
        QString text;
        int messages;
        bool taken;
    };
    for (const Row& r : {Row{{QUrl::fromLocalFile(path("text.jpg"))}, {}, 1, false},
                         Row{ramp_url + ramp_url, {}, 0, false}, Row{{QUrl::fromLocalFile(path("rec"))}, {}, 0, false},
                         Row{{}, "ramp.png", 0, false}, Row{ramp_url, {}, 0, true}}) {
        QMimeData data;
        messages.clear();
        if (!r.urls.isEmpty()) data.setUrls(r.urls);
        if (!r.text.isEmpty()) data.setText(r.text);
        QDragEnterEvent enter(QPoint(200, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.get(), &enter);  // a drop only follows an accepted entry
        EXPECT_EQ(enter.isAccepted(), r.messages || r.taken);
        QDropEvent drop(QPointF(200, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.get(), &drop);
        EXPECT_EQ(messages.size(), std::size_t(r.messages)) << r.urls.size();
        // A PNG becomes the record as the JPEG of the picture shown.
        EXPECT_EQ(file_bytes(record), r.taken ? reference_jpeg(d->picture()) : record_bytes);
    }
    const QImage& shown = d->picture();
    EXPECT_EQ(std::make_tuple(shown.width(), qGray(shown.pixel(0, 9)), qGray(shown.pixel(999, 9))),
              std::make_tuple(1000, 0, 255));
}

// A narrower picture leaves only background beside its view, and a picture
// magnified shows its pixels as sharp blocks (here only black and white).
TEST_F(WindowTest, NewNarrowerPictureLeavesNoOldPixelsAndMagnifiedPixelsStaySharp) {
    QImage board(24, 150, QImage::Format_RGB32);
    for (int y = 0; y < board.height(); ++y)
        for (int x = 0; x < board.width(); ++x) board.setPixel(x, y, (x + y) % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    ASSERT_TRUE(board.save(path("board.bmp")) && d->load_image(path("board.bmp")));
    const QImage shot = screenshot();
    const QRect view(d->view().rect.left / 15, d->view().rect.top / 15, d->view().rect.width / 15,
                     d->view().rect.height / 15);
    for (int y = view.top() + 1; y < view.bottom(); ++y) {
        for (int x = view.right() + 25; x < 480; ++x) ASSERT_EQ(shot.pixel(x, y), qRgb(192, 192, 255)) << x << "," << y;
        for (int x = view.left() + 1; x < view.right() && y > view.top() + 22; ++x)
            ASSERT_TRUE(shot.pixel(x, y) == qRgb(0, 0, 0) || shot.pixel(x, y) == qRgb(255, 255, 255)) << x << "," << y;
    }
}

// Out of memory, an adjustment, "Net" or a new picture ends with a message;
// the picture and the filter stay as they were, the controls show the
// settings of the picture shown, and the next adjustment works.
TEST_F(WindowTest, OutOfMemoryEndsWithAMessageAndTheWindowGoesOn) {
    QImage big(6000, 4000, QImage::Format_RGB32), pasted(3000, 2000, QImage::Format_RGB32);
    big.fill(qRgb(90, 90, 90)), pasted.fill(qRgb(10, 200, 10));
    ASSERT_TRUE(big.save(path("big.jpg"), "JPG") && d->load_image(path("big.jpg")));
    QGuiApplication::clipboard()->setImage(pasted);  // its pixels are the clipboard's: taking them needs a copy
    rlimit old{};
    getrlimit(RLIMIT_AS, &old);
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit capped{static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (16 << 20), old.rlim_max};
    const QImage shown = d->picture();
    ASSERT_EQ(setrlimit(RLIMIT_AS, &capped), 0);
    bar("scrollLight")->setValue(20);
    QTest::mouseClick(button("cmd_invert"), Qt::LeftButton);
    QTest::mouseClick(button("Cmd_deconvolution"), Qt::LeftButton);
    QTest::mouseClick(button("Cmd_paste"), Qt::LeftButton);
    setrlimit(RLIMIT_AS, &old);
    const std::vector<QString> said(3, "Mémoire insuffisante");
    EXPECT_EQ(messages, (std::vector<QString>{said[0], said[0], said[0], "error_load_pic: mémoire insuffisante"}));
    EXPECT_TRUE(d->picture() == shown);
    EXPECT_EQ(std::make_pair(d->filter().width(), d->filter().height()), std::make_pair(6000, 4000));
    EXPECT_EQ(bar("scrollLight")->value(), 0);
    EXPECT_FALSE(button("cmd_invert")->isChecked());
    bar("scrollLight")->setValue(30);
    EXPECT_EQ(messages.size(), 4u);
    EXPECT_GT(qGray(d->picture().pixel(3000, 2000)), 100);
}

}  // namespace
