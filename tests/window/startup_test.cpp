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
    const char* caption;  // a button's; "" for a slider
    bool toggle;
    int minimum = 0, maximum = 0, start = 0;  // a slider's
};

const Control kDesign[] = {
    {"select_image", "Ouvrir fichier", false},
    {"TWAIN_acquire", "Acquerir scan", false},
    {"TWAIN_src", "TWAIN", false},
    {"supp_image", "Supprimer", false},
    {"cmdReset", "Reset", false},
    {"cmdSave", "Enregistrer", false},
    {"test_angle", "Angle A^B", true},
    {"test_long", "Proportion", true},
    {"Cmd_paste", "Coller", false},
    {"cmd_invert", "Negatif", true},
    {"Cmd_print", "Imprimer", false},
    {"Cmd_deconvolution", "Net", false},
    {"scrollContrast", "", false, -50, 50, 0},
    {"scrollLight", "", false, -50, 50, 0},
    {"scrollGamma", "", false, 1, 254, 127},
    {"scrollColor", "", false, 0, 20, 0},
};

class Startup : public WindowTest, public ::testing::WithParamInterface<Start> {
protected:
    void SetUp() override {
        QDir().mkpath(path("img")), QImage(120, 60, QImage::Format_RGB32).save(path("img/123.jpg"), "PNG");
        QFile::remove(path("img/555.jpg")),
            QImage(50, 40, QImage::Format_RGB32).save(path("chosen.png"), "PNG");
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
    for (const Control& d : kDesign) {
        auto* b = fresh.findChild<QPushButton*>(d.name);
        auto* s = fresh.findChild<QScrollBar*>(d.name);
        ASSERT_TRUE(b || s) << d.name;
        EXPECT_EQ(b ? std::make_tuple(b->text(), b->isCheckable(), b->isChecked())
                    : std::make_tuple(QString(), false, false),
                  std::make_tuple(QString(d.caption), d.toggle, false))
            << d.name;
        if (!s) continue;  // horizontal, one step per arrow or page click, no change while dragged
        EXPECT_EQ(std::vector<int>({s->orientation(), s->minimum(), s->maximum(), s->value(), s->singleStep(),
                                    s->pageStep(), s->hasTracking()}),
                  std::vector<int>({Qt::Horizontal, d.minimum, d.maximum, d.start, 1, 1, false}))
            << d.name;
    }
    EXPECT_EQ(QStringList({fresh.image_path, fresh.image_filename, fresh.load_path}),
              QStringList({at(c.folder), at(c.name), at(c.load_path)}));
    // That first dialog comes before the folder field is read.
    EXPECT_EQ(opened, std::vector<QStringList>(
                          c.dialogs, {"Selection image", "", "JPEG|*.jpg|Bitmap|*.BMP|Tous|*.*", ""}));
    ASSERT_EQ(messages.size(), std::size_t(c.messages));
    for (const QString& m : messages)
        EXPECT_TRUE(m.startsWith("error_load_pic: ") && m.size() > 20) << m.toStdString();
    EXPECT_EQ(fresh.PBox.image.width(), c.width);
    EXPECT_EQ(file_bytes(file), *c.answer && !c.messages ? file_bytes(at(c.answer)) : before);
    // Without a picture the adjustments and "Net" change nothing.
    fresh.Cmd_deconvolution->click(), fresh.cmd_invert->click(), fresh.cmdReset->click();
    EXPECT_EQ(fresh.pipeline_runs(), c.width ? 2u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, Startup,
    ::testing::Values(
        Start{"", "", "%P/", "9999999.jpg", "%P", 0, 0, 0},
        Start{"%D/img/123.jpg", "", "%D/img/", "123.jpg", "%P", 0, 0, 120},
        Start{"%D/img/123.jpg;%D/photos;%D/x;y", "", "%D/img/", "123.jpg", "%D/photos", 0, 0, 120},
        Start{";%D/photos", "", "%P/", "9999999.jpg", "%D/photos", 0, 0, 0},
        Start{"%D/img/555.jpg;%D/photos", "%D/chosen.png", "%D/img/", "555.jpg", "%D/photos", 1, 0, 50},
        Start{"%D/img/777.jpg", "", "%D/img/", "777.jpg", "%P", 1, 0, 0},
        Start{"%D/broken.jpg", "", "%D/", "broken.jpg", "%P", 0, 1, 0},
        Start{"%D/no/such/1.jpg", "%D/chosen.png", "%D/no/such/", "1.jpg", "%P", 1, 2, 0}));

}  // namespace
