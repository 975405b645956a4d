// The batch tool as its users run it: the real program, its exit status, the
// one line it prints on a failure, and the files it leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <random>

#include "picture_helpers.h"
#include "reference_filter.h"

namespace {

class Picfilter : public testing::Test {
protected:
    QTemporaryDir dir;
    RefPicture ref;  // in.png

    // "@name" stands for a file of the test's folder, "%name" for one of the BMP Suite.
    QString expand(QString text) const {
        return text.replace('@', dir.path() + "/").replace('%', TESTDATA_DIR "/bmpsuite/");
    }
    QByteArray bytes(const QString& name) const {
        QFile f(expand(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void SetUp() override {
        std::mt19937 rng(7);
        ref = random_picture(23, 17, rng);
        ASSERT_TRUE(to_image(ref).save(expand("@in.png")));
        // Left four columns blue-ish, the rest red-ish, the bottom row near-white.
        QImage tones(10, 10, QImage::Format_RGB32);
        for (int i = 0; i < 100; ++i)
            tones.setPixel(i % 10, i / 10, i >= 90 ? 0xFAFAFA : i % 10 < 4 ? 0x0A14C8 : 0xC81E28);
        ASSERT_TRUE(tones.save(expand("@tones.png")));
        QImage ramp(50, 2, QImage::Format_Grayscale16);  // a sensor's 16 bits, levels 900..5800
        for (int i = 0; i < 100; ++i) reinterpret_cast<quint16*>(ramp.scanLine(i / 50))[i % 50] = 900 + 100 * (i % 50);
        ASSERT_TRUE(ramp.save(expand("@ramp16.png")));
        QFile out(expand("@out.png")), cut(expand("@cut.png"));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write("previous") == 8);
        ASSERT_TRUE(cut.open(QIODevice::WriteOnly) && cut.write(bytes("@in.png").left(300)) == 300);
    }
    std::tuple<int, QString, QString> run(const QString& args) const {
        QProcess p;
        p.start(QStringLiteral(PICFILTER_BIN), expand(args).split(' ', Qt::SkipEmptyParts));
        const bool ended = p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit;
        return {ended ? p.exitCode() : -1, p.readAllStandardOutput(), p.readAllStandardError()};
    }
};

// Exit status, arguments, then how stdout starts (status 0) or what the line on stderr holds.
const std::tuple<int, QString, QString> kRuns[] = {
    {0, "--help", "usage: picfilter"},
    {0, "--version", "picfilter "},
    {0, "--net 0 --light -50 --contrast -50 --gamma 1 --color 0 @in.png @ends.png", ""},
    {0, "--net 100 --light 50 --contrast 50 --gamma 254 --color 20 @in.png @ends.png", ""},
    {0, "--ratio 1,1,0,0,0,0 @tones.png @marks.png", "share=0.360000 masked=0.000000\n"},
    {0, "--mask-blc --ratio 0,0,0,0,3,100 @tones.png @marks.png", "share=1.000000 masked=0.100000\n"},
    {0, "--probe 0,0 --probe 0.95,0.95 --probe 0.5,0.1 @tones.png", "10 20 200\n250 250 250\n200 30 40\n"},
    {0, "--probe 0,0 --probe 0.99,0.5 --probe 0.5,0 @ramp16.png", "0 0 0\n255 255 255\n130 130 130\n"},
    {2, "--bogus @in.png @out.png", "--bogus"},
    {2, "--gamma 1.5 @in.png @out.png", "--gamma|1 à 254"},
    {2, "@in.png @out.png --net", "--net|0 à 100"},
    {2, "@in.png", "INPUT et OUTPUT"},
    {2, "@in.png @out.png @out.bmp", "INPUT et OUTPUT"},
    {2, "@in.png @out.gif", "OUTPUT|.bmp, .png, .jpg"},
    {2, "--mask " + QStringList(102, "0.1,0.1").join(';') + " @in.png @out.png", "--mask|101"},
    {2, "--mask 0,0;1e12,0;1,1 @in.png @out.png", "Mask"},  // fits no picture: the engine refuses it
    {2, "--ratio 1,1,0,0,0 @in.png @out.png", "--ratio"},
    {2, "--ratio 1,nan,0,0,0,0 @in.png @out.png", "--ratio"},
    {2, "--probe 1,0 @in.png", "--probe"},
    {1, "@nowhere.png @out.png", "@nowhere.png : fichier introuvable"},
    {1, "@ @out.png", "dossier"},
    {1, "%README.md @out.png", "%README.md : format d'image non reconnu"},
    {1, "@cut.png @out.png", "@cut.png : image illisible"},  // and nothing from the PNG decoder
    {1, "@pipe.png @out.png", "@pipe.png : ce n'est pas un fichier ordinaire"},
    {1, "@in.png @in.png/out.png", "@in.png/out.png|Not a directory"},
    {1, "@in.png @in.png/out.jpg", "@in.png/out.jpg|Not a directory"},
};

// A failure prints one line and leaves an existing OUTPUT as it was.
TEST_F(Picfilter, ExitStatusAndWhatIsPrinted) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(expand("@pipe.png")).constData(), 0600), 0);
    std::vector<std::tuple<int, QString, QString>> cases(std::begin(kRuns), std::end(kRuns));
    const std::tuple<const char*, int, int> ranges[] = {
        {"--net", 0, 100}, {"--light", -50, 50}, {"--contrast", -50, 50}, {"--gamma", 1, 254}, {"--color", 0, 20}};
    for (const auto& [option, lo, hi] : ranges)
        for (const int v : {lo - 1, hi + 1})
            cases.emplace_back(2, QString("%1 %2 @in.png @out.png").arg(option).arg(v),
                               QString("%1 demande un nombre entier de %2 à %3").arg(option).arg(lo).arg(hi));
    // The help names every format a picture opens from.
    for (const char* format : {"JPEG", "BMP", "PNG", "TIFF", "DICOM"})
        EXPECT_TRUE(std::get<1>(run("--help")).contains(format)) << format;
    for (const auto& [code, args, text] : cases) {
        SCOPED_TRACE(args.toStdString());
        const auto [status, out, err] = run(args);
        EXPECT_EQ(status, code) << err.toStdString();
        if (code == 0) {
            EXPECT_TRUE(out.left(text.size()) == text && err.isEmpty()) << (out + err).toStdString();
            continue;
        }
        EXPECT_TRUE(out.isEmpty() && err.startsWith("picfilter: ") && err.count('\n') == 1);
        for (const QString& part : text.split('|'))  // '|' between the parts
            EXPECT_TRUE(err.contains(expand(part))) << qPrintable(err);
        EXPECT_EQ(bytes("@out.png"), "previous");
    }
}

