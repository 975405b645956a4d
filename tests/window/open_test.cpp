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
    // Each message names the failure after the load error's prefix.
    void expect_load_errors(std::size_t count) {
        ASSERT_EQ(log->messages.size(), count);
        for (const QString& m : log->messages)
            EXPECT_TRUE(m.startsWith(QStringLiteral("error_load_pic: ")) && m.size() > 18) << m.toStdString();
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

TEST_F(OpenTest, DialogStartsInTheFolderWithTheThreeFiltersAndCancelChangesNothing) {
    const std::uint64_t paints = w->paint_runs();
    choose(QString());
    ASSERT_EQ(log->open_calls.size(), 1u);
    EXPECT_EQ(log->open_calls[0].title, QStringLiteral("Selection image"));
    EXPECT_EQ(log->open_calls[0].folder, path("start"));
    EXPECT_EQ(log->open_calls[0].filter, QStringLiteral("JPEG|*.jpg|Bitmap|*.BMP|Tous|*.*"));
    expect_untouched();
    EXPECT_TRUE(log->messages.empty());
    EXPECT_EQ(w->paint_runs(), paints);
}

// The chosen file's bytes become the record's file (a bitmap stays a bitmap
// under the .jpg name), shown unadjusted; the record keeps its name.
struct Chosen {
    const char* name;
    const char* format;
    int width, height;
    QRgb colour;
};

class ChosenPicture : public OpenTest, public ::testing::WithParamInterface<Chosen> {};

TEST_P(ChosenPicture, BecomesTheRecordsFileAndIsShownUnadjusted) {
    const Chosen c = GetParam();
    w->scrollGamma->setValue(30);
    const QString chosen = save(uniform(c.width, c.height, c.colour), QString::fromLatin1(c.name), c.format);
    choose(chosen);
    EXPECT_TRUE(log->messages.empty());
    EXPECT_EQ(file_bytes(record), file_bytes(chosen));
    EXPECT_EQ(w->PBox.image.size(), QSize(c.width, c.height));
    EXPECT_EQ(w->PBox.image.pixel(1, 1), c.colour);
    EXPECT_EQ(view_centre(*w), c.colour);
    EXPECT_EQ(w->filter->width(), c.width);
    EXPECT_EQ(w->record_file(), record);
    EXPECT_TRUE(QFile::exists(chosen));
}

INSTANTIATE_TEST_SUITE_P(PngAndBitmap, ChosenPicture,
                         ::testing::Values(Chosen{"elsewhere.png", "PNG", 90, 30, qRgb(250, 0, 250)},
                                           Chosen{"scan.BMP", "BMP", 33, 17, qRgb(0, 99, 0)}),
                         [](const auto& i) { return std::string(i.param.format); });

// The record's own file under other spellings: never deleted, never copied
// over itself, just read again.
class OwnFile : public OpenTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(OwnFile, IsReadAgainAndKeptWhole) {
    const QString how = QString::fromLatin1(GetParam());
    const QString chosen = how == "exact" ? record : how == "dotdot" ? path("rec/../rec/./100.jpg") : path(how + ".jpg");
    ASSERT_TRUE(how != "symlink" || QFile::link(record, chosen));
    ASSERT_TRUE(how != "hardlink" || ::link(QFile::encodeName(record).constData(), QFile::encodeName(chosen).constData()) == 0);
    const QFileInfo before(record);
    choose(chosen);
    EXPECT_TRUE(log->messages.empty());
    expect_untouched();
    // Not even rewritten in place: the same inode, the same time stamp.
    EXPECT_EQ(QFileInfo(record).lastModified(), before.lastModified());
    EXPECT_TRUE(sources::same_file(chosen, record));
}

INSTANTIATE_TEST_SUITE_P(OwnFileSpellings, OwnFile, ::testing::Values("exact", "dotdot", "symlink", "hardlink"));

// A record whose folder is missing, or is a plain file (which fails the
// copy for any user, root included): the copy and the load are reported and
// nothing is created or overwritten.
class UnreachableRecord : public OpenTest, public ::testing::WithParamInterface<bool> {};

TEST_P(UnreachableRecord, ReportsTheCopyAndTheLoadAndWritesNothing) {
    const bool plain_file = GetParam();
    auto other = open_window(path(plain_file ? "plainfile/2.jpg" : "no/such/folder/1.jpg"));  // start-up dialog: cancelled
    ASSERT_TRUE(!plain_file || write_bytes(path("plainfile"), "x"));
    log->messages.clear();
    log->answers = {save(uniform(10, 10, qRgb(1, 1, 1)), "y.png", "PNG")};
    other->open_file();
    expect_load_errors(2);
    EXPECT_TRUE(other->PBox.image.isNull());
    EXPECT_EQ(file_bytes(path("plainfile")), plain_file ? QByteArray("x") : QByteArray());
    EXPECT_FALSE(QFile::exists(path("no/such/folder/1.jpg")));
}

INSTANTIATE_TEST_SUITE_P(MissingFolderAndPlainFile, UnreachableRecord, ::testing::Bool());

// Pictures that cannot be decoded: one message, nothing replaced, the
// window goes on working.
struct BadPicture {
    const char* name;
    QByteArray (*bytes)();
};

QByteArray truncated_jpeg() {
    QImage img(256, 256, QImage::Format_RGB32);
    for (int i = 0; i < 256 * 256; ++i) img.setPixel(i % 256, i / 256, qRgb(i % 256, i / 256, (i % 256 * (i / 256)) & 255));
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "JPG", 90);
    return out.left(out.size() / 2);
}
QByteArray zero_bytes() { return QByteArray(); }
QByteArray text_file() { return QByteArray("Ceci n'est pas une image.\n"); }

