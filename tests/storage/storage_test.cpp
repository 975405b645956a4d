// Storing a picture as the record's JPEG, and what Save and Paste do to the record's file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QMimeData>
#include <QTemporaryDir>
#include <csignal>
#include <cstring>

#include "DIWriteJpg.h"
#include "picture_helpers.h"
#include "record_file.h"
#include "staging_file.h"
#include "store_picture.h"
#include "test_files.h"

namespace {

// At most 256 colours, for a palette; flipped rows or swapped channels change its JPEG.
QImage test_picture(int w, int h, int seed) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 16 + seed * 40) & 255, (y * 16 + seed) & 255, ((x + y) * 16) & 255));
    return img;
}

QByteArray encoded(const QImage& picture, const char* format) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, format);
    return buffer.data();
}

unsigned mode_of(const QString& path) {
    struct stat st {};
    return ::stat(qPrintable(path), &st) == 0 ? st.st_mode & 07777 : 0;
}

const auto by_name = [](const auto& info) { return std::string(std::get<0>(info.param)); };

// The staging file is the one every store uses, in the tests' private runtime folder.
class Store : public ::testing::Test {
protected:
    QTemporaryDir dir;
    const QString staging = storage::staging_path().value_or(QString());
    const QString record = dir.filePath("1.jpg");
    const QImage picture = test_picture(37, 23, 1);

    void SetUp() override {
        QFile::remove(staging);
        ASSERT_TRUE(write_bytes(record, "old record"));
    }
    // Hidden files too: a temporary file left behind shows.
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }
};

// The staging file this program writes for `picture`.
QByteArray staged(const QImage& picture) {
    const QTemporaryDir here;
    (void)storage::write_staging_bitmap(here.filePath("s.bmp"), picture);
    return file_bytes(here.filePath("s.bmp"));
}

// Rows further apart in memory than the picture is wide (copy() pads with zeros).
QByteArray staged_padded(const QImage& p) {
    const QImage wide = p.copy(0, 0, p.width() + 3, p.height());
    return staged(QImage(wide.constBits(), p.width(), p.height(), wide.bytesPerLine(), QImage::Format_RGB32));
}

// Name, staging file's bytes (none: a named pipe; bytes 10-13 give the pixels' offset), quality, result.
using WriteCase = std::tuple<const char*, QByteArray (*)(const QImage&), int, int>;

// Qt's bitmaps: bottom-up rows, 24-bit ones padded to four bytes, or a palette.
QByteArray qt_bitmap(const QImage& p) { return encoded(p, "BMP"); }
QByteArray qt_palette(const QImage& p) { return encoded(p.convertToFormat(QImage::Format_Indexed8), "BMP"); }

const WriteCase kWriteCases[] = {
    {"rows_padded_in_memory", staged_padded, 80, kDIWriteJpgOk},
    {"qt_24_bit_bottom_up", qt_bitmap, 80, kDIWriteJpgOk},
    {"qt_palette", qt_palette, 80, kDIWriteJpgOk},
    {"lowest_quality", staged, 1, kDIWriteJpgOk},
    {"highest_quality", staged, 100, kDIWriteJpgOk},
    {"quality_zero", staged, 0, kDIWriteJpgBadArgument},
    {"quality_above_100", staged, 101, kDIWriteJpgBadArgument},
    {"staging_is_a_named_pipe", nullptr, 80, kDIWriteJpgNoStaging},
    {"one_byte_short", [](auto& p) { return staged(p).chopped(1); }, 80, kDIWriteJpgBadStaging},
    {"not_a_bitmap", [](auto& p) { return staged(p).replace(0, 1, "b"); }, 80, kDIWriteJpgBadStaging},
    {"pixels_past_end", [](auto& p) { return staged(p).replace(11, 1, "@"); }, 80, kDIWriteJpgBadStaging},
};

class WriteFromStaging : public Store, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteFromStaging, StoresTheStagedPictureOrLeavesTheRecordAsItWas) {
    const auto& [name, stage, quality, code] = GetParam();
    ASSERT_TRUE(stage ? write_bytes(staging, stage(picture)) : ::mkfifo(qPrintable(staging), 0600) == 0);
    const QStringList before = files();
    EXPECT_EQ(DIWriteJpg(record, quality, 1), code);
    EXPECT_EQ(file_bytes(record), code == kDIWriteJpgOk ? reference_jpeg(picture, quality) : "old record");
    const auto written = storage::write_jpeg_from_bitmap(staging, record, quality);
    EXPECT_TRUE(written || !written.error().reason().empty());
    EXPECT_EQ(bool(written), code == kDIWriteJpgOk);
    EXPECT_EQ(files(), before) << "no temporary file is left";
    EXPECT_TRUE(QFileInfo::exists(staging)) << "the staging file stays";
    QFile::remove(staging);
}

