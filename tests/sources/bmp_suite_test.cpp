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

const QString kSuite = QStringLiteral(TESTDATA_DIR "/bmpsuite/");

std::set<QString> files_in(const QString& folder) {
    const QStringList names = QDir(kSuite + folder).entryList(QDir::Files);
    return {names.begin(), names.end()};
}

// The reference rendering laid on white, with the same rounding the loader uses.
QImage reference_on_white(const QString& name) {
    QImage out = QImage(kSuite + "expected/" + name).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = out.pixel(x, y);
            auto mix = [a = qAlpha(p)](int c) { return (c * a + 255 * (255 - a) + 127) / 255; };
            out.setPixel(x, y, qRgb(mix(qRed(p)), mix(qGreen(p)), mix(qBlue(p))));
        }
    return out;
}

// Fails where any channel differs by more than `tolerance`, saying where.
testing::AssertionResult looks_like(const QImage& got, const QImage& want, int tolerance) {
    if (got.size() != want.size())
        return testing::AssertionFailure() << "size " << got.width() << "x" << got.height() << " vs " << want.width()
                                           << "x" << want.height();
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x) {
            const QRgb a = got.pixel(x, y), b = want.pixel(x, y);
            if (std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                          std::abs(qBlue(a) - qBlue(b))}) > tolerance)
                return testing::AssertionFailure()
                       << "at " << x << "," << y << ": got " << std::hex << a << " want " << b;
        }
    return testing::AssertionSuccess();
}

struct Rendering {
    const char* file;      // folder/name.bmp
    const char* expected;  // reference in expected/
    int tolerance = 0;     // largest channel difference allowed
};

std::ostream& operator<<(std::ostream& os, const Rendering& r) { return os << r.file; }

