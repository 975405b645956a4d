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
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int block = (x * 3 / w) + 3 * (y * 2 / h);
            static const QRgb colours[] = {qRgb(220, 20, 20), qRgb(20, 200, 30), qRgb(30, 40, 210),
                                           qRgb(240, 240, 240), qRgb(10, 10, 10), qRgb(128, 128, 0)};
            img.setPixel(x, y, colours[block % 6]);
        }
    return img;
}

QByteArray jpeg_of(const QImage& img, int pixel_format = TJPF_BGRX, int quality = 95) {
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    QImage src = img.convertToFormat(QImage::Format_RGB32);
    std::vector<unsigned char> cmyk;
    const unsigned char* pixels = src.constBits();
    if (pixel_format == TJPF_CMYK) {
        // Stored inverted (0 = full ink), as most CMYK files in the wild are.
        cmyk.resize(std::size_t{4} * img.width() * img.height());
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QRgb p = src.pixel(x, y);
                unsigned char* c = &cmyk[4 * (std::size_t(y) * img.width() + x)];
                c[0] = static_cast<unsigned char>(qRed(p));
                c[1] = static_cast<unsigned char>(qGreen(p));
                c[2] = static_cast<unsigned char>(qBlue(p));
                c[3] = 255;
            }
        pixels = cmyk.data();
    }
    const int rc = tjCompress2(tj, pixels, img.width(), 4 * img.width(), img.height(), pixel_format, &out, &size,
                               TJSAMP_444, quality, 0);
    QByteArray data = rc == 0 ? QByteArray(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size))
                              : QByteArray();
    tjFree(out);
    tjDestroy(tj);
    return data;
}

QByteArray png_of(const QImage& img) {
    QByteArray bytes;
    QBuffer b(&bytes);
    b.open(QIODevice::WriteOnly);
    img.save(&b, "PNG");
    return bytes;
}

// Offset of the frame header's height field, or -1.
qsizetype sof_size_field(const QByteArray& jpeg) {
    for (qsizetype i = 2; i + 9 < jpeg.size(); ++i)
        if (static_cast<unsigned char>(jpeg[i]) == 0xFF && (static_cast<unsigned char>(jpeg[i + 1]) & 0xF0) == 0xC0 &&
            static_cast<unsigned char>(jpeg[i + 1]) != 0xC4 && static_cast<unsigned char>(jpeg[i + 1]) != 0xC8)
            return i + 5;
    return -1;
}

void put_be16(QByteArray& d, qsizetype at, int v) {
    d[at] = static_cast<char>(v >> 8);
    d[at + 1] = static_cast<char>(v & 0xFF);
}

void put_le32(QByteArray& d, qsizetype at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) d[at + i] = static_cast<char>(v >> (8 * i));
}

// A minimal 24-bit bitmap header (info header, bottom-up) for w x h,
// followed by `pixel_bytes` zero bytes.
QByteArray bmp24(std::int32_t w, std::int32_t h, qsizetype pixel_bytes) {
    QByteArray d(54 + pixel_bytes, '\0');
    d[0] = 'B';
    d[1] = 'M';
    put_le32(d, 2, static_cast<std::uint32_t>(d.size()));
    put_le32(d, 10, 54);
    put_le32(d, 14, 40);
    put_le32(d, 18, static_cast<std::uint32_t>(w));
    put_le32(d, 22, static_cast<std::uint32_t>(h));
    d[26] = 1;
    d[28] = 24;
    return d;
}

TEST(JpegLoading, ColoursSurviveInTheirPlaces) {
    const QImage src = colour_blocks(96, 64);
    QString error;
    const QImage img = sources::decode_picture(jpeg_of(src), &error);
    ASSERT_FALSE(img.isNull()) << error.toStdString();
    EXPECT_EQ(img.format(), QImage::Format_RGB32);
    ASSERT_EQ(img.size(), src.size());
    // Away from block edges a quality-95 4:4:4 JPEG stays within a few steps.
    for (const QPoint p : {QPoint(10, 10), QPoint(48, 10), QPoint(85, 10), QPoint(10, 50), QPoint(48, 50)}) {
        const QRgb got = img.pixel(p), want = src.pixel(p);
        EXPECT_NEAR(qRed(got), qRed(want), 6) << p.x() << "," << p.y();
        EXPECT_NEAR(qGreen(got), qGreen(want), 6) << p.x() << "," << p.y();
        EXPECT_NEAR(qBlue(got), qBlue(want), 6) << p.x() << "," << p.y();
    }
}

