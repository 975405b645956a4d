// The BMP Suite: good files must look like their reference rendering,
// questionable ones must load that way or be refused with a reason, bad
// ones must be refused, never shown in part and never crash.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <map>
#include <set>

#include "picture_loader.h"

namespace {

const QString kSuite = QStringLiteral(TESTDATA_DIR "/bmpsuite");

QByteArray read_all(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

std::set<QString> files_in(const QString& folder) {
    std::set<QString> names;
    for (const QString& n : QDir(kSuite + "/" + folder).entryList(QDir::Files)) names.insert(n);
    return names;
}

// The reference rendering laid on white, with the same rounding the loader
// uses, as 0xRRGGBB per pixel.
QImage reference_on_white(const QString& name) {
    const QImage src = QImage(kSuite + "/expected/" + name).convertToFormat(QImage::Format_ARGB32);
    QImage out(src.size(), QImage::Format_RGB32);
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x) {
            const QRgb p = src.pixel(x, y);
            const int a = qAlpha(p), back = 255 * (255 - a);
            auto mix = [&](int c) { return (c * a + back + 127) / 255; };
            out.setPixel(x, y, qRgb(mix(qRed(p)), mix(qGreen(p)), mix(qBlue(p))));
        }
    return out;
}

// Largest difference of any channel, and where it is; -1 when the sizes differ.
struct Difference {
    int largest = -1;
    int x = 0, y = 0;
};

Difference compare(const QImage& got, const QImage& want) {
    Difference d;
    if (got.size() != want.size()) return d;
    d.largest = 0;
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x) {
            const QRgb a = got.pixel(x, y), b = want.pixel(x, y);
            const int diff = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                       std::abs(qBlue(a) - qBlue(b))});
            if (diff > d.largest) d = {diff, x, y};
        }
    return d;
}

struct Rendering {
    const char* file;      // folder/name.bmp
    const char* expected;  // reference in expected/
    int tolerance;         // largest channel difference allowed
};

std::ostream& operator<<(std::ostream& os, const Rendering& r) { return os << r.file; }

// Tolerances: exact everywhere (channels of other widths are scaled to 8 bits
// with rounding, as the references are), except where a file holds more
// precision than its 8-bit reference.
const Rendering kRenderings[] = {
    {"g/pal1.bmp", "pal1.png", 0},
    {"g/pal1bg.bmp", "pal1bg.png", 0},
    {"g/pal1wb.bmp", "pal1.png", 0},
    {"g/pal4.bmp", "pal4.png", 0},
    {"g/pal4gs.bmp", "pal4gs.png", 0},
    {"g/pal4rle.bmp", "pal4.png", 0},
    {"g/pal8-0.bmp", "pal8.png", 0},
    {"g/pal8.bmp", "pal8.png", 0},
    {"g/pal8gs.bmp", "pal8gs.png", 0},
    {"g/pal8nonsquare.bmp", "pal8nonsquare-e.png", 0},
    {"g/pal8os2.bmp", "pal8.png", 0},
    {"g/pal8rle.bmp", "pal8.png", 0},
    {"g/pal8topdown.bmp", "pal8.png", 0},
    {"g/pal8v4.bmp", "pal8.png", 0},
    {"g/pal8v5.bmp", "pal8.png", 0},
    {"g/pal8w124.bmp", "pal8w124.png", 0},
    {"g/pal8w125.bmp", "pal8w125.png", 0},
    {"g/pal8w126.bmp", "pal8w126.png", 0},
    {"g/rgb16-565.bmp", "rgb16-565.png", 0},
    {"g/rgb16-565pal.bmp", "rgb16-565.png", 0},
    {"g/rgb16.bmp", "rgb16.png", 0},
    {"g/rgb16bfdef.bmp", "rgb16.png", 0},
    {"g/rgb24.bmp", "rgb24.png", 0},
    {"g/rgb24pal.bmp", "rgb24.png", 0},
    {"g/rgb32.bmp", "rgb24.png", 0},
    {"g/rgb32bf.bmp", "rgb24.png", 0},
    {"g/rgb32bfdef.bmp", "rgb24.png", 0},
    // Questionable files we read.
    {"q/pal1p1.bmp", "pal1p1.png", 0},
    {"q/pal2.bmp", "pal2.png", 0},
    {"q/pal2color.bmp", "pal2color.png", 0},
    {"q/pal4rlecut.bmp", "pal4rlecut.png", 0},  // pixels the stream never sets are white
    {"q/pal4rletrns.bmp", "pal4rletrns.png", 0},
    {"q/pal8offs.bmp", "pal8.png", 0},
    {"q/pal8os2-hs.bmp", "pal8.png", 0},
    {"q/pal8os2-sz.bmp", "pal8.png", 0},
    {"q/pal8os2sp.bmp", "pal8.png", 0},
    {"q/pal8os2v2-16.bmp", "pal8.png", 0},
    {"q/pal8os2v2-40sz.bmp", "pal8.png", 0},
    {"q/pal8os2v2-sz.bmp", "pal8.png", 0},
    {"q/pal8os2v2.bmp", "pal8.png", 0},
    {"q/pal8oversizepal.bmp", "pal8.png", 0},
    {"q/pal8rlecut.bmp", "pal8rlecut.png", 0},
    {"q/pal8rletrns.bmp", "pal8rletrns.png", 0},
    {"q/rgb16-231.bmp", "rgb16-231.png", 0},
    {"q/rgb16-3103.bmp", "rgb16-3103.png", 0},
    {"q/rgb16faketrns.bmp", "rgb16.png", 0},  // the unused top bit is not transparency
    {"q/rgb24jpeg.bmp", "rgb24.jpg", 0},
    {"q/rgb24largepal.bmp", "rgb24.png", 0},
    {"q/rgb24lprof.bmp", "rgb24.png", 0},
    {"q/rgb24png.bmp", "rgb24.png", 0},
    {"q/rgb24prof.bmp", "rgb24.png", 0},
    {"q/rgb32-111110.bmp", "rgb24.png", 1},  // 10- and 11-bit channels against an 8-bit reference
    {"q/rgb32-7187.bmp", "rgb32-7187.png", 0},
    {"q/rgb32-xbgr.bmp", "rgb24.png", 0},
    {"q/rgb32fakealpha.bmp", "rgb24.png", 0},  // no alpha mask: the fourth byte is not alpha
    {"q/rgb32h52.bmp", "rgb24.png", 0},
    {"q/rgba16-1924.bmp", "rgba16-1924.png", 0},
    {"q/rgba16-4444.bmp", "rgba16-4444.png", 0},
    {"q/rgba16-5551.bmp", "rgba16-5551.png", 0},
    {"q/rgba32-1.bmp", "rgba32.png", 0},
    {"q/rgba32-1010102.bmp", "rgba32-1010102.png", 0},
    {"q/rgba32-2.bmp", "rgba32.png", 0},
    {"q/rgba32-61754.bmp", "rgba32-61754.png", 0},
    {"q/rgba32-81284.bmp", "rgba32-81284.png", 0},
    {"q/rgba32abf.bmp", "rgba32.png", 0},
    {"q/rgba32h56.bmp", "rgba32.png", 0},
};

