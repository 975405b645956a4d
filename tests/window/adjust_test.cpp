// The adjustment controls: every slider and "Negatif" runs the pipeline
// and shows its result; Reset runs it exactly once; "Net" sharpens.
#include "window_fixture.h"

#include <QPushButton>
#include <QScrollBar>
#include <cstdlib>
#include <vector>

#include "picture_helpers.h"
#include "reference_filter.h"

namespace {

RefPicture as_ref(const QImage& img) {
    const QImage rgb = img.convertToFormat(QImage::Format_RGB32);  // RGB32 rows carry no padding
    return from_buffer(rgb.constBits(), rgb.width(), rgb.height());
}

class AdjustTest : public WindowTest {
protected:
    // A gradient, so that every tone setting changes something.
    QImage source() const {
        QImage img(240, 160, QImage::Format_RGB32);
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) img.setPixel(x, y, qRgb(x, (x + y) / 2, 200 - y / 2));
        return img;
    }
    std::unique_ptr<selection_image> window_with_picture() {
        auto w = open_window(save(source(), "adjust.jpg", "PNG"));
        show(*w);
        return w;
    }
    // What the pipeline must give for the window's current settings.
    RefPicture expected(selection_image& w) const {
        return reference_processing(as_ref(source()), w.cmd_invert->isChecked(), w.scrollLight->value(),
                                    w.scrollContrast->value(), w.scrollGamma->value(), w.scrollColor->value());
    }
    void expect_holder_is(selection_image& w, const RefPicture& want) {
        const RefPicture got = as_ref(w.PBox.image);
        ASSERT_EQ(std::make_pair(got.w, got.h), std::make_pair(want.w, want.h));
        for (std::size_t i = 0; i < got.px.size(); ++i)  // the fourth byte is no part of the colour
            ASSERT_TRUE(i % 4 == 3 || got.px[i] == want.px[i]) << "byte " << i << ": " << int(got.px[i]) << " != " << int(want.px[i]);
    }
};

struct SliderMove {
    const char* name;
    int value;
};

class AdjustSlider : public AdjustTest, public ::testing::WithParamInterface<SliderMove> {};

TEST_P(AdjustSlider, ChangeRunsThePipelineAndTheViewShowsIt) {
    const SliderMove m = GetParam();
    auto w = window_with_picture();
    auto* s = w->findChild<QScrollBar*>(QString::fromLatin1(m.name));
    ASSERT_NE(s, nullptr);
    const QRgb before = view_centre(*w);
    s->setValue(m.value);
    QApplication::processEvents();
    EXPECT_EQ(w->pipeline_runs(), 1u);
    const RefPicture want = expected(*w);
    expect_holder_is(*w, want);
    // The view's centre shows the adjusted centre pixel (bilinear sampling
    // on a smooth gradient moves it by a level at most).
    const QRgb shown = view_centre(*w);
    for (int c = 1; c <= 3; ++c) EXPECT_NEAR((shown >> (8 * (c - 1))) & 255, want.at(c, 121, 81), 2) << "channel " << c;
    EXPECT_NE(shown, before);
}

INSTANTIATE_TEST_SUITE_P(EachSlider, AdjustSlider,
                         ::testing::Values(SliderMove{"scrollLight", 30}, SliderMove{"scrollContrast", -40},
                                           SliderMove{"scrollGamma", 60}, SliderMove{"scrollColor", 1},
                                           SliderMove{"scrollColor", 20}),
                         [](const ::testing::TestParamInfo<SliderMove>& i) {
                             return std::string(i.param.name) + "_" + (i.param.value < 0 ? "minus" : "") + std::to_string(std::abs(i.param.value));
                         });

TEST_F(AdjustTest, ArrowClickOnASliderReachesTheView) {
    auto w = window_with_picture();
    QTest::mouseClick(w->scrollLight, Qt::LeftButton, {}, QPoint(w->scrollLight->width() - 4, w->scrollLight->height() / 2));
    QApplication::processEvents();
    EXPECT_EQ(w->scrollLight->value(), 1);
    EXPECT_EQ(w->pipeline_runs(), 1u);
    expect_holder_is(*w, expected(*w));
}

