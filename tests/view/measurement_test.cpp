#include <gtest/gtest.h>

#include <QImage>
#include <QLocale>
#include <QPainter>
#include <climits>
#include <random>

#include "gui_app.h"
#include "measurement.h"

namespace {

const ViewRect kView{120, 960, 8490, 4117};
constexpr QRgb kBlack = 0xFF000000u;

// The labels follow the default locale, so tests switch it and put it back.
struct LocaleScope {
    explicit LocaleScope(const QLocale& l) { QLocale::setDefault(l); }
    ~LocaleScope() { QLocale::setDefault(saved); }
    QLocale saved;  // initialised before the constructor body changes the default
};
const QLocale kFrench(QLocale::French, QLocale::France);

Handles proportion(QPoint a, QPoint b, QPoint c, QPoint d) {
    Handles h{};
    h[3] = a, h[4] = b, h[5] = c, h[6] = d;
    return h;
}

template <class Case>
std::string case_name(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }

}  // namespace

TEST(DefaultHandles, AngleAndProportionForTheWindowsFirstView) {
    LocaleScope c_locale(QLocale::c());
    Handles h{};
    h[0] = QPoint(5, 5);  // placed every time, whatever was there
    place_default_angle_handles(h, kView);
    EXPECT_EQ(h[0], QPoint(2122, 1029));
    EXPECT_EQ(h[1], QPoint(2122, 2058));
    EXPECT_EQ(h[2], QPoint(4245, 2058));
    EXPECT_EQ(angle_label(h), QStringLiteral("90.00°"));
    ASSERT_TRUE(place_default_proportion_handles(h, kView));
    EXPECT_EQ(h[3], QPoint(2242, 3018));
    EXPECT_EQ(h[4], QPoint(4365, 3018));
    EXPECT_EQ(h[5], QPoint(2242, 1989));
    EXPECT_EQ(h[6], QPoint(4365, 1989));
    EXPECT_EQ(ratio_label(h), QStringLiteral("L:1.00"));
    for (int i = 7; i < 11; ++i) EXPECT_EQ(h[i], QPoint(0, 0)) << "unused handle " << i;
    // The view's corner is ignored: B lies above a view starting at 2000.
    place_default_angle_handles(h, ViewRect{3000, 2000, 8490, 3000});
    EXPECT_EQ(h[0], QPoint(2122, 750));
    EXPECT_EQ(h[2], QPoint(4245, 1500));
}

TEST(DefaultHandles, ProportionReplacedOnlyWhileTheReferenceHasZeroLength) {
    Handles h{};
    ASSERT_TRUE(place_default_proportion_handles(h, kView));
    h[4] = QPoint(5000, 3500);
    const Handles moved = h;
    EXPECT_FALSE(place_default_proportion_handles(h, ViewRect{0, 0, 100, 100}));
    EXPECT_EQ(h, moved);
    h[4] = h[3] = QPoint(7000, 4000);  // one end dragged onto the other: the next click repairs it
    EXPECT_TRUE(place_default_proportion_handles(h, kView));
    EXPECT_EQ(h[3], QPoint(2242, 3018));
    EXPECT_EQ(h[6], QPoint(4365, 1989));
}

struct AngleCase {
    const char* name;
    long x1, y1, x2, y2, x3, y3;
    int degrees;
};

class CalculAngle : public ::testing::TestWithParam<AngleCase> {};

TEST_P(CalculAngle, WholeDegreesFromRayAToRayB) {
    const AngleCase& c = GetParam();
    EXPECT_EQ(calcul_angle(c.x1, c.y1, c.x2, c.y2, c.x3, c.y3), c.degrees);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CalculAngle,
    ::testing::Values(AngleCase{"default_above_and_right", 2122, 1029, 2122, 2058, 4245, 2058, 90},
                      AngleCase{"b_below_a_right", 100, 200, 100, 100, 300, 100, 270},
                      AngleCase{"b_up_right_45", 101, 99, 100, 100, 300, 100, 45},
                      AngleCase{"same_ray", 150, 150, 100, 100, 200, 200, 0},
                      AngleCase{"b_left_a_right", 0, 100, 100, 100, 300, 100, 180},
                      AngleCase{"b_on_vertex_counts_as_left", 100, 100, 100, 100, 300, 100, 180},
                      AngleCase{"a_on_vertex_counts_as_left", 300, 100, 100, 100, 100, 100, 180},
                      AngleCase{"b_straight_up_a_left", 100, 0, 100, 100, 0, 100, 270},
                      AngleCase{"b_straight_down_a_up", 100, 900, 100, 100, 100, 0, 180},
                      AngleCase{"b_down_left_a_down", 0, 200, 100, 100, 100, 500, 315},
                      AngleCase{"differences_beyond_32_bits", -2147483647L - 1, 0, 2147483647L, 2147483647L,
                                0, 2147483647L, 333}),
    case_name<AngleCase>);

