// Hand-made bitmaps for what the suite files do not pin down: RLE streams
// that stop, skip or overrun, alpha laid on white, bit-field scaling, row
// order and short palettes.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QImage>

#include "bmp_decoder.h"
#include "picture_loader.h"

namespace {

using Rows = std::vector<std::vector<std::uint32_t>>;  // top first, 0xRRGGBB

struct Bmp {
    std::uint32_t header_size = 40;
    std::int32_t width = 4, height = 2;
    int bpp = 8;
    std::uint32_t compression = 0;
    std::vector<std::uint32_t> masks = {};  // after a 40-byte header, or inside a longer one
    std::vector<std::uint32_t> palette = {};  // 0xRRGGBB
    std::uint32_t colours_used = 0;
    std::vector<std::uint8_t> pixels = {};

    QByteArray bytes() const {
        const std::size_t palette_at = 14 + header_size + (header_size == 40 ? 4 * masks.size() : 0);
        const std::size_t pixels_at = palette_at + 4 * palette.size();
        QByteArray d(static_cast<qsizetype>(pixels_at + pixels.size()), '\0');
        auto put = [&](std::size_t at, std::uint32_t v, int n = 4) {
            for (int i = 0; i < n; ++i) d[static_cast<qsizetype>(at + i)] = static_cast<char>(v >> (8 * i));
        };
        put(0, 'B' | 'M' << 8, 2);
        put(2, static_cast<std::uint32_t>(d.size()));
        put(10, static_cast<std::uint32_t>(pixels_at));
        put(14, header_size);
        put(18, static_cast<std::uint32_t>(width));
        put(22, static_cast<std::uint32_t>(height));
        put(26, 1, 2);
        put(28, static_cast<std::uint32_t>(bpp), 2);
        put(30, compression);
        put(34, static_cast<std::uint32_t>(compression == 0 || compression == 3 ? 0 : pixels.size()));
        put(38, 2835);
        put(42, 2835);
        put(46, colours_used);
        for (std::size_t i = 0; i < masks.size(); ++i) put(54 + 4 * i, masks[i]);
        for (std::size_t i = 0; i < palette.size(); ++i) put(palette_at + 4 * i, palette[i]);
        for (std::size_t i = 0; i < pixels.size(); ++i) put(pixels_at + i, pixels[i], 1);
        return d;
    }
};

constexpr std::uint32_t kBlack = 0x000000, kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

// A 4 x 2 picture with a three-colour palette; the stream starts with the bottom row.
Bmp rle(int bpp, std::vector<std::uint8_t> data) {
    return {.bpp = bpp, .compression = bpp == 8 ? 1u : 2u, .palette = {kBlack, kRed, kGreen}, .colours_used = 3,
            .pixels = std::move(data)};
}

Bmp bitfields(std::int32_t w, std::int32_t h, int bpp, std::vector<std::uint32_t> masks, std::vector<std::uint8_t> px) {
    return {.header_size = masks.size() == 4 ? 108u : 40u, .width = w, .height = h, .bpp = bpp, .compression = 3,
            .masks = std::move(masks), .pixels = std::move(px)};
}

// A bitmap claiming to carry a PNG but holding another bitmap must not send
// the decoder round again.
Bmp bitmap_inside_a_bitmap() {
    const QByteArray inside = Bmp{.width = 1, .height = 1, .bpp = 24, .pixels = {1, 2, 3, 0}}.bytes();
    return {.width = 1, .height = 1, .bpp = 0, .compression = 5, .pixels = {inside.begin(), inside.end()}};
}

struct Case {
    const char* name;
    Bmp bmp;
    Rows rows;  // empty: refused
    const char* reason = "";
};

std::ostream& operator<<(std::ostream& os, const Case& c) { return os << c.name; }

class Decode : public testing::TestWithParam<Case> {};

TEST_P(Decode, GivesTheRowsOrARefusalWithItsReason) {
    const Case& c = GetParam();
    QString error;
    const QImage img = sources::decode_picture(c.bmp.bytes(), &error);
    if (c.rows.empty()) {
        EXPECT_TRUE(img.isNull());
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.reason))) << error.toStdString();
        return;
    }
    ASSERT_FALSE(img.isNull()) << error.toStdString();
    Rows rows(static_cast<std::size_t>(img.height()));
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) rows[y].push_back(img.pixel(x, y) & 0xFFFFFFu);
    EXPECT_EQ(rows, c.rows);
}