// Exact everywhere (channels of other widths are scaled to 8 bits with
// rounding, as the references are), except where a file holds more
// precision than its 8-bit reference.
const Rendering kRenderings[] = {
    {"g/pal1.bmp", "pal1.png"}, {"g/pal1bg.bmp", "pal1bg.png"}, {"g/pal1wb.bmp", "pal1.png"},
    {"g/pal4.bmp", "pal4.png"}, {"g/pal4gs.bmp", "pal4gs.png"}, {"g/pal4rle.bmp", "pal4.png"},
    {"g/pal8-0.bmp", "pal8.png"}, {"g/pal8.bmp", "pal8.png"}, {"g/pal8gs.bmp", "pal8gs.png"},
    {"g/pal8nonsquare.bmp", "pal8nonsquare-e.png"}, {"g/pal8os2.bmp", "pal8.png"}, {"g/pal8rle.bmp", "pal8.png"},
    {"g/pal8topdown.bmp", "pal8.png"}, {"g/pal8v4.bmp", "pal8.png"}, {"g/pal8v5.bmp", "pal8.png"},
    {"g/pal8w124.bmp", "pal8w124.png"}, {"g/pal8w125.bmp", "pal8w125.png"}, {"g/pal8w126.bmp", "pal8w126.png"},
    {"g/rgb16-565.bmp", "rgb16-565.png"}, {"g/rgb16-565pal.bmp", "rgb16-565.png"}, {"g/rgb16.bmp", "rgb16.png"},
    {"g/rgb16bfdef.bmp", "rgb16.png"}, {"g/rgb24.bmp", "rgb24.png"}, {"g/rgb24pal.bmp", "rgb24.png"},
    {"g/rgb32.bmp", "rgb24.png"}, {"g/rgb32bf.bmp", "rgb24.png"}, {"g/rgb32bfdef.bmp", "rgb24.png"},
    // Questionable files we read.
    {"q/pal1p1.bmp", "pal1p1.png"}, {"q/pal2.bmp", "pal2.png"}, {"q/pal2color.bmp", "pal2color.png"},
    {"q/pal4rlecut.bmp", "pal4rlecut.png"},  // pixels the stream never sets are white
    {"q/pal4rletrns.bmp", "pal4rletrns.png"}, {"q/pal8offs.bmp", "pal8.png"}, {"q/pal8os2-hs.bmp", "pal8.png"},
    {"q/pal8os2-sz.bmp", "pal8.png"}, {"q/pal8os2sp.bmp", "pal8.png"}, {"q/pal8os2v2-16.bmp", "pal8.png"},
    {"q/pal8os2v2-40sz.bmp", "pal8.png"}, {"q/pal8os2v2-sz.bmp", "pal8.png"}, {"q/pal8os2v2.bmp", "pal8.png"},
    {"q/pal8oversizepal.bmp", "pal8.png"}, {"q/pal8rlecut.bmp", "pal8rlecut.png"},
    {"q/pal8rletrns.bmp", "pal8rletrns.png"}, {"q/rgb16-231.bmp", "rgb16-231.png"},
    {"q/rgb16-3103.bmp", "rgb16-3103.png"},
    {"q/rgb16faketrns.bmp", "rgb16.png"},  // the unused top bit is not transparency
    {"q/rgb24jpeg.bmp", "rgb24.jpg"}, {"q/rgb24largepal.bmp", "rgb24.png"}, {"q/rgb24lprof.bmp", "rgb24.png"},
    {"q/rgb24png.bmp", "rgb24.png"}, {"q/rgb24prof.bmp", "rgb24.png"},
    {"q/rgb32-111110.bmp", "rgb24.png", 1},  // 10- and 11-bit channels against an 8-bit reference
    {"q/rgb32-7187.bmp", "rgb32-7187.png"}, {"q/rgb32-xbgr.bmp", "rgb24.png"},
    {"q/rgb32fakealpha.bmp", "rgb24.png"},  // no alpha mask: the fourth byte is not alpha
    {"q/rgb32h52.bmp", "rgb24.png"}, {"q/rgba16-1924.bmp", "rgba16-1924.png"},
    {"q/rgba16-4444.bmp", "rgba16-4444.png"}, {"q/rgba16-5551.bmp", "rgba16-5551.png"},
    {"q/rgba32-1.bmp", "rgba32.png"}, {"q/rgba32-1010102.bmp", "rgba32-1010102.png"},
    {"q/rgba32-2.bmp", "rgba32.png"}, {"q/rgba32-61754.bmp", "rgba32-61754.png"},
    {"q/rgba32-81284.bmp", "rgba32-81284.png"}, {"q/rgba32abf.bmp", "rgba32.png"}, {"q/rgba32h56.bmp", "rgba32.png"},
};