TEST(Bearing, CompassOfTheScreenWithTheShortPi) {
    EXPECT_DOUBLE_EQ(bearing(0, 10, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ(bearing(10, 0, 0, 0), 90.0);
    EXPECT_DOUBLE_EQ(bearing(0, -10, 0, 0), 180.0);
    EXPECT_DOUBLE_EQ(bearing(-10, 0, 0, 0), 270.0);
    EXPECT_DOUBLE_EQ(bearing(0, 0, 0, 0), 270.0);
    // Up and right at 45 degrees: the short pi leaves it a hair below 135.
    EXPECT_LT(bearing(1, -1, 0, 0), 135.0);
    EXPECT_GT(bearing(1, -1, 0, 0), 134.99999);
    // Down and left: negative before the wrap.
    EXPECT_GT(bearing(-1, 1000, 0, 0), 359.9);
    EXPECT_LT(bearing(-1, 1000, 0, 0), 360.0);
}

TEST(Bearing, HalvesRoundToTheEvenWholeDegree) {
    EXPECT_EQ(angle_from_bearings(134.5, 90.0), 44);  // 404.5 -> 404
    EXPECT_EQ(angle_from_bearings(135.5, 90.0), 46);  // 405.5 -> 406
    EXPECT_EQ(angle_from_bearings(0.0, 359.5), 0);    // 0.5 -> 0
    EXPECT_EQ(angle_from_bearings(359.5, 0.0), 0);    // 719.5 -> 720
    EXPECT_EQ(angle_from_bearings(134.99999, 90.0), 45);
}

TEST(Bearing, SwappingTheRaysGivesTheFullTurnsComplement) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<long> coord(-5000, 5000);
    for (int i = 0; i < 2000; ++i) {
        const long bx = coord(rng), by = coord(rng), vx = coord(rng), vy = coord(rng), ax = coord(rng), ay = coord(rng);
        const double tb = bearing(bx, by, vx, vy);
        ASSERT_TRUE(tb >= 0.0 && tb < 360.0) << tb;
        const int forward = calcul_angle(bx, by, vx, vy, ax, ay);
        ASSERT_TRUE(forward >= 0 && forward < 360) << forward;
        ASSERT_EQ((forward + calcul_angle(ax, ay, vx, vy, bx, by)) % 360, 0)
            << bx << ',' << by << ' ' << vx << ',' << vy << ' ' << ax << ',' << ay;
    }
}

struct RatioCase {
    const char* name;
    Handles handles;
    const char* c_label;
    const char* french_label;
};

class RatioLabel : public ::testing::TestWithParam<RatioCase> {};

TEST_P(RatioLabel, InTheUsersDecimalSeparator) {
    const RatioCase& c = GetParam();
    {
        LocaleScope scope(QLocale::c());
        EXPECT_EQ(ratio_label(c.handles), QString::fromUtf8(c.c_label));
    }
    LocaleScope scope(kFrench);
    EXPECT_EQ(ratio_label(c.handles), QString::fromUtf8(c.french_label));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RatioLabel,
    ::testing::Values(
        RatioCase{"half", proportion({0, 0}, {1000, 0}, {0, 0}, {300, 400}), "L:0.50", "L:0,50"},
        RatioCase{"equal", proportion({10, 10}, {10, 60}, {99, 0}, {99, 50}), "L:1.00", "L:1,00"},
        RatioCase{"zero_reference", proportion({40, 40}, {40, 40}, {0, 0}, {300, 400}), "L:--", "L:--"},
        RatioCase{"both_zero", proportion({40, 40}, {40, 40}, {7, 7}, {7, 7}), "L:--", "L:--"},
        RatioCase{"zero_measured", proportion({0, 0}, {3, 4}, {7, 7}, {7, 7}), "L:0.00", "L:0,00"},
        RatioCase{"large_without_grouping", proportion({0, 0}, {2, 0}, {0, 0}, {2469, 0}), "L:1234.50",
                  "L:1234,50"},
        RatioCase{"far_apart_handles", proportion({-2000000000, 0}, {2000000000, 0}, {0, -2000000000}, {0, 2000000000}),
                  "L:1.00", "L:1,00"}),
    case_name<RatioCase>);

TEST(AngleLabel, FrenchSettingsUseTheComma) {
    Handles h{};
    place_default_angle_handles(h, kView);
    {
        LocaleScope scope(kFrench);
        EXPECT_EQ(angle_label(h), QStringLiteral("90,00°"));
    }
    h[0] = QPoint(2123, 2059);  // below and right of the vertex: a quarter short of a turn
    LocaleScope scope(QLocale::c());
    EXPECT_EQ(angle_label(h), QStringLiteral("315.00°"));
}

// ---------------------------------------------------------------------------
// Overlays drawn on a black surface the size of a window.

namespace {

// Bounding box of the pixels in `area` that are not black and not `except`.
QRect ink_box(const QImage& s, const QRect& area, QRgb except = kBlack) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (s.pixel(x, y) != kBlack && s.pixel(x, y) != except) box |= QRect(x, y, 1, 1);
    return box;
}

// Every pixel of `area` is black, `colour` or `except`, and some are `colour`.
bool only_ink(const QImage& s, const QRect& area, const QColor& colour, QRgb except = kBlack) {
    bool seen = false;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = s.pixel(x, y);
            if (p == colour.rgb()) seen = true;
            else if (p != kBlack && p != except) return false;
        }
    return seen;
}

