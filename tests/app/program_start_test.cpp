// The program as the host starts it: the small start-up program decodes the
// record while it loads the window's library, and the window shows what
// either of them decoded.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <cstring>

#include "early_picture.h"
#include "jpeg_writer.h"
#include "picture_loader.h"

namespace {

const QRgb kColour = qRgb(200, 40, 90);

// A uniform picture, so that any point of the view's picture shows its colour.
QImage uniform() {
    QImage img(640, 480, QImage::Format_RGB32);
    img.fill(kColour);
    return img;
}

void write_jpeg(const QString& path) {
    const QImage img = uniform();
    std::vector<unsigned char> jpeg;
    QString error;
    ASSERT_TRUE(sources::encode_jpeg(img.constBits(), img.width(), img.height(), static_cast<int>(img.bytesPerLine()),
                                     95, &jpeg, &error))
        << error.toStdString();
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(jpeg.data()), static_cast<qint64>(jpeg.size()));
}

struct ProgramRun {
    int exit_code = -1;
    QByteArray out, err;
};

ProgramRun run(const QString& program, const QStringList& args, const QString& screenshot) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SELECTION_IMAGE_SCREENSHOT"), screenshot);
    env.insert(QStringLiteral("SELECTION_IMAGE_QUIT_AFTER_FIRST_FRAME"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    ProgramRun r;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit) return r;
    r.exit_code = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

struct Start {
    const char* name;
    const char* file;  // the record's file name in the test folder
    bool bitmap;       // written as a Windows bitmap instead of JPEG
    const char* after;  // appended to the argument string (";folder")
};

class ProgramStart : public testing::TestWithParam<Start> {};

TEST_P(ProgramStart, FirstFrameShowsTheRecord) {
    const Start& s = GetParam();
    QTemporaryDir dir;
    const QString record = dir.filePath(QString::fromUtf8(s.file));
    if (s.bitmap)
        ASSERT_TRUE(uniform().save(record, "BMP"));
    else
        write_jpeg(record);
    // A host that splits the argument string at blanks passes several
    // arguments; the program joins them again.
    const QStringList args = (record + QString::fromUtf8(s.after)).split(QLatin1Char(' '));
    const QString shot = dir.filePath(QStringLiteral("shot.png"));
    const ProgramRun r = run(QStringLiteral(SELECTION_IMAGE_BIN), args, shot);
    ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("first frame ")) << r.out.toStdString();
    const QImage image(shot);
    ASSERT_FALSE(image.isNull());
    // Inside the picture's part of the view, which starts at (120, 960)
    // twips, that is (8, 64) pixels.
    const QRgb seen = image.pixel(100, 150);
    EXPECT_NEAR(qRed(seen), qRed(kColour), 3);
    EXPECT_NEAR(qGreen(seen), qGreen(kColour), 3);
    EXPECT_NEAR(qBlue(seen), qBlue(kColour), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Records, ProgramStart,
    testing::Values(Start{"jpeg", "record.jpg", false, ""}, Start{"jpeg_with_folder", "record.jpg", false, ";/tmp"},
                    Start{"blank_in_the_name", "my record.jpg", false, ""},
                    Start{"bitmap_named_jpg", "record.jpg", true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProgramStart, WithoutTheWindowLibrarySaysSoAndFails) {
    QTemporaryDir dir;
    const QString alone = dir.filePath(QStringLiteral("selection_image"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(SELECTION_IMAGE_BIN), alone));
    const ProgramRun r = run(alone, {}, dir.filePath(QStringLiteral("shot.png")));
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_TRUE(r.err.contains("libselection_image_window.so")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("shot.png"))));
}

}  // namespace

namespace {

struct Early {
    const char* name;
    enum { jpeg, bitmap, cut_jpeg, missing, none } file;
    bool gives_picture;
};

class EarlyDecode : public testing::TestWithParam<Early> {};

// The early decode gives exactly what the window's own loading gives, or
// leaves the record to it.
TEST_P(EarlyDecode, GivesTheLoadersPictureOrNothing) {
    const Early& e = GetParam();
    QTemporaryDir dir;
    const QString record = dir.filePath(QStringLiteral("record.jpg"));
    if (e.file == Early::jpeg || e.file == Early::cut_jpeg) write_jpeg(record);
    if (e.file == Early::bitmap) {
        ASSERT_TRUE(uniform().save(record, "BMP"));
    }
    if (e.file == Early::cut_jpeg) {
        ASSERT_TRUE(QFile::resize(record, QFileInfo(record).size() / 2));
    }
    EarlyPicture early(e.file == Early::none ? std::string() : QFile::encodeName(record).toStdString());
    sources::JpegPixels pixels;
    ASSERT_EQ(early.take(&pixels), e.gives_picture);
    if (!e.gives_picture) return;
    QString error;
    const QImage loaded = sources::load_picture(record, &error);
    ASSERT_EQ(QSize(pixels.width, pixels.height), loaded.size());
    EXPECT_EQ(0, std::memcmp(pixels.memory.data(), loaded.constBits(), static_cast<std::size_t>(loaded.sizeInBytes())));
    EXPECT_FALSE(early.take(&pixels));  // handed over once
}

INSTANTIATE_TEST_SUITE_P(Records, EarlyDecode,
                         testing::Values(Early{"jpeg", Early::jpeg, true}, Early{"bitmap", Early::bitmap, false},
                                         Early{"cut_jpeg", Early::cut_jpeg, false},
                                         Early{"missing", Early::missing, false}, Early{"none", Early::none, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RecordArgument, JoinsTheArgumentsUpToTheFirstSemicolon) {
    const char* args[] = {"prog", "/a/my", "record.jpg;/photos", "x"};
    EXPECT_EQ(record_argument(4, const_cast<char**>(args)), "/a/my record.jpg");
    EXPECT_EQ(record_argument(1, const_cast<char**>(args)), "");
    const char* lead[] = {"prog", ";/photos"};
    EXPECT_EQ(record_argument(2, const_cast<char**>(lead)), "");
}

}  // namespace
