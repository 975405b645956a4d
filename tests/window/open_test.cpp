// Opening a picture file into the record: cancel, the record's own file
// under any spelling, bitmaps under a .jpg name, failed copies and bad
// pictures, none of which may lose the record's picture or crash.
#include "window_fixture.h"

#include <QBuffer>
#include <QFileInfo>
#include <QtEndian>
#include <unistd.h>

#include "dialogs.h"
#include "open_image.h"

namespace {

class OpenTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        QDir().mkpath(path("rec"));
        record = save(uniform(64, 48, qRgb(10, 20, 30)), "rec/100.jpg", "PNG");
        original = file_bytes(record);
        w = open_window(record + ";" + path("start"));
        show(*w);
    }
    void choose(const QString& file) {
        log->answers = {file};
        QTest::mouseClick(w->select_image, Qt::LeftButton);
        QApplication::processEvents();
    }
    void expect_untouched() {
        EXPECT_EQ(file_bytes(record), original);
        EXPECT_EQ(w->PBox.image.size(), QSize(64, 48));
        EXPECT_EQ(w->PBox.image.pixel(5, 5), qRgb(10, 20, 30));
        EXPECT_TRUE(w->filter->initialized);
    }
    // The window still works: an adjustment runs and repaints.
    void expect_usable() {
        const std::uint64_t runs = w->pipeline_runs();
        w->scrollLight->setValue(w->scrollLight->value() == 5 ? 6 : 5);
        EXPECT_EQ(w->pipeline_runs(), runs + (w->filter && w->filter->initialized ? 1 : 0));
        EXPECT_TRUE(w->isVisible());
    }

    QString record;
    QByteArray original;
    std::unique_ptr<selection_image> w;
};

TEST_F(OpenTest, DialogStartsInTheFolderWithTheThreeFilters) {
    choose(QString());
    ASSERT_EQ(log->open_calls.size(), 1u);
    EXPECT_EQ(log->open_calls[0].title, QStringLiteral("Selection image"));
    EXPECT_EQ(log->open_calls[0].folder, path("start"));
    EXPECT_EQ(log->open_calls[0].filter, QStringLiteral("JPEG|*.jpg|Bitmap|*.BMP|Tous|*.*"));
}

TEST_F(OpenTest, CancelChangesNothing) {
    const std::uint64_t paints = w->paint_runs();
    choose(QString());
    expect_untouched();
    EXPECT_TRUE(log->messages.empty());
    EXPECT_EQ(w->paint_runs(), paints);
}

TEST_F(OpenTest, ChosenPictureBecomesTheRecordsFileAndIsShownUnadjusted) {
    w->scrollGamma->setValue(30);
    const QString chosen = save(uniform(90, 30, qRgb(250, 0, 250)), "elsewhere.png", "PNG");
    choose(chosen);
    EXPECT_TRUE(log->messages.empty());
    EXPECT_EQ(file_bytes(record), file_bytes(chosen));
    EXPECT_EQ(w->PBox.image.size(), QSize(90, 30));
    EXPECT_EQ(w->PBox.image.pixel(1, 1), qRgb(250, 0, 250));
    EXPECT_EQ(view_centre(*w), qRgb(250, 0, 250));
    EXPECT_EQ(w->filter->width(), 90);
    EXPECT_EQ(w->record_file(), record);  // the record's name never changes
    EXPECT_TRUE(QFile::exists(chosen));
}

TEST_F(OpenTest, BitmapUnderAJpgNameKeepsItsContentAndShows) {
    const QString chosen = save(uniform(33, 17, qRgb(0, 99, 0)), "scan.BMP", "BMP");
    choose(chosen);
    EXPECT_TRUE(log->messages.empty());
    EXPECT_TRUE(file_bytes(record).startsWith("BM"));
    EXPECT_EQ(file_bytes(record), file_bytes(chosen));
    EXPECT_EQ(w->PBox.image.size(), QSize(33, 17));
    EXPECT_EQ(view_centre(*w), qRgb(0, 99, 0));
}

