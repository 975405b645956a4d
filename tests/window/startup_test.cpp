// Start-up from the host's command line: the record's folder and name, the
// open-file dialog's folder, what a new window shows or asks first, and its
// buttons' captions and sliders' ranges.
#include "window_fixture.h"

namespace {

struct Start {
    const char* args;    // %D the scratch folder, %P the program's folder
    const char* answer;  // to the open-file dialog
    const char *folder, *name, *load_path;
    int dialogs, messages, width;  // of the picture shown, 0 for none
};

struct Control {
    const char* name;
    const char* caption;  // a button's; "" for a slider or a bar
    bool toggle;
    int left, top, width, height;                             // twips, once the window has loaded
    int minimum = 0, maximum = 0, start = 0, large_step = 0;  // a slider's or bar's
};

// The design, in tab order (the picture holder, index 6, is no control).
const Control kDesign[] = {
    {"select_image", "Ouvrir fichier", false, 120, 60, 1095, 255},
    {"TWAIN_acquire", "Acquerir scan", false, 1200, 60, 1215, 255},
    {"TWAIN_src", "TWAIN", false, 6960, 60, 855, 255},
    {"supp_image", "Supprimer", false, 4800, 60, 975, 255},
    {"id_animal", "", false, 4440, 1320, 615, 285},
    {"id_image", "", false, 3600, 1320, 735, 285},
    {"scrollContrast", "", false, 480, 360, 1215, 225, -50, 50, 0, 1},
    {"scrollLight", "", false, 2160, 360, 1215, 225, -50, 50, 0, 1},
    {"scrollGamma", "", false, 480, 600, 1215, 225, 1, 254, 127, 1},
    {"scrollColor", "", false, 2160, 600, 1215, 225, 0, 20, 0, 1},
    {"cmdReset", "Reset", false, 3480, 600, 855, 255},
    {"cmdSave", "Enregistrer", false, 3720, 60, 975, 255},
    {"test_angle", "Angle A^B", true, 4920, 360, 975, 255},
    {"test_long", "Proportion", true, 4920, 600, 975, 255},
    {"Cmd_paste", "Coller", false, 2400, 60, 1215, 255},
    {"cmd_invert", "Negatif", true, 3480, 360, 855, 255},
    {"Cmd_print", "Imprimer", false, 6000, 60, 855, 255},
    {"Cmd_deconvolution", "Net", false, 4440, 360, 375, 255},
    {"Lb_zoom", "", false, 6000, 360, 855, 255},
    {"HScrollBar", "", false, 240, 5520, 3855, 255, 0, 1000, 0, 100},
    {"VScrollBar", "", false, 7320, 2520, 255, 2175, 0, 1000, 0, 100},
};

// A new window's controls as designed: captions, places, ranges, and the
// order Tab visits them in; no button is a default one.
TEST_F(WindowTest, ControlsStandWhereTheDesignPutsThemInItsTabOrder) {
    app::selection_image fresh(";", path("program"), dialogs());
    QStringList design, chain;
    for (const Control& c : kDesign) design << c.name;
    for (QWidget* w = fresh.findChild<QWidget*>(kDesign[0].name); chain.size() < design.size();
         w = w->nextInFocusChain())
        if (design.contains(w->objectName())) chain << w->objectName();
    EXPECT_EQ(chain, design) << "the focus chain";
    for (const Control& c : kDesign) {
        SCOPED_TRACE(c.name);
        auto* control = fresh.findChild<QWidget*>(c.name);
        ASSERT_TRUE(control);
        const QRect g = control->geometry();
        EXPECT_EQ(QRect(g.x() * 15, g.y() * 15, g.width() * 15, g.height() * 15),
                  QRect(c.left, c.top, c.width, c.height));
        if (auto* b = qobject_cast<QPushButton*>(control)) {
            EXPECT_EQ(std::make_tuple(b->text(), b->isCheckable(), b->isChecked(), b->autoDefault(), b->isDefault()),
                      std::make_tuple(QString(c.caption), c.toggle, false, false, false));
        } else if (auto* s = qobject_cast<QScrollBar*>(control)) {
            // One step per arrow, no change while dragged; sliders are horizontal.
            EXPECT_EQ(std::vector<int>({s->minimum(), s->maximum(), s->value(), s->singleStep(), s->pageStep(),
                                        s->hasTracking(), s->orientation() == Qt::Vertical}),
                      std::vector<int>(
                          {c.minimum, c.maximum, c.start, 1, c.large_step, false, QString(c.name) == "VScrollBar"}));
        }
    }
}

class Startup : public WindowTest, public ::testing::WithParamInterface<Start> {
protected:
    void SetUp() override {
        QDir().mkpath(path("img")), QImage(120, 60, QImage::Format_RGB32).save(path("img/123.jpg"), "PNG");
        QFile::remove(path("img/555.jpg")), QImage(50, 40, QImage::Format_RGB32).save(path("chosen.png"), "PNG");
        ASSERT_TRUE(write_bytes(path("broken.jpg"), "not a picture"));
    }
    static QString at(const char* text) {
        return QString::fromUtf8(text).replace("%D", dir->path()).replace("%P", path("program"));
    }
};

TEST_P(Startup, SplitsTheCommandLineAndShowsOrAsksForThePicture) {
    const Start c = GetParam();
    const QString file = at(c.args).section(';', 0, 0);
    const QByteArray before = file_bytes(file);
    messages.clear(), opened.clear(), answers = {at(c.answer)};
    app::selection_image fresh(at(c.args), path("program"), dialogs());
    app::WindowDriver fresh_drive(fresh);
    EXPECT_EQ(QStringList({fresh.image_path, fresh.image_filename, fresh.load_path}),
              QStringList({at(c.folder), at(c.name), at(c.load_path)}));
    // That first dialog comes before the folder field is read.
    EXPECT_EQ(opened, std::vector<QStringList>(
                          c.dialogs, {"Selection image", "", "JPEG|*.jpg|Bitmap|*.BMP|DICOM|*.dcm|Tous|*.*", ""}));
    ASSERT_EQ(messages.size(), std::size_t(c.messages));
    for (const QString& m : messages) EXPECT_TRUE(m.startsWith("error_load_pic: ") && m.size() > 20) << m.toStdString();
    EXPECT_EQ(fresh_drive.picture().width(), c.width);
    // The chosen PNG is stored as the record's JPEG.
    EXPECT_EQ(file_bytes(file), *c.answer && !c.messages ? reference_jpeg(fresh_drive.picture()) : before);
    // Without a picture the adjustments and "Net" change nothing.
    fresh_drive.control<QPushButton>("Cmd_deconvolution")->click(),
        fresh_drive.control<QPushButton>("cmd_invert")->click(), fresh_drive.control<QPushButton>("cmdReset")->click();
    EXPECT_EQ(fresh_drive.pipeline_runs(), c.width ? 2u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, Startup,
    ::testing::Values(Start{"", "", "%P/", "9999999.jpg", "%P", 0, 0, 0},
                      Start{"%D/img/123.jpg", "", "%D/img/", "123.jpg", "%P", 0, 0, 120},
                      Start{"%D/img/123.jpg;%D/photos;%D/x;y", "", "%D/img/", "123.jpg", "%D/photos", 0, 0, 120},
                      Start{";%D/photos", "", "%P/", "9999999.jpg", "%D/photos", 0, 0, 0},
                      Start{"%D/img/555.jpg;%D/photos", "%D/chosen.png", "%D/img/", "555.jpg", "%D/photos", 1, 0, 50},
                      Start{"%D/img/777.jpg", "", "%D/img/", "777.jpg", "%P", 1, 0, 0},
                      Start{"%D/broken.jpg", "", "%D/", "broken.jpg", "%P", 0, 1, 0},
                      Start{"%D/no/such/1.jpg", "%D/chosen.png", "%D/no/such/", "1.jpg", "%P", 1, 2, 0}));

}  // namespace