std::string test_name(std::string n) {
    for (char& c : n)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

class SuiteRendering : public testing::TestWithParam<Rendering> {};

TEST_P(SuiteRendering, LooksLikeItsReference) {
    QString error;
    const QImage got = sources::load_picture(kSuite + GetParam().file, &error);
    ASSERT_FALSE(got.isNull()) << error.toStdString();
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(got.format(), QImage::Format_RGB32);
    const QImage want = reference_on_white(GetParam().expected);
    ASSERT_FALSE(want.isNull()) << GetParam().expected;
    EXPECT_TRUE(looks_like(got, want, GetParam().tolerance));
}

INSTANTIATE_TEST_SUITE_P(BmpSuite, SuiteRendering, testing::ValuesIn(kRenderings),
                         [](const auto& info) { return test_name(info.param.file); });

// Colour profiles are not applied: this file's profile swaps red and green,
// so its stored values are the reference's with those two swapped.
TEST(BmpSuite, ColourProfileIsNotApplied) {
    QString error;
    const QImage got = sources::load_picture(kSuite + "q/rgb24prof2.bmp", &error);
    ASSERT_FALSE(got.isNull()) << error.toStdString();
    QImage want = reference_on_white("rgb24.png");
    for (int y = 0; y < want.height(); ++y)
        for (int x = 0; x < want.width(); ++x) {
            const QRgb p = want.pixel(x, y);
            want.setPixel(x, y, qRgb(qGreen(p), qRed(p), qBlue(p)));
        }
    EXPECT_TRUE(looks_like(got, want, 0));
}

// Each file refused with a word of the reason it must be refused for: every
// bad file, the questionable ones we do not read, and a bitmap array.
const std::map<QString, QString> kRefusals = {
    {"b/badbitcount.bmp", "profondeur"}, {"b/badbitssize.bmp", "taille des pixels"},
    {"b/baddens1.bmp", "résolution"}, {"b/baddens2.bmp", "résolution"}, {"b/badfilesize.bmp", "tronqué"},
    {"b/badheadersize.bmp", "en-tête"}, {"b/badpalettesize.bmp", "palette"}, {"b/badplanes.bmp", "plans"},
    {"b/badrle.bmp", "RLE"}, {"b/badrle4.bmp", "RLE"}, {"b/badrle4bis.bmp", "RLE"}, {"b/badrle4ter.bmp", "RLE"},
    {"b/badrlebis.bmp", "RLE"}, {"b/badrleter.bmp", "RLE"}, {"b/badwidth.bmp", "largeur"},
    {"b/pal8badindex.bmp", "palette"}, {"b/reallybig.bmp", "trop grande"}, {"b/rgb16-880.bmp", "masques"},
    {"b/rletopdown.bmp", "haut en bas"}, {"b/shortfile.bmp", "tronqué"},
    {"q/pal1huffmsb.bmp", "compression"},  // one-dimensional Huffman coding
    {"q/rgb24rle24.bmp", "compression"},   // 24-bit RLE
    {"q/rgba64.bmp", "64 bits"},
    {"x/ba-bm.bmp", "non reconnu"},
};

TEST(BmpSuite, EveryFileHasAnOutcome) {
    std::set<QString> listed = {"q/rgb24prof2.bmp"};
    for (const Rendering& r : kRenderings) listed.insert(QString::fromLatin1(r.file));
    for (const auto& entry : kRefusals) listed.insert(entry.first);
    for (const QString folder : {"g", "q", "b"})
        for (const QString& n : files_in(folder)) EXPECT_TRUE(listed.count(folder + "/" + n)) << n.toStdString();
    EXPECT_GE(files_in("g").size(), 20u) << "suite not found under " << kSuite.toStdString();
}

TEST(BmpSuite, RefusedFilesSayWhyAndNameTheFile) {
    for (const auto& [name, word] : kRefusals) {
        QString error;
        EXPECT_TRUE(sources::load_picture(kSuite + name, &error).isNull()) << name.toStdString();
        EXPECT_TRUE(error.contains(word)) << name.toStdString() << ": " << error.toStdString();
        EXPECT_TRUE(error.startsWith(kSuite + name)) << error.toStdString();
    }
}

// Any cut of a good file is refused, whether or not its header still claims
// the full length: the pixel data itself is checked, not only the header.
class CutGoodFile : public testing::TestWithParam<const char*> {};

TEST_P(CutGoodFile, EveryCutIsRefused) {
    QFile f(kSuite + "g/" + GetParam());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray whole = f.readAll();
    ASSERT_GT(whole.size(), 100);
    const qsizetype step = std::max<qsizetype>(1, whole.size() / 60);
    for (qsizetype len = 0; len < whole.size(); len += (len < 80 ? 1 : step)) {
        for (const bool fix_size : {false, true}) {
            QByteArray cut = whole.left(len);
            for (int i = 0; fix_size && len >= 6 && i < 4; ++i) cut[2 + i] = static_cast<char>(len >> (8 * i));
            QString error;
            EXPECT_TRUE(sources::decode_picture(cut, &error).isNull())
                << GetParam() << " cut at " << len << (fix_size ? " (size fixed)" : "");
            EXPECT_FALSE(error.isEmpty()) << GetParam() << " cut at " << len;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BmpSuite, CutGoodFile,
                         testing::Values("pal1.bmp", "pal4.bmp", "pal4rle.bmp", "pal8rle.bmp", "pal8os2.bmp",
                                         "pal8v5.bmp", "rgb16-565.bmp", "rgb24.bmp", "rgb32bf.bmp", "pal8topdown.bmp"),
                         [](const auto& info) { return test_name(info.param); });

}  // namespace
