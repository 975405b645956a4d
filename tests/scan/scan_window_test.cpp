// "Acquerir scan" and "TWAIN" clicked in the real window (through the buttons
// themselves, and unshown: this program's application is destroyed at exit,
// after the input devices a shown window would bring).
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include "picture_loader.h"
#include "sane_library.h"
#include "sane_twain.h"
#include "scan_test_support.h"
#include "selection_image.h"

using namespace scan_test;

namespace {

WindowDialogs recording_dialogs(QStringList* messages) {
    WindowDialogs d;
    d.inform = [messages](QWidget*, const QString& text, QMessageBox::Icon) { *messages << text; };
    d.ask = [](QWidget*, const QString&, QMessageBox::StandardButtons, QMessageBox::Icon) {
        return QMessageBox::Cancel;
    };
    d.open_file = [](QWidget*, const QString&, const QString&, const QString&, const QString&) { return QString(); };
    return d;
}

class ScanWindow : public ::testing::Test {
protected:
    void SetUp() override {
        fresh_scanner_session({{"mode", "Color"}, {"test-picture", "Color pattern"}});
        ASSERT_TRUE(dir.isValid());
    }
    void TearDown() override { twain_set_scan_options({}); }
    QTemporaryDir dir;
    QStringList messages;
};

TEST_F(ScanWindow, FirstScanOfAnEmptyWindowCreatesTheFilterAndIsShown) {
    // No command line: the record is the default name in the program's folder.
    selection_image w(QString(), dir.path(), recording_dialogs(&messages));
    ASSERT_FALSE(w.filter);
    const auto paints = w.paint_runs();
    ModalDriver unexpected;
    w.TWAIN_acquire->click();
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    ASSERT_TRUE(w.filter);
    EXPECT_TRUE(w.filter->initialized);
    EXPECT_EQ(w.PBox.image.size(), QSize(157, 196));
    EXPECT_EQ(sources::load_picture(w.record_file(), nullptr).size(), QSize(157, 196));
    EXPECT_GT(w.paint_runs(), paints);  // the scan is shown at once
}

TEST_F(ScanWindow, UnloadableLibraryIsReportedByBothButtons) {
    sources::set_sane_library_name(QStringLiteral("libsane-that-does-not-exist.so.1"));
    selection_image w(QString(), dir.path(), recording_dialogs(&messages));
    w.TWAIN_src->click();
    w.TWAIN_acquire->click();
    sources::set_sane_library_name(QStringLiteral("libsane.so.1"));
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("err_twain_select: libsane-that-does-not-exist")))
        << messages[0].toStdString();
    EXPECT_TRUE(messages[1].startsWith(QStringLiteral("erreur inconnue lors du scan: libsane-that-does-not-exist")))
        << messages[1].toStdString();
    EXPECT_FALSE(w.filter);
}

}  // namespace
