// Loading pictures that are not what they claim to be, and the few ways a
// real picture can still surprise the loader (alpha, CMYK, trailing bytes).
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "picture_loader.h"

namespace {

QImage colour_blocks(int w, int h) {
    static const QRgb colours[] = {qRgb(220, 20, 20),    qRgb(20, 200, 30), qRgb(30, 40, 210),
                                   qRgb(240, 240, 240), qRgb(10, 10, 10),  qRgb(128, 128, 0)};
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, colours[(x * 3 / w + 3 * (y * 2 / h)) % 6]);
    return img;
}

// CMYK is stored inverted (0 = full ink), as most CMYK files in the wild are:
// the RGB bytes with a K of 255 stand for the same colours.
QByteArray jpeg_of(const QImage& img, int pixel_format = TJPF_BGRX) {
    QImage src = img.convertToFormat(QImage::Format_RGB32);
    if (pixel_format == TJPF_CMYK) src = src.convertToFormat(QImage::Format_RGBX8888);
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int rc = tjCompress2(tj, src.constBits(), img.width(), 4 * img.width(), img.height(), pixel_format, &out,
                               &size, TJSAMP_444, 95, 0);
    const QByteArray data = rc == 0 ? QByteArray(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size))
                                    : QByteArray();
    tjFree(out);
    tjDestroy(tj);
    return data;
}

QByteArray encoded(const QImage& img, const char* format) {
    QByteArray bytes;
    QBuffer b(&bytes);
    b.open(QIODevice::WriteOnly);
    img.save(&b, format);
    return bytes;
}

QImage decoded(const QByteArray& data, std::int64_t max_pixels = sources::kMaxPicturePixels) {
    QString error;
    QImage img = sources::decode_picture(data, &error, max_pixels);
    EXPECT_FALSE(img.isNull()) << error.toStdString();
    EXPECT_TRUE(img.isNull() || img.format() == QImage::Format_RGB32);
    return img;
}

// The reason a refusal gives; empty when the data was (wrongly) accepted.
QString refused(const QByteArray& data, std::int64_t max_pixels = sources::kMaxPicturePixels) {
    QString error;
    return sources::decode_picture(data, &error, max_pixels).isNull() ? error : QString();
}

void expect_colours_near(const QImage& got, const QImage& want, std::initializer_list<QPoint> at, int tolerance) {
    ASSERT_EQ(got.size(), want.size());
    for (const QPoint p : at)
        for (const int shift : {16, 8, 0})  // red, green, blue
            EXPECT_NEAR(int(got.pixel(p) >> shift & 0xFF), int(want.pixel(p) >> shift & 0xFF), tolerance)
                << p.x() << "," << p.y();
}

TEST(JpegLoading, ColoursSurviveInTheirPlacesAndTrailingBytesAreIgnored) {
    const QImage src = colour_blocks(96, 64);
    // Away from block edges a quality-95 4:4:4 JPEG stays within a few steps.
    expect_colours_near(decoded(jpeg_of(src) + QByteArray(100, 'x')), src,
                        {{10, 10}, {48, 10}, {85, 10}, {10, 50}, {48, 50}}, 6);
}

TEST(JpegLoading, CmykJpegLoadsOrIsRefusedCleanly) {
    const QImage src = colour_blocks(48, 32);
    const QByteArray data = jpeg_of(src, TJPF_CMYK);
    ASSERT_FALSE(data.isEmpty());
    QString error;
    const QImage img = sources::decode_picture(data, &error);
    if (img.isNull()) {
        EXPECT_FALSE(error.isEmpty());
        return;
    }
    EXPECT_EQ(img.format(), QImage::Format_RGB32);
    expect_colours_near(img, src, {{8, 8}, {24, 8}, {40, 8}}, 8);
}