TEST_F(AdjustTest, NegatifClickInvertsAndSurvivesReset) {
    auto w = window_with_picture();
    QTest::mouseClick(w->cmd_invert, Qt::LeftButton);
    EXPECT_TRUE(w->cmd_invert->isChecked());
    EXPECT_EQ(w->pipeline_runs(), 1u);
    expect_holder_is(*w, expected(*w));
    w->scrollLight->setValue(20);
    QTest::mouseClick(w->cmdReset, Qt::LeftButton);
    EXPECT_TRUE(w->cmd_invert->isChecked());
    EXPECT_EQ(w->scrollLight->value(), 0);
    expect_holder_is(*w, expected(*w));  // still negative
}

// Reset runs the pipeline exactly once, after all four sliders are back,
// and sends no slider event for a slider already at rest.
class AdjustReset : public AdjustTest, public ::testing::WithParamInterface<bool> {};

TEST_P(AdjustReset, RunsThePipelineOnceAfterAllFourSliders) {
    const bool moved = GetParam();
    auto w = window_with_picture();
    const std::vector<QScrollBar*> sliders{w->scrollContrast, w->scrollLight, w->scrollGamma, w->scrollColor};
    if (moved)
        for (int i = 0; i < 4; ++i) sliders[i]->setValue(std::vector<int>{10, -10, 200, 5}[i]);
    const std::uint64_t runs = w->pipeline_runs();
    ASSERT_EQ(runs, moved ? 4u : 0u);
    int slider_events = 0;
    for (QScrollBar* s : sliders) QObject::connect(s, &QScrollBar::valueChanged, [&] { ++slider_events; });
    QTest::mouseClick(w->cmdReset, Qt::LeftButton);
    EXPECT_EQ(slider_events, moved ? 4 : 0);
    EXPECT_EQ(w->pipeline_runs(), runs + 1);
    for (QScrollBar* s : sliders) EXPECT_EQ(s->value(), s == w->scrollGamma ? 127 : 0) << s->objectName().toStdString();
    EXPECT_FALSE(w->reset_in_progress);
    expect_holder_is(*w, expected(*w));
}

INSTANTIATE_TEST_SUITE_P(AtRestAndAfterMoves, AdjustReset, ::testing::Bool());

TEST_F(AdjustTest, NetSharpensWithoutThePipelineAndResetKeepsIt) {
    auto w = window_with_picture();
    w->scrollLight->setValue(25);
    const std::uint64_t runs = w->pipeline_runs();
    QTest::mouseClick(w->Cmd_deconvolution, Qt::LeftButton);
    EXPECT_EQ(w->pipeline_runs(), runs);
    const RefPicture sharpened = reference_deconvolution(as_ref(source()));
    expect_holder_is(*w, sharpened);  // without the light setting
    QTest::mouseClick(w->cmdReset, Qt::LeftButton);
    expect_holder_is(*w, reference_processing(sharpened, false, 0, 0, 127, 0));
}

TEST_F(AdjustTest, BeforeAnyPictureTheControlsChangeNothing) {
    auto w = open_window(QString());
    show(*w);
    QTest::mouseClick(w->Cmd_deconvolution, Qt::LeftButton);
    w->scrollLight->setValue(10);
    QTest::mouseClick(w->cmd_invert, Qt::LeftButton);
    QTest::mouseClick(w->cmdReset, Qt::LeftButton);
    EXPECT_EQ(w->pipeline_runs(), 0u);
    EXPECT_TRUE(w->PBox.image.isNull());
    EXPECT_EQ(view_centre(*w), qRgb(192, 192, 255));
}

TEST_F(AdjustTest, NewPictureIsShownUnadjustedWhateverTheSliders) {
    auto w = window_with_picture();
    w->scrollLight->setValue(40);
    const std::uint64_t runs = w->pipeline_runs();
    QString error;
    ASSERT_TRUE(w->load_image(save(source(), "again.png", "PNG"), &error));
    EXPECT_EQ(w->pipeline_runs(), runs);
    expect_holder_is(*w, as_ref(source()));
    EXPECT_EQ(w->scrollLight->value(), 40);
}

}  // namespace
