// What the loader makes of given bytes: the picture, or a refusal for the right reason.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <cstring>
#include <map>
#include <span>

#include "picture_loader.h"

namespace {

// The picture, within `tolerance` a channel, or (`want` null) a refusal whose reason holds `reason`.
void expect_outcome(const QByteArray& data, const QImage& want, const QString& reason, int tolerance = 0,
                    std::int64_t max_pixels = core::kMaxPicturePixels) {
    const auto decoded = sources::decode_picture(data, max_pixels);
    const QString error = decoded ? QString() : decoded.error().reason_as<QString>();
    const QImage got = decoded.value_or(QImage());
    EXPECT_TRUE(error.contains(reason) && want.isNull() != error.isEmpty()) << error.toStdString();
    ASSERT_TRUE(got.size() == want.size() && (got.isNull() || got.format() == QImage::Format_RGB32));
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x)
            for (const int s : {0, 8, 16})
                ASSERT_NEAR(got.pixel(x, y) >> s & 0xFF, want.pixel(x, y) >> s & 0xFF, tolerance) << x << "," << y;
}

const QString kSuite = QStringLiteral(TESTDATA_DIR "/bmpsuite/");

// "reference: files" (a file's reference is expected/<its name>.png unless listed here;
// "-": it need only load) and "!a word of the reason it is refused for: files".
const char* const kOutcomes[] = {
    "pal1.png: g/pal1wb",
    "pal4.png: g/pal4rle",
    "pal8.png: g/pal8-0 g/pal8os2 g/pal8rle g/pal8topdown g/pal8v4 g/pal8v5 q/pal8offs q/pal8os2-hs",
    "pal8.png: q/pal8os2-sz q/pal8os2sp q/pal8os2v2-16 q/pal8os2v2-40sz q/pal8os2v2-sz q/pal8os2v2",
    "pal8.png: q/pal8oversizepal",
    "pal8nonsquare-e.png: g/pal8nonsquare",
    "rgb16-565.png: g/rgb16-565pal",
    "rgb16.png: g/rgb16bfdef q/rgb16faketrns",
    "rgb24.png: g/rgb24pal g/rgb32 g/rgb32bf g/rgb32bfdef q/rgb24largepal q/rgb24lprof q/rgb24png",
    "rgb24.png: q/rgb24prof q/rgb32-xbgr q/rgb32fakealpha q/rgb32h52",
    "rgb24.jpg: q/rgb24jpeg",
    "rgba32.png: q/rgba32-1 q/rgba32-2 q/rgba32abf q/rgba32h56",
    "-: q/rgb24prof2 q/rgb32-111110",  // a profile not applied; channels wider than the reference's
    "!RLE: b/badrle b/badrle4 b/badrle4bis b/badrle4ter b/badrlebis b/badrleter",
    "!résolution: b/baddens1 b/baddens2",
    "!tronqué: b/badfilesize b/shortfile",
    "!palette: b/badpalettesize b/pal8badindex",
    "!compression: q/pal1huffmsb q/rgb24rle24",
    "!profondeur: b/badbitcount",
    "!taille des pixels: b/badbitssize",
    "!en-tête: b/badheadersize",
    "!plans: b/badplanes",
    "!largeur: b/badwidth",
    "!trop grande: b/reallybig",
    "!masques: b/rgb16-880",
    "!haut en bas: b/rletopdown",
    "!64 bits: q/rgba64",
    "!non reconnu: x/ba-bm",
};