// Cut anywhere, in the headers, in the scan or just before the end marker, a
// JPEG is refused as cut.
TEST(JpegLoading, EveryCutIsRefusedAsTruncated) {
    const QByteArray whole = jpeg_of(colour_blocks(120, 80));
    ASSERT_FALSE(whole.isEmpty());
    const auto n = whole.size();
    for (const qsizetype len : {qsizetype{4}, n / 20, n / 5, n / 2, n * 9 / 10, n * 999 / 1000, n - 2})
        EXPECT_TRUE(refused(whole.left(len)).contains(QStringLiteral("tronqué"))) << "kept " << len << " of " << n;
}

// Headers claiming more than the limit are refused before any pixel memory
// is taken (a 65000 x 65000 picture would need 16 GiB).
QByteArray jpeg_claiming(int side) {
    QByteArray d = jpeg_of(colour_blocks(16, 16));
    // The frame header: a marker FFC0-FFCF other than the table markers C4 and C8.
    for (qsizetype i = 2; i + 9 < d.size(); ++i) {
        const auto m = static_cast<unsigned char>(d[i + 1]);
        if (static_cast<unsigned char>(d[i]) != 0xFF || (m & 0xF0) != 0xC0 || m == 0xC4 || m == 0xC8) continue;
        for (const qsizetype at : {i + 5, i + 7})  // height, width
            d[at] = static_cast<char>(side >> 8), d[at + 1] = static_cast<char>(side);
        return d;
    }
    return {};
}

// A small bitmap whose header claims w x h.
QByteArray bmp_claiming(std::uint32_t w, std::uint32_t h) {
    QByteArray d = encoded(colour_blocks(4, 4), "BMP");
    for (int i = 0; i < 4; ++i) {
        d[18 + i] = static_cast<char>(w >> (8 * i));
        d[22 + i] = static_cast<char>(h >> (8 * i));
    }
    return d;
}

TEST(SizeLimits, HugeClaimsAreRefusedFromTheHeader) {
    EXPECT_TRUE(refused(jpeg_claiming(65000)).contains(QStringLiteral("trop grande")));
    EXPECT_TRUE(refused(bmp_claiming(100000, 100000)).contains(QStringLiteral("trop grande")));
    // Within the limit but far more than the file holds: refused as cut.
    EXPECT_TRUE(refused(bmp_claiming(16000, 16000)).contains(QStringLiteral("tronqué")));
}

// The caller's lower limit holds for every format.
class LowerLimit : public testing::TestWithParam<const char*> {};

TEST_P(LowerLimit, AppliesToEveryFormat) {
    const QImage src = colour_blocks(50, 40);
    const QByteArray data = std::string(GetParam()) == "JPEG" ? jpeg_of(src) : encoded(src, GetParam());
    EXPECT_FALSE(decoded(data, 50 * 40).isNull());
    EXPECT_TRUE(refused(data, 50 * 40 - 1).contains(QStringLiteral("trop grande")));
}

INSTANTIATE_TEST_SUITE_P(Formats, LowerLimit, testing::Values("JPEG", "PNG", "BMP"));

TEST(Transparency, PngAlphaIsLaidOnWhite) {
    QImage src(4, 1, QImage::Format_ARGB32);
    src.setPixel(0, 0, qRgba(0, 0, 0, 0));        // fully transparent black
    src.setPixel(1, 0, qRgba(200, 10, 30, 255));  // opaque
    src.setPixel(2, 0, qRgba(0, 0, 0, 128));      // half black
    src.setPixel(3, 0, qRgba(255, 0, 0, 64));     // a quarter red
    const QImage img = decoded(encoded(src, "PNG"));
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(img.pixel(1, 0) & 0xFFFFFF, qRgb(200, 10, 30) & 0xFFFFFFu);
    EXPECT_NEAR(qRed(img.pixel(2, 0)), 127, 1);
    EXPECT_NEAR(qGreen(img.pixel(2, 0)), 127, 1);
    EXPECT_EQ(qRed(img.pixel(3, 0)), 255);
    EXPECT_NEAR(qGreen(img.pixel(3, 0)), 191, 1);
}

class BadFile : public testing::Test {
protected:
    QTemporaryDir dir;
    QString write(const QString& name, const QByteArray& bytes) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }
    // The reason names the file.
    QString refusal(const QString& path) {
        QString error;
        EXPECT_TRUE(sources::load_picture(path, &error).isNull()) << path.toStdString();
        EXPECT_TRUE(error.startsWith(path)) << error.toStdString();
        return error;
    }
};

