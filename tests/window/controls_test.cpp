// The window's controls: names, captions, places, ranges, tab order, and
// what resizing does (and does not) move.
#include "window_fixture.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <tuple>

namespace {

struct ControlCase {
    const char* name;
    const char* caption;  // nullptr: no caption
    int l, t, w, h;
};

// The design table; the four sliders appear with their load-time height.
const ControlCase kControls[] = {
    {"select_image", "Ouvrir fichier", 120, 60, 1095, 255},
    {"TWAIN_acquire", "Acquerir scan", 1200, 60, 1215, 255},
    {"Cmd_paste", "Coller", 2400, 60, 1215, 255},
    {"cmdSave", "Enregistrer", 3720, 60, 975, 255},
    {"supp_image", "Supprimer", 4800, 60, 975, 255},
    {"Cmd_print", "Imprimer", 6000, 60, 855, 255},
    {"TWAIN_src", "TWAIN", 6960, 60, 855, 255},
    {"lbimage", nullptr, 120, 360, 300, 225},
    {"scrollContrast", nullptr, 480, 360, 1215, 225},
    {"Image4", nullptr, 1800, 360, 300, 225},
    {"scrollLight", nullptr, 2160, 360, 1215, 225},
    {"cmd_invert", "Negatif", 3480, 360, 855, 255},
    {"Cmd_deconvolution", "Net", 4440, 360, 375, 255},
    {"test_angle", "Angle A^B", 4920, 360, 975, 255},
    {"Lb_zoom", nullptr, 6000, 360, 855, 255},
    {"Image3", nullptr, 120, 600, 300, 225},
    {"scrollGamma", nullptr, 480, 600, 1215, 225},
    {"Image1", nullptr, 1800, 600, 300, 225},
    {"scrollColor", nullptr, 2160, 600, 1215, 225},
    {"cmdReset", "Reset", 3480, 600, 855, 255},
    {"test_long", "Proportion", 4920, 600, 975, 255},
    {"id_image", nullptr, 3600, 1320, 735, 285},
    {"id_animal", nullptr, 4440, 1320, 615, 285},
};

class ControlsTest : public WindowTest, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(ControlsTest, PlacedWithItsCaptionAndStaysThereWhenTheWindowResizes) {
    const ControlCase c = GetParam();
    auto w = open_window(QString());
    show(*w);
    auto* control = w->findChild<QWidget*>(QString::fromLatin1(c.name));
    ASSERT_NE(control, nullptr) << c.name;
    const QRect expected(c.l, c.t, c.w, c.h);
    EXPECT_EQ(selection_image::twips_geometry(control), expected);
    if (c.caption) {
        auto* b = qobject_cast<QAbstractButton*>(control);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), QString::fromUtf8(c.caption));
    }
    for (QSize s : {QSize(300, 200), QSize(900, 700), QSize(528, 405)}) {
        w->resize(s);
        QApplication::processEvents();
        EXPECT_EQ(selection_image::twips_geometry(control), expected) << "after resize to " << s.width();
    }
}

INSTANTIATE_TEST_SUITE_P(WindowDesign, ControlsTest, ::testing::ValuesIn(kControls),
                         [](const ::testing::TestParamInfo<ControlCase>& i) { return std::string(i.param.name); });

TEST_F(WindowTest, WindowOpensAtItsDesignSizeColourTitleAndZoomCaption) {
    auto w = open_window(QString());
    show(*w);
    EXPECT_EQ(selection_image::twips_geometry(w.get()).size(), QSize(7920, 6075));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("selection_image"));
    EXPECT_EQ(screen_pixel(*w, 7800, 6000), qRgb(192, 192, 255));  // below the view, away from every control
    EXPECT_EQ(w->Lb_zoom->text(), QStringLiteral("+/- 100%"));
    EXPECT_EQ(w->Lb_zoom->palette().color(QPalette::WindowText), QColor(192, 0, 192));
}

struct SliderCase {
    const char* name;
    int minimum, maximum, value;
};

class SliderRanges : public WindowTest, public ::testing::WithParamInterface<SliderCase> {};

TEST_P(SliderRanges, HorizontalWithRangeAndStartValueAndNoLiveDrag) {
    const SliderCase c = GetParam();
    auto w = open_window(QString());
    auto* s = w->findChild<QScrollBar*>(QString::fromLatin1(c.name));
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(std::make_tuple(s->orientation(), s->minimum(), s->maximum(), s->value(), s->singleStep()),
              std::make_tuple(Qt::Horizontal, c.minimum, c.maximum, c.value, 1));
    // Dragging the thumb reports nothing until it is let go.
    int changes = 0;
    QObject::connect(s, &QScrollBar::valueChanged, [&] { ++changes; });
    s->setSliderDown(true);
    s->setSliderPosition(c.minimum + 1 == c.value ? c.minimum + 2 : c.minimum + 1);
    EXPECT_EQ(changes, 0);
    s->setSliderDown(false);
    EXPECT_EQ(changes, 1);
    // Setting the value it already has reports nothing.
    s->setValue(s->value());
    EXPECT_EQ(changes, 1);
}