using Layer = void (*)(QPainter&, const Handles&);

class Overlay : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ensure_gui_application(); }
    void SetUp() override {
        place_default_angle_handles(h, kView);
        place_default_proportion_handles(h, kView);
    }
    QImage draw(std::initializer_list<Layer> layers) const {
        QImage s(640, 480, QImage::Format_RGB32);
        s.fill(kBlack);
        QPainter p(&s);
        for (Layer layer : layers) layer(p, h);
        p.end();
        return s;
    }
    Handles h{};
    LocaleScope c_locale{QLocale::c()};
};

}  // namespace

TEST_F(Overlay, AngleLinesRedAndLabelsYellowBelowRightOfTheirHandles) {
    const QImage s = draw({draw_angle_overlay});
    const QRgb line = kAngleLineColour.rgb();
    // B (141, 68), vertex (141, 137), A (283, 137) in pixels.
    EXPECT_EQ(twips_to_pixel(h[0]), QPoint(141, 68));
    EXPECT_EQ(s.pixel(141, 100), line);
    EXPECT_EQ(s.pixel(210, 137), line);
    EXPECT_EQ(s.pixel(142, 100), kBlack);
    EXPECT_EQ(s.pixel(210, 136), kBlack);
    for (const QPoint& at : {QPoint(141, 68), QPoint(283, 137), QPoint(141, 137)}) {
        const QRect ink = ink_box(s, QRect(at - QPoint(30, 30), QSize(90, 60)), line);
        ASSERT_FALSE(ink.isEmpty()) << at.x() << ',' << at.y();
        EXPECT_TRUE(ink.left() >= at.x() && ink.left() <= at.x() + 3) << at.x() << ',' << at.y();
        EXPECT_TRUE(ink.top() >= at.y() && ink.top() <= at.y() + 6) << at.x() << ',' << at.y();
        EXPECT_TRUE(only_ink(s, ink, kLabelColour, line));
    }
    // The angle text ("90.00°") is far wider than a single letter.
    EXPECT_GT(ink_box(s, QRect(141, 138, 100, 30), line).width(), 25);
    EXPECT_LT(ink_box(s, QRect(283, 138, 40, 30), line).width(), 15);
}

TEST_F(Overlay, ProportionLinesInTheirColoursAndLabelsCentredOnTheMiddles) {
    const QImage s = draw({draw_proportion_overlay});
    // Reference (149, 201)-(291, 201), measured (149, 132)-(291, 132).
    for (int x : {160, 285}) {
        EXPECT_EQ(s.pixel(x, 201), kReferenceColour.rgb());
        EXPECT_EQ(s.pixel(x, 132), kMeasuredColour.rgb());
    }
    EXPECT_EQ(s.pixel(160, 133), kBlack);
    const QRect reference_text = ink_box(s, QRect(100, 202, 240, 30));
    const QRect ratio_text = ink_box(s, QRect(100, 133, 240, 30));
    ASSERT_FALSE(reference_text.isEmpty() || ratio_text.isEmpty());
    const double middle = (2242 + 4365) / 2.0 / 15.0;
    EXPECT_NEAR((reference_text.left() + reference_text.right() + 1) / 2.0, middle, 2.0);
    EXPECT_NEAR((ratio_text.left() + ratio_text.right() + 1) / 2.0, middle, 2.0);
    EXPECT_GT(reference_text.width(), ratio_text.width());  // "Ref.Unite" against "L:1.00"
    EXPECT_TRUE(only_ink(s, reference_text, kReferenceColour));
    EXPECT_TRUE(only_ink(s, ratio_text, kLabelColour));
}

TEST_F(Overlay, ProportionDrawnLastCoversTheAngleWhereTheyCross) {
    h[3] = QPoint(1000, 1500);  // reference across the vertical B-vertex line at (141, 100)
    h[4] = QPoint(4000, 1500);
    EXPECT_EQ(draw({draw_angle_overlay, draw_proportion_overlay}).pixel(141, 100), kReferenceColour.rgb());
    EXPECT_EQ(draw({draw_proportion_overlay, draw_angle_overlay}).pixel(141, 100), kAngleLineColour.rgb());
}

TEST_F(Overlay, ZeroLengthReferenceDrawsAPlainLabel) {
    h[4] = h[3];
    const QImage s = draw({draw_proportion_overlay});
    const QRect ratio_text = ink_box(s, QRect(100, 133, 240, 30));
    ASSERT_FALSE(ratio_text.isEmpty());
    // "L:--" is narrower than anything an infinity or a huge number would print.
    EXPECT_LT(ratio_text.width(), 40);
    EXPECT_TRUE(only_ink(s, ratio_text, kLabelColour));
}