TEST(JpegLoading, BytesAfterTheEndMarkerAreIgnored) {
    QByteArray data = jpeg_of(colour_blocks(40, 30));
    data.append(QByteArray(100, 'x'));
    QString error;
    EXPECT_FALSE(sources::decode_picture(data, &error).isNull()) << error.toStdString();
}

// Cut anywhere, in the headers or in the scan, a JPEG is refused as cut.
class TruncatedJpeg : public testing::TestWithParam<double> {};

TEST_P(TruncatedJpeg, IsRefusedAsTruncated) {
    const QByteArray whole = jpeg_of(colour_blocks(120, 80));
    ASSERT_FALSE(whole.isEmpty());
    const auto len = static_cast<qsizetype>(whole.size() * GetParam());
    QString error;
    const QImage img = sources::decode_picture(whole.left(std::max<qsizetype>(len, 4)), &error);
    EXPECT_TRUE(img.isNull()) << "kept " << len << " of " << whole.size();
    EXPECT_TRUE(error.contains(QStringLiteral("tronqué"))) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Cuts, TruncatedJpeg, testing::Values(0.0, 0.05, 0.2, 0.5, 0.9, 0.999));

TEST(JpegLoading, CutJustBeforeTheEndMarkerIsRefused) {
    const QByteArray whole = jpeg_of(colour_blocks(64, 64));
    QString error;
    EXPECT_TRUE(sources::decode_picture(whole.left(whole.size() - 2), &error).isNull());
    EXPECT_TRUE(error.contains(QStringLiteral("tronqué"))) << error.toStdString();
}

// Headers claiming more than the limit are refused before any pixel memory
// is taken (a 65000 x 65000 picture would need 16 GiB).
TEST(SizeLimits, JpegClaimingHugeSizeIsRefused) {
    QByteArray data = jpeg_of(colour_blocks(16, 16));
    const qsizetype at = sof_size_field(data);
    ASSERT_GT(at, 0);
    put_be16(data, at, 65000);
    put_be16(data, at + 2, 65000);
    QString error;
    EXPECT_TRUE(sources::decode_picture(data, &error).isNull());
    EXPECT_TRUE(error.contains(QStringLiteral("trop grande"))) << error.toStdString();
}

TEST(SizeLimits, BitmapClaimingHugeSizeIsRefused) {
    QString error;
    EXPECT_TRUE(sources::decode_picture(bmp24(100000, 100000, 64), &error).isNull());
    EXPECT_TRUE(error.contains(QStringLiteral("trop grande"))) << error.toStdString();
    // Within the limit but far more than the file holds: refused as cut, from
    // the header alone.
    EXPECT_TRUE(sources::decode_picture(bmp24(16000, 16000, 64), &error).isNull());
    EXPECT_TRUE(error.contains(QStringLiteral("tronqué"))) << error.toStdString();
}

// The caller's lower limit holds for every format.
class LowerLimit : public testing::TestWithParam<const char*> {};

TEST_P(LowerLimit, AppliesToEveryFormat) {
    const QImage src = colour_blocks(50, 40);
    QByteArray data;
    const std::string kind = GetParam();
    if (kind == "jpeg") data = jpeg_of(src);
    else if (kind == "png") data = png_of(src);
    else {
        QBuffer b(&data);
        b.open(QIODevice::WriteOnly);
        src.save(&b, "BMP");
    }
    QString error;
    EXPECT_FALSE(sources::decode_picture(data, &error, 50 * 40).isNull()) << error.toStdString();
    EXPECT_TRUE(sources::decode_picture(data, &error, 50 * 40 - 1).isNull());
    EXPECT_TRUE(error.contains(QStringLiteral("trop grande"))) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Formats, LowerLimit, testing::Values("jpeg", "png", "bmp"));