INSTANTIATE_TEST_SUITE_P(WindowSliders, SliderRanges,
                         ::testing::Values(SliderCase{"scrollContrast", -50, 50, 0}, SliderCase{"scrollLight", -50, 50, 0},
                                           SliderCase{"scrollGamma", 1, 254, 127}, SliderCase{"scrollColor", 0, 20, 0}),
                         [](const ::testing::TestParamInfo<SliderCase>& i) { return std::string(i.param.name); });

TEST_F(WindowTest, TogglesAreButtonsThatStayPressed) {
    auto w = open_window(QString());
    for (QPushButton* b : {w->cmd_invert, w->test_angle, w->test_long}) {
        EXPECT_TRUE(b->isCheckable()) << b->objectName().toStdString();
        EXPECT_FALSE(b->isChecked());
    }
    for (QPushButton* b : {w->select_image, w->cmdReset, w->Cmd_deconvolution}) EXPECT_FALSE(b->isCheckable());
}

TEST_F(WindowTest, IconsAreTwentyByFifteenPicturesWithContent) {
    auto w = open_window(QString());
    for (QLabel* l : {w->lbimage, w->Image4, w->Image3, w->Image1}) {
        const QPixmap pm = l->pixmap();
        ASSERT_FALSE(pm.isNull()) << l->objectName().toStdString();
        EXPECT_EQ(pm.size(), QSize(20, 15));
        const QImage img = pm.toImage();
        QSet<QRgb> colours;  // more than two: a drawn picture, not an empty square
        for (int i = 0; i < 300; ++i) colours.insert(img.pixel(i % 20, i / 20));
        EXPECT_GT(colours.size(), 2) << l->objectName().toStdString();
    }
}

TEST_F(WindowTest, TabVisitsTheControlsInDesignOrder) {
    auto w = open_window(QString());
    show(*w);
    QApplication::setActiveWindow(w.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->select_image->setFocus();
    QApplication::processEvents();
    // id_animal and id_image (indices 4 and 5) are hidden and so skipped;
    // the labels take no focus.
    const QStringList expected{"select_image",   "TWAIN_acquire", "TWAIN_src",  "supp_image",
                               "scrollContrast", "scrollLight",   "scrollGamma", "scrollColor",
                               "cmdReset",       "cmdSave",       "test_angle", "test_long",
                               "Cmd_paste",      "cmd_invert",    "Cmd_print",  "Cmd_deconvolution",
                               "HScrollBar",     "VScrollBar",    "select_image"};
    QStringList visited;
    for (int i = 0; i < expected.size(); ++i) {
        QWidget* f = QApplication::focusWidget();
        visited << (f ? f->objectName() : QStringLiteral("<none>"));
        QTest::keyClick(f ? f : w.get(), Qt::Key_Tab);
    }
    EXPECT_EQ(visited, expected);
}

TEST_F(WindowTest, ResizeClearsTheSurfaceAndRepaintsTheView) {
    const QString record = save(uniform(200, 100, qRgb(0, 128, 0)), "g.jpg", "PNG");
    auto w = open_window(record);
    show(*w);
    // Something drawn outside the view stays until the next resize.
    w->surface().setPixel(520, 400, qRgb(1, 2, 3));
    w->Form_Paint();
    QApplication::processEvents();
    ASSERT_EQ(w->surface().pixel(520, 400), qRgb(1, 2, 3));
    const std::uint64_t paints = w->paint_runs();
    w->resize(700, 500);
    QApplication::processEvents();
    EXPECT_GT(w->paint_runs(), paints);
    EXPECT_EQ(w->surface().size(), QSize(700, 500));
    EXPECT_EQ(w->surface().pixel(520, 400) & 0xffffff, qRgb(192, 192, 255) & 0xffffff);
    // The view grew with the window, still shows the picture, and the bars follow its edges.
    EXPECT_GT(w->view_width, 7000);
    EXPECT_EQ(view_centre(*w), qRgb(0, 128, 0));
    EXPECT_NEAR(selection_image::twips_geometry(w->HScrollBar).top(), w->view_top + w->view_height, 8);
    EXPECT_NEAR(selection_image::twips_geometry(w->VScrollBar).left(), w->view_left + w->view_width, 8);
    EXPECT_NEAR(selection_image::twips_geometry(w->HScrollBar).width(), w->view_width, 15);
}

}  // namespace