// Questionable files we refuse, with a word the reason must contain.
const std::map<QString, QString> kRefusedQuestionable = {
    {"pal1huffmsb.bmp", "compression"},  // one-dimensional Huffman coding
    {"rgb24rle24.bmp", "compression"},   // 24-bit RLE
    {"rgba64.bmp", "64 bits"},
};

class SuiteRendering : public testing::TestWithParam<Rendering> {};

TEST_P(SuiteRendering, LooksLikeItsReference) {
    const Rendering& r = GetParam();
    QString error;
    const QImage got = sources::load_picture(kSuite + "/" + r.file, &error);
    ASSERT_FALSE(got.isNull()) << error.toStdString();
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(got.format(), QImage::Format_RGB32);
    const QImage want = reference_on_white(r.expected);
    ASSERT_FALSE(want.isNull()) << r.expected;
    const Difference d = compare(got, want);
    ASSERT_GE(d.largest, 0) << "size " << got.width() << "x" << got.height() << " vs " << want.width() << "x"
                            << want.height();
    EXPECT_LE(d.largest, r.tolerance) << "at " << d.x << "," << d.y << ": got " << std::hex << got.pixel(d.x, d.y)
                                      << " want " << want.pixel(d.x, d.y);
}

INSTANTIATE_TEST_SUITE_P(BmpSuite, SuiteRendering, testing::ValuesIn(kRenderings), [](const auto& info) {
    std::string n = info.param.file;
    for (char& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
});

TEST(BmpSuite, EveryGoodAndQuestionableFileHasAnOutcome) {
    std::set<QString> listed;
    for (const Rendering& r : kRenderings) listed.insert(QString::fromLatin1(r.file));
    for (const QString& n : files_in("g")) EXPECT_TRUE(listed.count("g/" + n)) << n.toStdString();
    for (const QString& n : files_in("q"))
        EXPECT_TRUE(listed.count("q/" + n) || kRefusedQuestionable.count(n) || n == "rgb24prof2.bmp")
            << n.toStdString();
    EXPECT_GE(files_in("g").size(), 20u) << "suite not found under " << kSuite.toStdString();
}

// Colour profiles are not applied: this file's profile swaps red and green,
// so its stored values are the reference's with those two swapped.
TEST(BmpSuite, ColourProfileIsNotApplied) {
    QString error;
    const QImage got = sources::load_picture(kSuite + "/q/rgb24prof2.bmp", &error);
    ASSERT_FALSE(got.isNull()) << error.toStdString();
    QImage want = reference_on_white("rgb24.png");
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x) {
            const QRgb p = want.pixel(x, y);
            want.setPixel(x, y, qRgb(qGreen(p), qRed(p), qBlue(p)));
        }
    EXPECT_EQ(compare(got, want).largest, 0);
}