// The reference laid on white with the loader's rounding.
QImage reference_on_white(const QString& name) {
    QImage img = QImage(kSuite + "expected/" + name).convertToFormat(QImage::Format_ARGB32);
    for (QRgb& p : std::span(reinterpret_cast<QRgb*>(img.bits()), img.width() * img.height())) {
        auto mix = [a = qAlpha(p)](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
        p = qRgb(mix(qRed(p)), mix(qGreen(p)), mix(qBlue(p)));
    }
    return img;
}

TEST(BmpSuite, EveryFileHasItsOutcome) {
    std::map<QString, QString> outcome;
    for (const QString row : kOutcomes)
        for (const QString& file : row.section(": ", 1).split(' ')) outcome[file] = row.section(": ", 0, 0);
    ASSERT_TRUE(QDir(kSuite + "g").exists()) << kSuite.toStdString();
    for (const QString folder : {"g", "q", "b", "x"})
        for (const QString& file : QDir(kSuite + folder).entryList(QDir::Files)) {
            const QString name = folder + "/" + file.chopped(4);
            const QString want = outcome.count(name) ? outcome[name] : file.chopped(4) + ".png";
            SCOPED_TRACE(name.toStdString());
            QFile f(kSuite + folder + "/" + file);
            const QByteArray whole = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
            const bool refused = want.startsWith('!');
            EXPECT_TRUE(folder != "b" || refused) << "a bad file must be refused";
            if (want == "-") {
                EXPECT_TRUE(sources::decode_picture(whole));
            } else {
                expect_outcome(whole, refused ? QImage() : reference_on_white(want), refused ? want.mid(1) : "");
            }
            // Any cut of a good file, with or without the header's file size made to agree with it.
            const qsizetype n = folder == "g" ? whole.size() : 0;
            for (qsizetype len = 0; len < n; len += len < 80 || len > n - 80 ? 1 : 9)
                for (const bool fix_size : {false, len >= 6}) {
                    QByteArray cut = whole.left(len);
                    for (int i = 0; fix_size && i < 4; ++i) cut[2 + i] = static_cast<char>(len >> (8 * i));
                    EXPECT_FALSE(sources::decode_picture(cut)) << len << fix_size;
                }
        }
}

constexpr QRgb kBlack = 0xFF000000, kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kWhite = 0xFFFFFFFF;

// A bitmap with a 40-byte header followed by `table` (palette or bit-field masks).
QByteArray bmp(int w, int h, int bpp, int compression, std::vector<std::uint32_t> table,
               std::vector<std::uint8_t> pixels) {
    const qsizetype at = 54 + 4 * std::ssize(table);
    QByteArray d(at + std::ssize(pixels), '\0');
    // Offset, value, bytes.
    const qsizetype fields[][3] = {{0, 'B' | 'M' << 8, 2},
                                   {2, d.size(), 4},
                                   {10, at, 4},
                                   {14, 40, 4},
                                   {18, w, 4},
                                   {22, h, 4},
                                   {26, 1, 2},
                                   {28, bpp, 2},
                                   {30, compression, 4},
                                   {34, std::ssize(pixels), 4}};
    for (const auto& [offset, v, n] : fields)
        for (int i = 0; i < n; ++i) d[offset + i] = static_cast<char>(v >> (8 * i));
    std::memcpy(d.data() + 54, table.data(), 4 * table.size());
    std::memcpy(d.data() + at, pixels.data(), pixels.size());
    return d;
}

// A 4 x 2 RLE8 picture over black, red and green; the stream starts with the bottom row.
QByteArray rle8(std::vector<std::uint8_t> stream) { return bmp(4, 2, 8, 1, {kBlack, kRed, kGreen}, stream); }

QImage picture(int w, std::vector<QRgb> px, QImage::Format format = QImage::Format_RGB32) {
    QImage img(w, static_cast<int>(px.size()) / w, format);
    std::copy(px.begin(), px.end(), reinterpret_cast<QRgb*>(img.bits()));
    return img;
}

QByteArray encoded(const QImage& img, const char* format) {
    QBuffer b;
    b.open(QIODevice::WriteOnly);
    img.save(&b, format, 95);
    return b.data();
}

TEST(Decode, GivesThePictureWithinTheLimitOrTheReason) {
    const QImage flat = picture(48, std::vector<QRgb>(48 * 32, qRgb(220, 40, 140)));
    const QByteArray jpg = encoded(flat, "JPEG");
    const QImage alpha =
        picture(3, {qRgba(0, 0, 0, 0), qRgba(0, 0, 0, 128), qRgba(255, 0, 0, 64)}, QImage::Format_ARGB32);
    const QByteArray inside = bmp(1, 1, 24, 0, {}, {1, 2, 3, 0});
    const std::int64_t limit = 48 * 32;
    // Name, bytes, the picture or null, a word of the reason, the tolerance, the pixel limit.
    const std::tuple<const char*, QByteArray, QImage, const char*, int, std::int64_t> cases[] = {
        {"RleRowsThenEndOfLineWithoutEndMark", rle8({4, 1, 0, 0, 2, 2, 0, 0}),
         picture(4, {kGreen, kGreen, kWhite, kWhite, kRed, kRed, kRed, kRed}), "", 0, limit},
        {"RleRunOnePastRowEnd", rle8({5, 1, 0, 1}), {}, "RLE", 0, limit},
        {"RleCopyOnePastRowEnd", rle8({2, 1, 0, 3, 1, 1, 1, 0, 0, 1}), {}, "RLE", 0, limit},
        {"RleMovePastRowEnd", rle8({0, 2, 5, 0, 0, 1}), {}, "RLE", 0, limit},
        {"RleMovePastLastRow", rle8({0, 2, 0, 3, 0, 1}), {}, "RLE", 0, limit},
        {"RleRunAfterLastRow", rle8({0, 0, 0, 0, 1, 1, 0, 1}), {}, "RLE", 0, limit},
        {"RleStopsMidRow", rle8({2, 1}), {}, "tronquées", 0, limit},
        {"IndexPastShortPalette", bmp(2, 1, 8, 0, {kRed, kGreen}, {2, 0, 0, 0}), {}, "palette", 0, limit},
        // Red 1 at alpha 128 on white is 128 when rounded, 127 when truncated.
        {"AlphaOnWhite", bmp(2, 1, 32, 6, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, {0, 0, 1, 128, 9, 9, 9, 0}),
         picture(2, {0xFF807F7F, kWhite}), "", 0, limit},
        {"MasksOverlap", bmp(1, 1, 16, 3, {0xF800, 0x0FE0, 0x1F}, {0, 0, 0, 0}), {}, "masques", 0, limit},
        {"MaskTooWide", bmp(1, 1, 16, 3, {0x1F0000, 0x07E0, 0x1F}, {0, 0, 0, 0}), {}, "masques", 0, limit},
        // Claims a PNG inside but holds a bitmap: the decoder must not go round again.
        {"BitmapInside", bmp(1, 1, 0, 5, {}, {inside.begin(), inside.end()}), {}, "intégrée", 0, limit},
        // Stray bytes before the end marker only warn; bytes after it are ignored.
        {"JpegWithStrayBytes", jpg.chopped(2) + QByteArray(50, 0) + "\xFF\xD9" + "xyz", flat, "", 2, limit},
        {"IndexedPng", encoded(flat.convertToFormat(QImage::Format_Indexed8), "PNG"), flat, "", 0, limit},
        {"PngAlpha", encoded(alpha, "PNG"), picture(3, {kWhite, 0xFF7F7F7F, 0xFFFFBFBF}), "", 1, limit},
        {"JpegOverLimit", jpg, {}, "trop grande", 0, limit - 1},
        {"PngOverLimit", encoded(flat, "PNG"), {}, "trop grande", 0, limit - 1},
        {"BmpOverLimit", encoded(flat, "BMP"), {}, "trop grande", 0, limit - 1},
        {"JpegCutAtSegment", jpg.left(4 + (uchar(jpg[4]) << 8 | uchar(jpg[5]))), {}, "tronqué", 0, limit},
        {"JpegCutInScan", jpg.left(jpg.size() * 2 / 3), {}, "tronqué", 0, limit},
        {"JpegCutBeforeEndMarker", jpg.chopped(2), {}, "tronqué", 0, limit},
        {"Empty", {}, {}, "vide", 0, limit},
    };
    for (const auto& [name, data, want, reason, tolerance, max_pixels] : cases) {
        SCOPED_TRACE(name);
        expect_outcome(data, want, QString::fromUtf8(reason), tolerance, max_pixels);
    }
}

// A sensor's 16-bit grey has its own range spread over 0..255 (rounded to the
// nearest, halves up), from a PNG or a TIFF alike.
TEST(Decode, GreyOfMoreThan8BitsIsSpreadOverItsOwnRange) {
    for (const auto& [format, low, step] : {std::tuple("png", 1000, 41), {"tiff", 300, 7}}) {
        QImage ramp(97, 3, QImage::Format_Grayscale16), want(97, 3, QImage::Format_RGB32);
        for (int i = 0; i < 97 * 3; ++i) {
            const int x = i % 97, g = (x * 255 * 2 + 96) / 192;  // x * 255 / 96, halves up
            reinterpret_cast<quint16*>(ramp.scanLine(i / 97))[x] = low + x * step;
            want.setPixel(x, i / 97, qRgb(g, g, g));
        }
        QByteArray bytes;
        QBuffer buffer(&bytes);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && ramp.save(&buffer, format)) << format;
        SCOPED_TRACE(format);
        expect_outcome(bytes, want, "");
    }
}

}  // namespace