INSTANTIATE_TEST_SUITE_P(Cases, WriteFromStaging, ::testing::ValuesIn(kWriteCases), by_name);

// An older staging file open to all must not lend the new one its mode; a
// replaced record keeps its mode and owner (only root can give a file away).
TEST_F(Store, StagingIsPrivateAndARecordKeepsItsModeAndOwner) {
    const uid_t owner = ::geteuid() == 0 ? 65534 : ::geteuid();
    ASSERT_TRUE(write_bytes(staging, "an older picture"));
    ASSERT_EQ(::chmod(qPrintable(staging), 0666), 0);
    ASSERT_EQ(::chmod(qPrintable(record), 0604), 0);
    ASSERT_EQ(::chown(qPrintable(record), owner, gid_t(-1)), 0);
    const mode_t mask = ::umask(027);
    const bool stored = bool(storage::store_picture(picture, record));
    ::umask(mask);
    ASSERT_TRUE(stored);
    EXPECT_EQ(file_bytes(record), reference_jpeg(picture, 80));
    EXPECT_EQ(mode_of(record), 0604u);
    EXPECT_EQ(QFileInfo(record).ownerId(), owner);
    EXPECT_EQ(mode_of(staging), 0600u);
    EXPECT_EQ(mode_of(staging + ".lock"), 0600u);
    EXPECT_EQ(staging, qEnvironmentVariable("XDG_RUNTIME_DIR") + "/tmp.bmp");
}

// A file-size limit on a child stands for a full disk, hit by the record's JPEG, then by a save's staging.
TEST_F(Store, FullDiskLeavesTheOldRecordWholeAndNoPartialFile) {
    ASSERT_TRUE(storage::write_staging_bitmap(staging, test_picture(300, 200, 3)));
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1024, 1024};
        const bool limited = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        const int code = limited ? DIWriteJpg(record, 80, 1) : 0;
        const auto saved = record::save(test_picture(300, 200, 3), record);
        ::_exit(!saved && saved.error().reason() == (staging + " : File too large").toStdString() ? code : 0);
    }
    int status = 0;
    EXPECT_TRUE(::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                WEXITSTATUS(status) == kDIWriteJpgWriteFailed);
    EXPECT_EQ(file_bytes(record), "old record");
    EXPECT_EQ(files(), QStringList({"1.jpg"})) << "no temporary file may be left";
}

// Opaque above, transparent below; pasted, the lower half turns white.
QImage half_transparent(bool white_below) {
    QImage p = test_picture(40, 30, 3).convertToFormat(QImage::Format_ARGB32);
    for (int y = 15; y < 30; ++y) std::memset(p.scanLine(y), white_below ? 0xff : 0, p.bytesPerLine());
    return white_below ? p.convertToFormat(QImage::Format_RGB32) : p;
}

void qt_image(QMimeData& d) { d.setImageData(half_transparent(false)); }
void broken_png(QMimeData& d) { d.setData("image/png", "\x89PNG?"); }

// Name, clipboard (no function: no data at all), record, picture shown, what
// the failure says (none: no failure) and whether the record became the picture.
using PasteCase = std::tuple<const char*, void (*)(QMimeData&), const char*, bool, const char*, bool>;

const PasteCase kPasteCases[] = {
    {"no_clipboard_data", nullptr, "1.jpg", false, "", false},
    {"html_only", [](QMimeData& d) { d.setHtml("<img src=\"x.png\">"); }, "1.jpg", false, "", false},
    {"unreadable_picture", broken_png, "1.jpg", false, "image/png", false},
    {"store_fails", qt_image, "1.jpg/2.jpg", true, "Not a directory", false},
    {"qt_image", qt_image, "1.jpg", true, "", true},
};

class Paste : public Store, public ::testing::WithParamInterface<PasteCase> {};

TEST_P(Paste, ShowsAndStoresThePictureAtOnceOrSaysWhyNot) {
    const auto& [name, offer, to, shown, reason, stored] = GetParam();
    const QByteArray before = file_bytes(dir.filePath(to));
    QMimeData data;
    if (offer) offer(data);
    std::vector<QImage> pictures;
    const auto pasted =
        record::paste(offer ? &data : nullptr, dir.filePath(to), [&](const QImage& p) { pictures.push_back(p); });
    EXPECT_EQ(pictures, shown ? std::vector{half_transparent(true)} : std::vector<QImage>{});
    EXPECT_EQ(!pasted, *reason != 0);
    EXPECT_TRUE(pasted ? *pasted == stored : pasted.error().reason().find(reason) != std::string::npos);
    EXPECT_EQ(file_bytes(dir.filePath(to)), stored ? reference_jpeg(half_transparent(true), 80) : before);
    EXPECT_EQ(QFile::exists(staging), shown) << "a paste without a picture changes nothing";
}

INSTANTIATE_TEST_SUITE_P(Clipboards, Paste, ::testing::ValuesIn(kPasteCases), by_name);

}  // namespace