INSTANTIATE_TEST_SUITE_P(
    Rle, Decode,
    testing::Values(
        Case{"RunCopyAndEnd", rle(8, {4, 1, 0, 0, 0, 3, 0, 2, 1, 0, 1, 2, 0, 0, 0, 1}),
             {{kBlack, kGreen, kRed, kGreen}, {kRed, kRed, kRed, kRed}}},
        Case{"LastEndOfLineWithoutEndMark", rle(8, {4, 1, 0, 0, 4, 2, 0, 0}),
             {{kGreen, kGreen, kGreen, kGreen}, {kRed, kRed, kRed, kRed}}},
        Case{"SkippedPixelsAreWhite", rle(8, {1, 1, 0, 2, 2, 1, 1, 2, 0, 1}),
             {{kWhite, kWhite, kWhite, kGreen}, {kRed, kWhite, kWhite, kWhite}}},
        Case{"EndMarkLeavesTheRestWhite", rle(8, {2, 2, 0, 1}),
             {{kWhite, kWhite, kWhite, kWhite}, {kGreen, kGreen, kWhite, kWhite}}},
        Case{"Rle4RunAlternates", rle(4, {4, 0x12, 0, 0, 0, 4, 0x21, 0x00, 0, 1}),
             {{kGreen, kRed, kBlack, kBlack}, {kRed, kGreen, kRed, kGreen}}},
        Case{"Rle4CopyOfThree", rle(4, {0, 3, 0x12, 0x10, 1, 0x00, 0, 0, 4, 0x22, 0, 1}),
             {{kGreen, kGreen, kGreen, kGreen}, {kRed, kGreen, kRed, kBlack}}},
        Case{"RunPastRowEnd", rle(8, {5, 1, 0, 1}), {}, "RLE"},
        Case{"CopyPastRowEnd", rle(8, {2, 1, 0, 3, 1, 1, 1, 0, 0, 1}), {}, "RLE"},
        Case{"MovePastRowEnd", rle(8, {0, 2, 5, 0, 0, 1}), {}, "RLE"},
        Case{"MovePastLastRow", rle(8, {0, 2, 0, 3, 0, 1}), {}, "RLE"},
        Case{"RunAfterLastRow", rle(8, {0, 0, 0, 0, 1, 1, 0, 1}), {}, "RLE"},
        Case{"IndexOutsidePalette", rle(8, {4, 7, 0, 1}), {}, "palette"},
        Case{"StopsMidRow", rle(8, {2, 1}), {}, "tronquées"},
        Case{"CopyCutShort", rle(8, {0, 4, 1, 1}), {}, "tronquées"},
        Case{"MoveCutShort", rle(8, {0, 2, 1}), {}, "tronquées"}),
    [](const auto& info) { return std::string(info.param.name); });

const std::vector<std::uint32_t> k565 = {0xF800, 0x07E0, 0x001F};

INSTANTIATE_TEST_SUITE_P(
    Other, Decode,
    testing::Values(
        // Transparent red, opaque blue, half-transparent black, a quarter green,
        // and a red of 1 at half where rounding and truncating part ways.
        Case{"AlphaIsLaidOnWhite",
             bitfields(5, 1, 32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
                       {0, 0, 255, 0, 255, 0, 0, 255, 0, 0, 0, 128, 0, 255, 0, 64, 0, 0, 1, 128}),
             {{kWhite, kBlue, 0x7F7F7F, 0xBFFFBF, 0x807F7F}}},
        Case{"WithoutAnAlphaMaskTheFourthByteIsIgnored",
             bitfields(1, 1, 32, {0x00FF0000, 0x0000FF00, 0x000000FF}, {10, 20, 30, 0x80}), {{0x1E140A}}},
        // Full red, green 32 of 63, full blue, blue 1 of 31; negative height: top row first.
        Case{"NarrowChannelsAreScaledWithRoundingAndRowsMayRunTopDown",
             bitfields(2, -2, 16, k565, {0x00, 0xF8, 0x00, 0x04, 0x1F, 0x00, 0x01, 0x00}),
             {{kRed, 0x008200}, {kBlue, 0x000008}}},
        Case{"OverlappingMasks", bitfields(1, 1, 16, {0xF800, 0x0FE0, 0x001F}, {0, 0, 0, 0}), {}, "masques"},
        Case{"MaskNotContiguous", bitfields(1, 1, 16, {0xF800, 0x07E0, 0x0015}, {0, 0, 0, 0}), {}, "masques"},
        Case{"MissingBlueMask", bitfields(1, 1, 16, {0xF800, 0x07E0, 0x0000}, {0, 0, 0, 0}), {}, "masques"},
        Case{"MaskWiderThanThePixel", bitfields(1, 1, 16, {0x1F0000, 0x07E0, 0x001F}, {0, 0, 0, 0}), {}, "masques"},
        // colours_used 0 would mean 256: the palette is what fits before the pixels.
        Case{"UndeclaredShortPalette", {.width = 2, .height = 1, .palette = {kBlue, kRed}, .pixels = {1, 0, 0, 0}},
             {{kRed, kBlue}}},
        Case{"IndexPastUndeclaredShortPalette",
             {.width = 2, .height = 1, .palette = {kBlue, kRed}, .pixels = {2, 0, 0, 0}}, {}, "palette"},
        Case{"TwoBitsPerPixel",
             {.width = 5, .height = 1, .bpp = 2, .palette = {kBlack, kRed, kGreen, kBlue},
              .pixels = {0b00011011, 0b01000000, 0, 0}},
             {{kBlack, kRed, kGreen, kBlue, kRed}}},
        Case{"OnlyJpegOrPngIsTakenFromInside", bitmap_inside_a_bitmap(), {}, "intégrée"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