// The record's own file under other spellings: never deleted, never copied
// over itself, just read again.
class OwnFile : public OpenTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(OwnFile, IsReadAgainAndKeptWhole) {
    const QString how = QString::fromLatin1(GetParam());
    QString chosen;
    if (how == "exact") chosen = record;
    if (how == "dotdot") chosen = path("rec/../rec/./100.jpg");
    if (how == "symlink") {
        chosen = path("link.jpg");
        ASSERT_TRUE(QFile::link(record, chosen));
    }
    if (how == "hardlink") {
        chosen = path("hard.jpg");
        ASSERT_EQ(::link(QFile::encodeName(record).constData(), QFile::encodeName(chosen).constData()), 0);
    }
    const QFileInfo before(record);
    choose(chosen);
    EXPECT_TRUE(log->messages.empty());
    expect_untouched();
    // Not even rewritten in place: the same inode, the same time stamp.
    EXPECT_EQ(QFileInfo(record).lastModified(), before.lastModified());
    EXPECT_TRUE(sources::same_file(chosen, record));
}

INSTANTIATE_TEST_SUITE_P(OwnFileSpellings, OwnFile, ::testing::Values("exact", "dotdot", "symlink", "hardlink"));

TEST_F(OpenTest, RecordFolderMissingReportsTheCopyAndTheLoad) {
    auto lost = open_window(path("no/such/folder/1.jpg"));  // start-up dialog: cancelled
    log->messages.clear();
    log->answers = {save(uniform(10, 10, qRgb(1, 1, 1)), "x.png", "PNG")};
    lost->open_file();
    ASSERT_EQ(log->messages.size(), 2u);
    for (const QString& m : log->messages) {
        EXPECT_TRUE(m.startsWith(QStringLiteral("error_load_pic: "))) << m.toStdString();
        EXPECT_GT(m.size(), 20);
    }
    EXPECT_TRUE(lost->PBox.image.isNull());
    EXPECT_FALSE(QFile::exists(path("no/such/folder/1.jpg")));
}

TEST_F(OpenTest, FailedCopyLeavesTheRecordsPicture) {
    // The record's folder turns read-only under a non-root user; as root a
    // path through a regular file fails the same way for any user: make the
    // record's name unreachable by replacing its folder with a file.
    auto other = open_window(path("plainfile/2.jpg"));
    ASSERT_TRUE(write_bytes(path("plainfile"), "x"));
    log->messages.clear();
    log->answers = {save(uniform(10, 10, qRgb(1, 1, 1)), "y.png", "PNG")};
    other->open_file();
    ASSERT_GE(log->messages.size(), 1u);
    EXPECT_TRUE(log->messages[0].startsWith(QStringLiteral("error_load_pic: ")));
    EXPECT_EQ(file_bytes(path("plainfile")), QByteArray("x"));
}

// Pictures that cannot be decoded: one message, nothing replaced, the
// window goes on working.
struct BadPicture {
    const char* name;
    QByteArray (*bytes)();
};

QByteArray good_jpeg() {
    QImage img(256, 256, QImage::Format_RGB32);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) img.setPixel(x, y, qRgb(x, y, (x * y) & 255));
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "JPG", 90);
    return out;
}

QByteArray truncated_jpeg() { return good_jpeg().left(good_jpeg().size() / 2); }
QByteArray zero_bytes() { return QByteArray(); }
QByteArray text_file() { return QByteArray("Ceci n'est pas une image.\n"); }

QByteArray bmp_header(std::int32_t w, std::int32_t h, int extra_bytes) {
    QByteArray b(54, '\0');
    auto put16 = [&](int at, std::uint16_t v) { qToLittleEndian(v, b.data() + at); };
    auto put32 = [&](int at, std::uint32_t v) { qToLittleEndian(v, b.data() + at); };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, 54 + extra_bytes);
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(w));
    put32(22, static_cast<std::uint32_t>(h));
    put16(26, 1);
    put16(28, 24);
    put32(34, static_cast<std::uint32_t>(extra_bytes));
    return b + QByteArray(extra_bytes, '\x7f');
}

// Claims 1000 x 1000 but carries the pixels of a few rows.
QByteArray lying_bmp() { return bmp_header(1000, 1000, 3000 * 3); }
QByteArray huge_bmp() { return bmp_header(100000, 100000, 64); }

class BadPictures : public OpenTest, public ::testing::WithParamInterface<BadPicture> {};