TEST(Transparency, PngAlphaIsLaidOnWhite) {
    QImage src(4, 1, QImage::Format_ARGB32);
    src.setPixel(0, 0, qRgba(0, 0, 0, 0));        // fully transparent black
    src.setPixel(1, 0, qRgba(200, 10, 30, 255));  // opaque
    src.setPixel(2, 0, qRgba(0, 0, 0, 128));      // half black
    src.setPixel(3, 0, qRgba(255, 0, 0, 64));     // a quarter red
    QString error;
    const QImage img = sources::decode_picture(png_of(src), &error);
    ASSERT_FALSE(img.isNull()) << error.toStdString();
    EXPECT_EQ(img.format(), QImage::Format_RGB32);
    EXPECT_EQ(img.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(img.pixel(1, 0) & 0xFFFFFF, qRgb(200, 10, 30) & 0xFFFFFFu);
    EXPECT_NEAR(qRed(img.pixel(2, 0)), 127, 1);
    EXPECT_NEAR(qGreen(img.pixel(2, 0)), 127, 1);
    EXPECT_EQ(qRed(img.pixel(3, 0)), 255);
    EXPECT_NEAR(qGreen(img.pixel(3, 0)), 191, 1);
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
    ASSERT_EQ(img.size(), src.size());
    for (const QPoint p : {QPoint(8, 8), QPoint(24, 8), QPoint(40, 8)}) {
        const QRgb got = img.pixel(p), want = src.pixel(p);
        EXPECT_NEAR(qRed(got), qRed(want), 8) << p.x();
        EXPECT_NEAR(qGreen(got), qGreen(want), 8) << p.x();
        EXPECT_NEAR(qBlue(got), qBlue(want), 8) << p.x();
    }
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
    QString refusal(const QString& path) {
        QString error;
        const QImage img = sources::load_picture(path, &error);
        EXPECT_TRUE(img.isNull()) << path.toStdString();
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
    const QString plain = write("plain", "x");
    EXPECT_FALSE(refusal(plain + "/inside.jpg").isEmpty());
}

// Run in a child with an alarm: a loader that blocks or reads without end
// is killed instead of hanging the tests.
QString refusal_in_child(const QString& path) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) return QStringLiteral("no pipe");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe_fds[0]);
        ::alarm(10);
        QString error;
        const QImage img = sources::load_picture(path, &error);
        const QByteArray text = (img.isNull() ? error : QStringLiteral("loaded")).toUtf8();
        const ssize_t written = ::write(pipe_fds[1], text.constData(), static_cast<std::size_t>(text.size()));
        ::_exit(written == text.size() ? 0 : 1);
    }
    ::close(pipe_fds[1]);
    QByteArray text;
    char buf[512];
    for (ssize_t n; (n = ::read(pipe_fds[0], buf, sizeof buf)) > 0;) text.append(buf, n);
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status)) return QStringLiteral("killed");
    return QString::fromUtf8(text);
}

TEST_F(BadFile, SpecialFilesAreRefusedWithoutReading) {
    const QString fifo = dir.filePath("pipe.jpg");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0644), 0);
    EXPECT_TRUE(refusal_in_child(fifo).contains(QStringLiteral("fichier ordinaire"))) << refusal_in_child(fifo).toStdString();
    const QString zero = refusal_in_child(QStringLiteral("/dev/zero"));
    EXPECT_TRUE(zero.contains(QStringLiteral("fichier ordinaire"))) << zero.toStdString();
}

TEST_F(BadFile, FileTooBigForAnyPictureIsRefusedUnread) {
    // Sparse: costs no disk.
    QFile big(dir.filePath("big.bmp"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(sources::kMaxPicturePixels * 4 + (qint64{1} << 21)));
    big.close();
    EXPECT_TRUE(refusal(big.fileName()).contains(QStringLiteral("trop gros")));
}

// Damaged copies of real files must never crash the loader nor be shown
// half-read as a whole; a tight limit keeps forged sizes cheap.
TEST(Damage, RandomlyDamagedFilesNeverCrash) {
    std::mt19937 rng(1234);
    const QString suite = QStringLiteral(TESTDATA_DIR "/bmpsuite/");
    std::vector<QByteArray> seeds = {jpeg_of(colour_blocks(32, 24)), png_of(colour_blocks(20, 10))};
    for (const char* name : {"g/pal4rle.bmp", "g/pal8rle.bmp", "g/rgb16-565.bmp", "g/pal1.bmp", "q/rgba32h56.bmp",
                             "q/rgb24png.bmp", "q/pal8os2v2-16.bmp"}) {
        QFile f(suite + name);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name;
        seeds.push_back(f.readAll());
    }
    int refused = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray d = seeds[round % seeds.size()];
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            // Headers matter most: favour the first hundred bytes.
            const auto at = static_cast<qsizetype>(rng() % (rng() % 2 ? std::min<qsizetype>(100, d.size()) : d.size()));
            d[at] = static_cast<char>(rng());
        }
        if (rng() % 4 == 0) d.truncate(static_cast<qsizetype>(rng() % d.size()));
        QString error;
        const QImage img = sources::decode_picture(d, &error, 1 << 20);
        if (img.isNull()) {
            ++refused;
            EXPECT_FALSE(error.isEmpty()) << "round " << round;
        } else {
            EXPECT_EQ(img.format(), QImage::Format_RGB32);
            EXPECT_LE(std::int64_t{img.width()} * img.height(), 1 << 20);
        }
    }
    EXPECT_GT(refused, 300);  // damage that is never noticed would be suspicious
}

}  // namespace
