// Hand-made bitmaps for what the suite files do not pin down: RLE streams
// that stop, skip or overrun, alpha laid on white, bit-field scaling, row
// order and short palettes.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>

#include "bmp_decoder.h"
#include "picture_loader.h"

namespace {

struct Bmp {
    std::uint32_t header_size = 40;
    std::int32_t width = 4, height = 2;
    int bpp = 8;
    std::uint32_t compression = 0;
    std::vector<std::uint32_t> masks;    // after a 40-byte header, or inside a longer one
    std::vector<std::uint32_t> palette;  // 0xRRGGBB
    std::uint32_t colours_used = 0;
    std::vector<std::uint8_t> pixels;

    QByteArray bytes() const {
        const bool masks_after = header_size == 40;
        const std::size_t palette_at = 14 + header_size + (masks_after ? 4 * masks.size() : 0);
        const std::size_t pixels_at = palette_at + 4 * palette.size();
        QByteArray d(static_cast<qsizetype>(pixels_at + pixels.size()), '\0');
        auto put = [&](std::size_t at, std::uint32_t v, int n) {
            for (int i = 0; i < n; ++i) d[static_cast<qsizetype>(at + i)] = static_cast<char>(v >> (8 * i));
        };
        d[0] = 'B';
        d[1] = 'M';
        put(2, static_cast<std::uint32_t>(d.size()), 4);
        put(10, static_cast<std::uint32_t>(pixels_at), 4);
        put(14, header_size, 4);
        put(18, static_cast<std::uint32_t>(width), 4);
        put(22, static_cast<std::uint32_t>(height), 4);
        put(26, 1, 2);
        put(28, static_cast<std::uint32_t>(bpp), 2);
        put(30, compression, 4);
        put(34, static_cast<std::uint32_t>(compression == 1 || compression == 2 ? pixels.size() : 0), 4);
        put(38, 2835, 4);
        put(42, 2835, 4);
        put(46, colours_used, 4);
        for (std::size_t i = 0; i < masks.size(); ++i) put(54 + 4 * i, masks[i], 4);
        for (std::size_t i = 0; i < palette.size(); ++i) put(palette_at + 4 * i, palette[i], 4);
        for (std::size_t i = 0; i < pixels.size(); ++i) d[static_cast<qsizetype>(pixels_at + i)] = static_cast<char>(pixels[i]);
        return d;
    }
};

constexpr std::uint32_t kBlack = 0x000000, kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

// Rows top first, as 0xRRGGBB.
std::vector<std::vector<std::uint32_t>> rows_of(const QImage& img) {
    std::vector<std::vector<std::uint32_t>> rows;
    for (int y = 0; y < img.height(); ++y) {
        rows.emplace_back();
        for (int x = 0; x < img.width(); ++x) rows.back().push_back(img.pixel(x, y) & 0xFFFFFFu);
    }
    return rows;
}

struct Stream {
    const char* name;
    int bpp;  // 8: RLE8, 4: RLE4
    std::vector<std::uint8_t> data;
    std::vector<std::vector<std::uint32_t>> rows;  // empty: refused
    const char* reason = "";
};

std::ostream& operator<<(std::ostream& os, const Stream& s) { return os << s.name; }

class RleStream : public testing::TestWithParam<Stream> {};

TEST_P(RleStream, DecodesOrIsRefused) {
    const Stream& s = GetParam();
    Bmp bmp;
    bmp.bpp = s.bpp;
    bmp.compression = s.bpp == 8 ? 1 : 2;
    bmp.palette = {kBlack, kRed, kGreen};
    bmp.colours_used = 3;
    bmp.pixels = s.data;
    QString error;
    const QImage img = sources::decode_picture(bmp.bytes(), &error);
    if (s.rows.empty()) {
        EXPECT_TRUE(img.isNull());
        EXPECT_TRUE(error.contains(QString::fromUtf8(s.reason))) << error.toStdString();
        return;
    }
    ASSERT_FALSE(img.isNull()) << error.toStdString();
    EXPECT_EQ(rows_of(img), s.rows);
}

// A 4 x 2 picture; the stream starts with the bottom row.
INSTANTIATE_TEST_SUITE_P(
    Bitmaps, RleStream,
    testing::Values(
        Stream{"RunCopyAndEnd", 8, {4, 1, 0, 0, 0, 3, 0, 2, 1, 0, 1, 2, 0, 0, 0, 1},
               {{kBlack, kGreen, kRed, kGreen}, {kRed, kRed, kRed, kRed}}},
        Stream{"LastEndOfLineWithoutEndMark", 8, {4, 1, 0, 0, 4, 2, 0, 0}, {{kGreen, kGreen, kGreen, kGreen},
                                                                          {kRed, kRed, kRed, kRed}}},
        Stream{"SkippedPixelsAreWhite", 8, {1, 1, 0, 2, 2, 1, 1, 2, 0, 1},
               {{kWhite, kWhite, kWhite, kGreen}, {kRed, kWhite, kWhite, kWhite}}},
        Stream{"EndMarkLeavesTheRestWhite", 8, {2, 2, 0, 1}, {{kWhite, kWhite, kWhite, kWhite},
                                                              {kGreen, kGreen, kWhite, kWhite}}},
        Stream{"Rle4RunAlternates", 4, {4, 0x12, 0, 0, 0, 4, 0x21, 0x00, 0, 1},
               {{kGreen, kRed, kBlack, kBlack}, {kRed, kGreen, kRed, kGreen}}},
        Stream{"Rle4CopyOfThree", 4, {0, 3, 0x12, 0x10, 1, 0x00, 0, 0, 4, 0x22, 0, 1},
               {{kGreen, kGreen, kGreen, kGreen}, {kRed, kGreen, kRed, kBlack}}},
        Stream{"RunPastRowEnd", 8, {5, 1, 0, 1}, {}, "RLE"},
        Stream{"CopyPastRowEnd", 8, {2, 1, 0, 3, 1, 1, 1, 0, 0, 1}, {}, "RLE"},
        Stream{"MovePastRowEnd", 8, {0, 2, 5, 0, 0, 1}, {}, "RLE"},
        Stream{"MovePastLastRow", 8, {0, 2, 0, 3, 0, 1}, {}, "RLE"},
        Stream{"RunAfterLastRow", 8, {0, 0, 0, 0, 1, 1, 0, 1}, {}, "RLE"},
        Stream{"IndexOutsidePalette", 8, {4, 7, 0, 1}, {}, "palette"},
        Stream{"StopsMidRow", 8, {2, 1}, {}, "tronquées"},
        Stream{"CopyCutShort", 8, {0, 4, 1, 1}, {}, "tronquées"},
        Stream{"MoveCutShort", 8, {0, 2, 1}, {}, "tronquées"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BitFields, AlphaIsLaidOnWhite) {
    Bmp bmp;
    bmp.header_size = 108;
    bmp.bpp = 32;
    bmp.compression = 3;
    bmp.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    bmp.width = 5;
    bmp.height = 1;
    // Transparent red, opaque blue, half-transparent black, a quarter green,
    // and a red of 1 at half where rounding and truncating part ways.
    bmp.pixels = {0, 0, 255, 0, 255, 0, 0, 255, 0, 0, 0, 128, 0, 255, 0, 64, 0, 0, 1, 128};
    QString error;
    const QImage img = sources::decode_picture(bmp.bytes(), &error);
    ASSERT_FALSE(img.isNull()) << error.toStdString();
    // 255 - a parts of white: (c * a + 255 * (255 - a)) / 255, rounded.
    EXPECT_EQ(rows_of(img), (std::vector<std::vector<std::uint32_t>>{{kWhite, kBlue, 0x7F7F7F, 0xBFFFBF, 0x807F7F}}));
}

TEST(BitFields, WithoutAnAlphaMaskTheFourthByteIsIgnored) {
    Bmp bmp;
    bmp.bpp = 32;
    bmp.compression = 3;  // 40-byte header: three masks, no alpha
    bmp.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    bmp.width = 1;
    bmp.height = 1;
    bmp.pixels = {10, 20, 30, 0x80};
    QString error;
    const QImage img = sources::decode_picture(bmp.bytes(), &error);
    ASSERT_FALSE(img.isNull()) << error.toStdString();
    EXPECT_EQ(img.pixel(0, 0) & 0xFFFFFFu, 0x1E140Au);
}

TEST(BitFields, NarrowChannelsAreScaledWithRoundingAndRowsMayRunTopDown) {
    Bmp bmp;
    bmp.bpp = 16;
    bmp.compression = 3;
    bmp.masks = {0xF800, 0x07E0, 0x001F};
    bmp.width = 2;
    bmp.height = -2;  // top row first
    // 0xF800 full red, 0x0400 green 32 of 63, 0x001F full blue, 0x0001 blue 1 of 31.
    bmp.pixels = {0x00, 0xF8, 0x00, 0x04, 0x1F, 0x00, 0x01, 0x00};
    QString error;
    const QImage img = sources::decode_picture(bmp.bytes(), &error);
    ASSERT_FALSE(img.isNull()) << error.toStdString();
    EXPECT_EQ(rows_of(img), (std::vector<std::vector<std::uint32_t>>{{kRed, 0x008200}, {kBlue, 0x000008}}));
}

struct BadMasks {
    const char* name;
    std::vector<std::uint32_t> masks;
};

std::ostream& operator<<(std::ostream& os, const BadMasks& b) { return os << b.name; }

class MaskCheck : public testing::TestWithParam<BadMasks> {};

TEST_P(MaskCheck, IsRefused) {
    Bmp bmp;
    bmp.bpp = 16;
    bmp.compression = 3;
    bmp.masks = GetParam().masks;
    bmp.width = 1;
    bmp.height = 1;
    bmp.pixels = {0, 0, 0, 0};
    QString error;
    EXPECT_TRUE(sources::decode_picture(bmp.bytes(), &error).isNull());
    EXPECT_TRUE(error.contains("masques")) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Bitmaps, MaskCheck,
                         testing::Values(BadMasks{"Overlapping", {0xF800, 0x0FE0, 0x001F}},
                                         BadMasks{"NotContiguous", {0xF800, 0x07E0, 0x0015}},
                                         BadMasks{"MissingBlue", {0xF800, 0x07E0, 0x0000}},
                                         BadMasks{"WiderThanThePixel", {0x1F0000, 0x07E0, 0x001F}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Palette, UndeclaredShortPaletteIsWhatFitsBeforeThePixels) {
    Bmp bmp;
    bmp.bpp = 8;
    bmp.palette = {kBlue, kRed};  // colours_used 0 would mean 256
    bmp.width = 2;
    bmp.height = 1;
    bmp.pixels = {1, 0, 0, 0};
    QString error;
    const QImage img = sources::decode_picture(bmp.bytes(), &error);
    ASSERT_FALSE(img.isNull()) << error.toStdString();
    EXPECT_EQ(rows_of(img), (std::vector<std::vector<std::uint32_t>>{{kRed, kBlue}}));
    bmp.pixels = {2, 0, 0, 0};
    EXPECT_TRUE(sources::decode_picture(bmp.bytes(), &error).isNull());
    EXPECT_TRUE(error.contains("palette")) << error.toStdString();
}

TEST(Palette, TwoBitsPerPixel) {
    Bmp bmp;
    bmp.bpp = 2;
    bmp.palette = {kBlack, kRed, kGreen, kBlue};
    bmp.width = 5;
    bmp.height = 1;
    bmp.pixels = {0b00011011, 0b01000000, 0, 0};
    QString error;
    const QImage img = sources::decode_picture(bmp.bytes(), &error);
    ASSERT_FALSE(img.isNull()) << error.toStdString();
    EXPECT_EQ(rows_of(img), (std::vector<std::vector<std::uint32_t>>{{kBlack, kRed, kGreen, kBlue, kRed}}));
}

TEST(Embedded, OnlyJpegOrPngIsTakenFromInside) {
    // A bitmap claiming to carry a PNG but holding another bitmap must not
    // send the decoder round again.
    Bmp inner;
    inner.bpp = 24;
    inner.width = 1;
    inner.height = 1;
    inner.pixels = {1, 2, 3, 0};
    const QByteArray inside = inner.bytes();
    Bmp outer;
    outer.bpp = 0;
    outer.compression = 5;
    outer.width = 1;
    outer.height = 1;
    outer.pixels.assign(inside.begin(), inside.end());
    QByteArray data = outer.bytes();
    const auto size = static_cast<std::uint32_t>(inside.size());
    for (int i = 0; i < 4; ++i) data[34 + i] = static_cast<char>(size >> (8 * i));
    QString error;
    EXPECT_TRUE(sources::decode_picture(data, &error).isNull());
    EXPECT_TRUE(error.contains(QStringLiteral("intégrée"))) << error.toStdString();
}

}  // namespace