TEST_P(BadPictures, OneMessageAndTheRecordStaysAsItWas) {
    const QString chosen = path(QString::fromLatin1(GetParam().name) + ".jpg");
    ASSERT_TRUE(write_bytes(chosen, GetParam().bytes()));
    choose(chosen);
    ASSERT_EQ(log->messages.size(), 1u);
    EXPECT_TRUE(log->messages[0].startsWith(QStringLiteral("error_load_pic: "))) << log->messages[0].toStdString();
    EXPECT_GT(log->messages[0].size(), 18);
    expect_untouched();
    expect_usable();
}

TEST_P(BadPictures, AsTheRecordAtStartUpTheWindowOpensEmpty) {
    const QString bad = path(QString::fromLatin1(GetParam().name) + "_record.jpg");
    ASSERT_TRUE(write_bytes(bad, GetParam().bytes()));
    log->messages.clear();
    auto fresh = open_window(bad);
    show(*fresh);
    ASSERT_EQ(log->messages.size(), 1u);
    EXPECT_TRUE(log->messages[0].startsWith(QStringLiteral("error_load_pic: ")));
    EXPECT_TRUE(fresh->PBox.image.isNull());
    EXPECT_EQ(view_centre(*fresh), qRgb(192, 192, 255));
    fresh->scrollLight->setValue(3);
    fresh->Cmd_deconvolution->click();
    EXPECT_EQ(fresh->pipeline_runs(), 0u);
    EXPECT_EQ(file_bytes(bad), GetParam().bytes());
}

INSTANTIATE_TEST_SUITE_P(EachBadPicture, BadPictures,
                         ::testing::Values(BadPicture{"truncated", truncated_jpeg}, BadPicture{"empty", zero_bytes},
                                           BadPicture{"text", text_file}, BadPicture{"lying_bmp", lying_bmp},
                                           BadPicture{"huge_bmp", huge_bmp}),
                         [](const ::testing::TestParamInfo<BadPicture>& i) { return std::string(i.param.name); });

TEST(OpenSameFile, DistinctFilesAndMissingPathsAreNotTheSame) {
    QTemporaryDir d;
    const QString a = d.filePath("a"), b = d.filePath("b");
    ASSERT_TRUE(write_bytes(a, "same bytes"));
    ASSERT_TRUE(write_bytes(b, "same bytes"));
    EXPECT_FALSE(sources::same_file(a, b));
    EXPECT_FALSE(sources::same_file(a, d.filePath("missing")));
    EXPECT_FALSE(sources::same_file(d.filePath("missing"), d.filePath("missing2")));
    EXPECT_TRUE(sources::same_file(d.filePath("missing"), d.filePath("missing")));
    EXPECT_FALSE(sources::same_file(QString(), a));
}

}  // namespace

namespace {

TEST(OpenDialogFilters, EveryLetterCaseOfThePicturesIsShown) {
    const QStringList filters = name_filters(QStringLiteral("JPEG|*.jpg|Bitmap|*.BMP|Tous|*.*"));
    ASSERT_EQ(filters.size(), 3);
    EXPECT_TRUE(filters[0].startsWith(QStringLiteral("JPEG (")));
    EXPECT_TRUE(filters[1].startsWith(QStringLiteral("Bitmap (")));
    EXPECT_TRUE(filters[2].startsWith(QStringLiteral("Tous (")));
    QTemporaryDir d;
    for (const char* name : {"a.jpg", "b.JPG", "c.jpeg", "d.JPEG", "e.bmp", "f.BMP", "g.txt", "noextension"})
        ASSERT_TRUE(write_bytes(d.filePath(QString::fromLatin1(name)), "x"));
    // The patterns between the parentheses, as the dialog applies them
    // (case-sensitively on this platform).
    auto shown = [&](const QString& filter) {
        const QString inside = filter.section(QLatin1Char('('), 1).chopped(1);
        QDir dir(d.path());
        dir.setFilter(QDir::Files | QDir::CaseSensitive);
        dir.setNameFilters(inside.split(QLatin1Char(' ')));
        dir.setSorting(QDir::Name | QDir::IgnoreCase);
        QStringList names = dir.entryList();
        return names;
    };
    EXPECT_EQ(shown(filters[0]), (QStringList{"a.jpg", "b.JPG", "c.jpeg", "d.JPEG"}));
    EXPECT_EQ(shown(filters[1]), (QStringList{"e.bmp", "f.BMP"}));
    EXPECT_EQ(shown(filters[2]).size(), 8);
}

}  // namespace
