// The mask, colour-ratio and probe options of the batch tool.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "picture_loader.h"
#include "tool_run.h"

namespace {

// 10 x 10: the left four columns blue-ish (blue > red), the rest red-ish,
// the bottom row near-white.
QImage two_tone() {
    QImage img(10, 10, QImage::Format_RGB32);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            img.setPixel(x, y, y == 9 ? qRgb(250, 250, 250) : x < 4 ? qRgb(10, 20, 200) : qRgb(200, 30, 40));
    return img;
}

class PicfilterMasks : public testing::Test {
protected:
    QTemporaryDir dir;
    QString input = dir.filePath("in.png");
    QString output = dir.filePath("out.png");
    void SetUp() override { ASSERT_TRUE(two_tone().save(input, "PNG")); }
};

TEST_F(PicfilterMasks, RatioPrintsShareAndWritesTheMarks) {
    const ToolRun r = picfilter({"--ratio", "1,1,0,0,0,0", input, output});
    ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
    // 4 columns of 9 rows pass; the white bottom row has blue = red and fails.
    EXPECT_EQ(r.out.toStdString(), "share=0.360000 masked=0.000000\n");
    const QImage out(output);
    EXPECT_EQ(out.pixel(0, 0), qRgb(0, 255, 0));      // passing: green
    EXPECT_EQ(out.pixel(5, 0), qRgb(200, 30, 40));    // failing: untouched
}

TEST_F(PicfilterMasks, MaskLimitsTheTestsAndReportsTheMaskedShare) {
    // The left half of the picture as a polygon: columns 0..4 inside (the
    // outline reaches about one pixel beyond the edge at x = 5).
    const ToolRun r = picfilter({"--mask", "0,0;0.5,0;0.5,1;0,1", "--ratio", "3,1,0,0,0,0", input, output});
    ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
    const QImage out(output);
    EXPECT_EQ(out.pixel(9, 0), qRgb(0, 0, 255));  // outside the mask: blue
    const QStringList fields = r.out.trimmed().split(' ');
    ASSERT_EQ(fields.size(), 2);
    const double masked = fields[1].mid(7).toDouble();
    EXPECT_GT(masked, 0.35);
    EXPECT_LT(masked, 0.55);
}

TEST_F(PicfilterMasks, MaskBlcLeavesOutTheNearWhiteRow) {
    const ToolRun r = picfilter({"--mask-blc", "--ratio", "0,0,0,0,3,100", input, output});
    ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(), "share=1.000000 masked=0.100000\n");
}

TEST_F(PicfilterMasks, ProbesReadTheReferenceAndNeedNoOutput) {
    const ToolRun r = picfilter({"--probe", "0,0", "--probe", "0.95,0.95", "--probe", "0.5,0.1", input});
    ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.toStdString(), "10 20 200\n250 250 250\n200 30 40\n");
    EXPECT_FALSE(QFile::exists(output));
}

struct BadValue {
    QStringList args;
    const char* names;
};

class PicfilterMaskUsage : public PicfilterMasks, public testing::WithParamInterface<BadValue> {};

TEST_P(PicfilterMaskUsage, ExitsTwoWithOneLine) {
    QStringList args = GetParam().args;
    args << input << output;
    const ToolRun r = picfilter(args);
    EXPECT_EQ(r.exit_code, 2);
    ASSERT_EQ(r.err_lines().size(), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(GetParam().names)) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(output));
}

QStringList many_vertices() {
    QStringList v;
    for (int i = 0; i < 102; ++i) v << "0.1,0.1";
    return {"--mask", v.join(';')};
}

INSTANTIATE_TEST_SUITE_P(
    Values, PicfilterMaskUsage,
    testing::Values(BadValue{{"--mask", "0,0;1"}, "--mask"}, BadValue{{"--mask", "0,0;x,1"}, "--mask"},
                    BadValue{many_vertices(), "101"}, BadValue{{"--mask", "0,0;1e12,0;1,1"}, "Mask"},
                    BadValue{{"--ratio", "1,1,0,0,0"}, "--ratio"}, BadValue{{"--ratio", "1,nan,0,0,0,0"}, "--ratio"},
                    BadValue{{"--probe", "1,0"}, "--probe"}, BadValue{{"--probe", "0.5,-0.1"}, "--probe"},
                    BadValue{{"--probe"}, "--probe"}));

}  // namespace