// Arguments, then the pipeline they stand for: passes, adjust, negative, light, contrast, gamma, colour.
const std::tuple<const char*, int, bool, bool, int, int, int, int> kPipelines[] = {
    {"@in.png @out.png", 0, true, false, 0, 0, 127, 0},
    {"--negative --light 12 --contrast -7 --gamma 90 @in.png @out.bmp", 0, true, true, 12, -7, 90, 0},
    {"--net 2 --light -3 --contrast 40 --gamma 99 --color 5 @in.png @out.PNG", 2, true, false, -3, 40, 99, 5},
    {"--net 1 --no-adjust --negative --light 30 @in.png @out.png", 1, false, true, 30, 0, 127, 0},
    {"--color 20 --gamma 60 --negative @in.png @out.jpeg", 0, true, true, 0, 0, 60, 20},
};

// Exactly the plain reference loops' result in a 24-bit bitmap or a PNG; a JPEG has quality 80's tables.
TEST_F(Picfilter, OutputIsThePipelinesResult) {
    QBuffer q80;
    ASSERT_TRUE(q80.open(QIODevice::WriteOnly) && to_image(ref).save(&q80, "JPEG", 80));
    auto tables = [](const QByteArray& jpeg) { return jpeg.mid(jpeg.indexOf("\xFF\xDB"), 2 * (4 + 1 + 64)); };
    for (const auto& [args, net, adjust, negative, light, contrast, gamma, color] : kPipelines) {
        SCOPED_TRACE(args);
        const auto [status, out, err] = run(args);
        ASSERT_EQ(status, 0) << err.toStdString();
        RefPicture want = ref;
        for (int i = 0; i < net; ++i) want = reference_deconvolution(want);
        if (adjust) want = reference_processing(want, negative, light, contrast, gamma, color);
        const QString file = "@" + QString(args).section('@', -1);
        const QImage got = QImage(expand(file)).convertToFormat(QImage::Format_RGB32);
        const QImage expected = to_image(want);
        ASSERT_EQ(got.size(), expected.size());
        EXPECT_TRUE(file.endsWith("jpeg") ? tables(bytes(file)) == tables(q80.data()) : got == expected);
        EXPECT_TRUE(!file.endsWith("bmp") || bytes(file)[28] == 24) << "bits per pixel";
    }
}

}  // namespace
