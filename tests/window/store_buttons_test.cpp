// "Enregistrer", "Supprimer", "Coller" and "Imprimer" as the user reaches
// them: a click on the real button, the questions answered by the test.
#include "window_fixture.h"

#include <QClipboard>
#include <QMimeData>
#include <cstdlib>

#include "picture_loader.h"

namespace {

class StoreButtons : public WindowTest {
protected:
    std::unique_ptr<selection_image> w;
    QString record;
    QMessageBox::StandardButton answer = QMessageBox::Cancel;
    std::vector<QString> questions;

    void SetUp() override {
        WindowTest::SetUp();
        record = save(two_tone(64, 48, qRgb(20, 120, 220), qRgb(200, 60, 10)), "record.jpg", "JPG");
        w = open_window(record);
        w->dialogs.ask = [this](QWidget*, const QString& text, QMessageBox::StandardButtons, QMessageBox::Icon) {
            questions.push_back(text);
            return answer;
        };
        show(*w);
    }
    QImage record_picture() const { return sources::load_picture(record, nullptr); }
};

TEST_F(StoreButtons, SaveAsksThenStoresTheAdjustedPicture) {
    const QByteArray before = file_bytes(record);
    w->cmd_invert->click();  // an adjustment, so the stored picture differs
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(file_bytes(record), before);  // Cancel: nothing written

    answer = QMessageBox::Ok;
    QTest::mouseClick(w->cmdSave, Qt::LeftButton);
    const QImage stored = record_picture();
    ASSERT_EQ(stored.size(), QSize(64, 48));
    const QRgb shown = w->PBox.image.pixel(5, 5);
    EXPECT_NEAR(qRed(stored.pixel(5, 5)), qRed(shown), 12);
    EXPECT_NEAR(qBlue(stored.pixel(5, 5)), qBlue(shown), 12);
    EXPECT_TRUE(log->messages.empty());
}

TEST_F(StoreButtons, DeleteNoKeepsEverythingYesRemovesTheFileAndCloses) {
    QTest::mouseClick(w->supp_image, Qt::LeftButton);
    EXPECT_TRUE(QFile::exists(record));
    EXPECT_TRUE(w->isVisible());
    answer = QMessageBox::Yes;
    QTest::mouseClick(w->supp_image, Qt::LeftButton);
    EXPECT_FALSE(QFile::exists(record));
    EXPECT_FALSE(w->isVisible());
}

TEST_F(StoreButtons, PasteShowsAndStoresTheClipboardPicture) {
    QApplication::clipboard()->setImage(uniform(30, 20, qRgb(0, 200, 0)));
    QTest::mouseClick(w->Cmd_paste, Qt::LeftButton);
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(w->PBox.image.size(), QSize(30, 20));
    EXPECT_EQ(record_picture().size(), QSize(30, 20));
    EXPECT_NEAR(qGreen(view_centre(*w)), 200, 8);

    QApplication::clipboard()->setText(QStringLiteral("texte"));
    QTest::mouseClick(w->Cmd_paste, Qt::LeftButton);
    ASSERT_EQ(log->messages.size(), 1u);
    EXPECT_EQ(log->messages[0], QStringLiteral("Il n'y pas d'image dans le presse-papier"));
    EXPECT_EQ(record_picture().size(), QSize(30, 20));
}

TEST_F(StoreButtons, PrintWithoutAnyPrinterSaysSoAndDoesNotRepaint) {
    // A print system that cannot be reached: there is no default printer.
    setenv("CUPS_SERVER", dir.filePath("no-such-socket").toLocal8Bit().constData(), 1);
    const auto paints = w->paint_runs();
    QTest::mouseClick(w->Cmd_print, Qt::LeftButton);
    unsetenv("CUPS_SERVER");
    ASSERT_EQ(log->messages.size(), 1u);
    EXPECT_EQ(log->messages[0], QStringLiteral("Aucune imprimante par défaut"));
    EXPECT_EQ(w->paint_runs(), paints);
}

}  // namespace