TEST_F(BadFile, EachIsRefusedWithItsReason) {
    EXPECT_TRUE(refusal(write("notes.jpg", "just some text\n")).contains(QStringLiteral("non reconnu")));
    EXPECT_TRUE(refusal(write("empty.jpg", {})).contains(QStringLiteral("vide")));
    EXPECT_TRUE(refusal(dir.path()).contains(QStringLiteral("dossier")));
    EXPECT_TRUE(refusal(dir.filePath("missing.jpg")).contains(QStringLiteral("introuvable")));
    const QByteArray jpeg = jpeg_of(colour_blocks(64, 64));
    EXPECT_TRUE(refusal(write("cut.jpg", jpeg.left(jpeg.size() / 2))).contains(QStringLiteral("tronqué")));
    EXPECT_TRUE(refusal(write("garbage.bmp", "BM" + QByteArray(60, '\x7f'))).contains(QStringLiteral("BMP")));
    // Through a regular file, so that even root cannot read it.
    EXPECT_FALSE(refusal(write("plain", "x") + "/inside.jpg").isEmpty());
    // Sparse: costs no disk.
    QFile big(dir.filePath("big.bmp"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(sources::kMaxPicturePixels * 4 + (qint64{1} << 21)));
    big.close();
    EXPECT_TRUE(refusal(big.fileName()).contains(QStringLiteral("trop gros")));
}

// Run in a child with an alarm: a loader that blocks or reads without end
// is killed instead of hanging the tests.
TEST_F(BadFile, SpecialFilesAreRefusedWithoutReading) {
    const QString fifo = dir.filePath("pipe.jpg");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0644), 0);
    for (const QString& path : {fifo, QStringLiteral("/dev/zero")}) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(10);
            QString error;
            const bool refused = sources::load_picture(path, &error).isNull();
            ::_exit(refused && error.contains(QStringLiteral("fichier ordinaire")) ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << path.toStdString() << (WIFEXITED(status) ? ": loaded, or another reason" : ": blocked");
    }
}

// Damaged copies of real files must never crash the loader nor be shown
// half-read as a whole; a tight limit keeps forged sizes cheap.
TEST(Damage, RandomlyDamagedFilesNeverCrash) {
    std::mt19937 rng(1234);
    std::vector<QByteArray> seeds = {jpeg_of(colour_blocks(32, 24)), encoded(colour_blocks(20, 10), "PNG")};
    for (const char* name : {"g/pal4rle.bmp", "g/pal8rle.bmp", "g/rgb16-565.bmp", "g/pal1.bmp", "q/rgba32h56.bmp",
                             "q/rgb24png.bmp", "q/pal8os2v2-16.bmp"}) {
        QFile f(QStringLiteral(TESTDATA_DIR "/bmpsuite/") + name);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name;
        seeds.push_back(f.readAll());
    }
    int refusals = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray d = seeds[round % seeds.size()];
        for (int e = 0, edits = 1 + static_cast<int>(rng() % 8); e < edits; ++e) {
            // Headers matter most: favour the first hundred bytes.
            const auto at = static_cast<qsizetype>(rng() % (rng() % 2 ? std::min<qsizetype>(100, d.size()) : d.size()));
            d[at] = static_cast<char>(rng());
        }
        if (rng() % 4 == 0) d.truncate(static_cast<qsizetype>(rng() % d.size()));
        QString error;
        const QImage img = sources::decode_picture(d, &error, 1 << 20);
        if (img.isNull()) {
            ++refusals;
            EXPECT_FALSE(error.isEmpty()) << "round " << round;
        } else {
            EXPECT_EQ(img.format(), QImage::Format_RGB32);
            EXPECT_LE(std::int64_t{img.width()} * img.height(), 1 << 20);
        }
    }
    EXPECT_GT(refusals, 300);  // damage that is never noticed would be suspicious
}

}  // namespace