TEST(BmpSuite, RefusedQuestionableFilesSayWhy) {
    for (const auto& [name, word] : kRefusedQuestionable) {
        QString error;
        const QImage img = sources::load_picture(kSuite + "/q/" + name, &error);
        EXPECT_TRUE(img.isNull()) << name.toStdString();
        EXPECT_TRUE(error.contains(word)) << name.toStdString() << ": " << error.toStdString();
    }
}

// Each bad file with a word of the reason it must be refused for.
const std::map<QString, QString> kBadReasons = {
    {"badbitcount.bmp", "profondeur"},
    {"badbitssize.bmp", "taille des pixels"},
    {"baddens1.bmp", "résolution"},
    {"baddens2.bmp", "résolution"},
    {"badfilesize.bmp", "tronqué"},
    {"badheadersize.bmp", "en-tête"},
    {"badpalettesize.bmp", "palette"},
    {"badplanes.bmp", "plans"},
    {"badrle.bmp", "RLE"},
    {"badrle4.bmp", "RLE"},
    {"badrle4bis.bmp", "RLE"},
    {"badrle4ter.bmp", "RLE"},
    {"badrlebis.bmp", "RLE"},
    {"badrleter.bmp", "RLE"},
    {"badwidth.bmp", "largeur"},
    {"pal8badindex.bmp", "palette"},
    {"reallybig.bmp", "trop grande"},
    {"rgb16-880.bmp", "masques"},
    {"rletopdown.bmp", "haut en bas"},
    {"shortfile.bmp", "tronqué"},
};

TEST(BmpSuite, EveryBadFileIsRefusedWithItsReason) {
    const auto bad = files_in("b");
    EXPECT_EQ(bad.size(), kBadReasons.size());
    for (const QString& name : bad) {
        QString error;
        const QImage img = sources::load_picture(kSuite + "/b/" + name, &error);
        EXPECT_TRUE(img.isNull()) << name.toStdString();
        ASSERT_TRUE(kBadReasons.count(name)) << "no expected reason for " << name.toStdString();
        EXPECT_TRUE(error.contains(kBadReasons.at(name))) << name.toStdString() << ": " << error.toStdString();
        EXPECT_TRUE(error.startsWith(kSuite)) << "the reason names the file: " << error.toStdString();
    }
}

TEST(BmpSuite, BitmapArrayIsNotTakenForABitmap) {
    QString error;
    EXPECT_TRUE(sources::load_picture(kSuite + "/x/ba-bm.bmp", &error).isNull());
    EXPECT_TRUE(error.contains("non reconnu")) << error.toStdString();
}

// Any cut of a good file is refused, whether or not its header still claims
// the full length: the pixel data itself is checked, not only the header.
class CutGoodFile : public testing::TestWithParam<const char*> {};

TEST_P(CutGoodFile, EveryCutIsRefused) {
    const QByteArray whole = read_all(kSuite + "/g/" + GetParam());
    ASSERT_GT(whole.size(), 100);
    const qsizetype step = std::max<qsizetype>(1, whole.size() / 60);
    for (qsizetype len = 0; len < whole.size(); len += (len < 80 ? 1 : step)) {
        for (const bool fix_size : {false, true}) {
            QByteArray cut = whole.left(len);
            if (fix_size && len >= 6) {
                const auto n = static_cast<std::uint32_t>(len);
                for (int i = 0; i < 4; ++i) cut[2 + i] = static_cast<char>(n >> (8 * i));
            }
            QString error;
            const QImage img = sources::decode_picture(cut, &error);
            EXPECT_TRUE(img.isNull()) << GetParam() << " cut at " << len << (fix_size ? " (size fixed)" : "");
            EXPECT_FALSE(error.isEmpty()) << GetParam() << " cut at " << len;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BmpSuite, CutGoodFile,
                         testing::Values("pal1.bmp", "pal4.bmp", "pal4rle.bmp", "pal8rle.bmp", "pal8os2.bmp",
                                         "pal8v5.bmp", "rgb16-565.bmp", "rgb24.bmp", "rgb32bf.bmp", "pal8topdown.bmp"),
                         [](const auto& info) {
                             std::string n = info.param;
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

}  // namespace