QByteArray bmp_header(std::int32_t w, std::int32_t h, int extra_bytes) {
    QByteArray b = QByteArray("BM").leftJustified(54, '\0');
    const std::pair<int, std::uint32_t> fields[] = {{2, 54u + extra_bytes}, {10, 54}, {14, 40}, {18, std::uint32_t(w)},
                                                    {22, std::uint32_t(h)}, {26, 1 + (24 << 16)}, {34, std::uint32_t(extra_bytes)}};
    for (auto [at, v] : fields) qToLittleEndian(v, b.data() + at);  // 26: one plane, 24 bits
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
    expect_load_errors(1);
    expect_untouched();
    expect_usable();
}

TEST_P(BadPictures, AsTheRecordAtStartUpTheWindowOpensEmpty) {
    const QString bad = path(QString::fromLatin1(GetParam().name) + "_record.jpg");
    ASSERT_TRUE(write_bytes(bad, GetParam().bytes()));
    log->messages.clear();
    auto fresh = open_window(bad);
    show(*fresh);
    expect_load_errors(1);
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

TEST(OpenDialogFilters, EveryLetterCaseOfThePicturesIsShown) {
    const QStringList filters = name_filters(QStringLiteral("JPEG|*.jpg|Bitmap|*.BMP|Tous|*.*"));
    ASSERT_EQ(filters.size(), 3);
    EXPECT_TRUE(filters[0].startsWith(QStringLiteral("JPEG (")));
    EXPECT_TRUE(filters[1].startsWith(QStringLiteral("Bitmap (")));
    EXPECT_TRUE(filters[2].startsWith(QStringLiteral("Tous (")));
    QTemporaryDir d;
    for (const char* name : {"a.jpg", "b.JPG", "c.jpeg", "d.JPEG", "e.bmp", "f.BMP", "g.txt", "noextension"})
        ASSERT_TRUE(write_bytes(d.filePath(QString::fromLatin1(name)), "x"));
    // The patterns between the parentheses, applied case-sensitively as on this platform.
    auto shown = [&](const QString& filter) {
        return QDir(d.path(), QString(), QDir::Name | QDir::IgnoreCase, QDir::Files | QDir::CaseSensitive)
            .entryList(filter.section(QLatin1Char('('), 1).chopped(1).split(QLatin1Char(' ')));
    };
    EXPECT_EQ(shown(filters[0]), (QStringList{"a.jpg", "b.JPG", "c.jpeg", "d.JPEG"}));
    EXPECT_EQ(shown(filters[1]), (QStringList{"e.bmp", "f.BMP"}));
    EXPECT_EQ(shown(filters[2]).size(), 8);
}

}  // namespace
