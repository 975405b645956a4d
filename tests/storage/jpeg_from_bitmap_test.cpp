// The JPEG writer reading the staging bitmap: every bitmap kind a caller may
// stage, and what it must refuse without touching the record's file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QImageWriter>
#include <QTemporaryDir>
#include <cstring>

#include "DIWriteJpg.h"
#include "bitmap_layout.h"
#include "picture_loader.h"
#include "staging_file.h"
#include "storage_support.h"

using namespace storage_test;

namespace {

// A 32-bit BI_RGB bitmap stored bottom-up, as some writers produce.
QByteArray bottom_up_bgrx(const QImage& picture) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    auto header = sources::bitmap::top_down_bgrx_header(rgb.width(), rgb.height());
    QByteArray out(reinterpret_cast<const char*>(header.data()), 54);
    const qint32 h = rgb.height();
    std::memcpy(out.data() + 22, &h, 4);  // positive height: bottom row first
    std::memset(out.data() + 30, 0, 4);   // BI_RGB
    const quint32 offset = 54;
    std::memcpy(out.data() + 10, &offset, 4);
    for (int y = rgb.height() - 1; y >= 0; --y)
        out.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), rgb.width() * 4);
    return out;
}

QByteArray qt_bitmap(const QImage& picture) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "BMP");
    return bytes;
}

struct StagedKind {
    const char* name;
    int width;
    int height;
    std::function<QByteArray(const QImage&)> stage;  // empty: write_staging_bitmap
    double tolerance;                                 // mean absolute difference allowed
};

void PrintTo(const StagedKind& c, std::ostream* os) { *os << c.name; }

class StagedBitmapKinds : public ::testing::TestWithParam<StagedKind> {};

TEST_P(StagedBitmapKinds, EncodesThePictureUprightWithItsColours) {
    const StagedKind& kind = GetParam();
    QTemporaryDir dir;
    const QString staging = dir.filePath("tmp.bmp");
    const QString record = dir.filePath("record.jpg");
    QImage picture = smooth_picture(kind.width, kind.height, 3);
    // A red top-left corner and a blue bottom-right one catch flipped rows
    // and swapped channels.
    for (int y = 0; y < kind.height / 4; ++y)
        for (int x = 0; x < kind.width / 4; ++x) {
            picture.setPixel(x, y, qRgb(250, 0, 0));
            picture.setPixel(kind.width - 1 - x, kind.height - 1 - y, qRgb(0, 0, 250));
        }
    if (kind.stage) {
        ASSERT_TRUE(write_bytes(staging, kind.stage(picture)));
    } else {
        QString error;
        ASSERT_TRUE(sources::write_staging_bitmap(staging, picture, &error)) << error.toStdString();
    }
    QImage expected = picture;
    if (QString(kind.name) == "indexed8")  // the palette itself loses colours
        expected = QImage::fromData(read_all(staging), "BMP");

    QString error;
    ASSERT_EQ(sources::write_jpeg_from_bitmap(staging, record, 80, &error), kDIWriteJpgOk) << error.toStdString();
    const QImage stored = sources::load_picture(record, &error);
    ASSERT_FALSE(stored.isNull()) << error.toStdString();
    EXPECT_LT(mean_abs_diff(stored, expected), kind.tolerance);
    EXPECT_GT(qRed(stored.pixel(2, 2)), 200);
    EXPECT_GT(qBlue(stored.pixel(kind.width - 3, kind.height - 3)), 200);
    EXPECT_TRUE(QFile::exists(staging)) << "the writer leaves the staging file in place";
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, StagedBitmapKinds,
    ::testing::Values(StagedKind{"bgrx_top_down", 64, 48, {}, 3.0},
                      StagedKind{"bgrx_top_down_odd", 101, 67, {}, 4.0},
                      StagedKind{"bgrx_bottom_up", 64, 48, bottom_up_bgrx, 3.0},
                      StagedKind{"bgr24_padded_rows", 99, 61,
                                 [](const QImage& p) { return qt_bitmap(p.convertToFormat(QImage::Format_RGB888)); },
                                 4.0},
                      StagedKind{"indexed8", 120, 90,
                                 [](const QImage& p) {
                                     return qt_bitmap(p.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither));
                                 },
                                 7.0}),
    [](const auto& info) { return std::string(info.param.name); });

struct Refusal {
    const char* name;
    std::function<void(const QString& staging, const QString& record_folder)> prepare;
    int quality;
    int expected;
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class WriterRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(WriterRefusals, LeaveTheRecordUntouchedAndSayWhy) {
    const Refusal& r = GetParam();
    QTemporaryDir dir;
    const QString staging = dir.filePath("tmp.bmp");
    const QString record = dir.filePath("record.jpg");
    const QByteArray old_bytes = "old record bytes";
    ASSERT_TRUE(write_bytes(record, old_bytes));
    r.prepare(staging, dir.path());
    const QStringList before = entries(dir.path());

    QString error;
    EXPECT_EQ(sources::write_jpeg_from_bitmap(staging, record, r.quality, &error), r.expected);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(read_all(record), old_bytes);
    EXPECT_EQ(entries(dir.path()), before) << "no temporary file may be left";
}

QByteArray whole_staging(int w, int h) {
    QTemporaryDir dir;
    const QString path = dir.filePath("s.bmp");
    sources::write_staging_bitmap(path, smooth_picture(w, h, 1), nullptr);
    return read_all(path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriterRefusals,
    ::testing::Values(
        Refusal{"missing_staging", [](const QString&, const QString&) {}, 80, kDIWriteJpgNoStaging},
        Refusal{"truncated_staging",
                [](const QString& s, const QString&) {
                    const QByteArray whole = whole_staging(50, 40);
                    write_bytes(s, whole.left(whole.size() - 4 * 50));
                },
                80, kDIWriteJpgBadStaging},
        Refusal{"header_only", [](const QString& s, const QString&) { write_bytes(s, whole_staging(50, 40).left(66)); },
                80, kDIWriteJpgBadStaging},
        Refusal{"not_a_bitmap", [](const QString& s, const QString&) { write_bytes(s, QByteArray(500, 'x')); }, 80,
                kDIWriteJpgBadStaging},
        Refusal{"empty_staging", [](const QString& s, const QString&) { write_bytes(s, QByteArray()); }, 80,
                kDIWriteJpgBadStaging},
        Refusal{"staging_is_a_folder", [](const QString& s, const QString&) { QDir().mkpath(s); }, 80,
                kDIWriteJpgNoStaging},
        Refusal{"staging_is_a_named_pipe",
                [](const QString& s, const QString&) { ::mkfifo(QFile::encodeName(s).constData(), 0600); }, 80,
                kDIWriteJpgNoStaging},
        Refusal{"quality_zero", [](const QString& s, const QString&) { write_bytes(s, whole_staging(8, 8)); }, 0,
                kDIWriteJpgBadArgument},
        Refusal{"quality_above_100",
                [](const QString& s, const QString&) { write_bytes(s, whole_staging(8, 8)); }, 101,
                kDIWriteJpgBadArgument}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(JpegWriter, RecordThatIsAFolderIsReportedAndKept) {
    QTemporaryDir dir;
    const QString staging = dir.filePath("tmp.bmp");
    const QString record = dir.filePath("record.jpg");
    ASSERT_TRUE(QDir().mkpath(record));
    ASSERT_TRUE(sources::write_staging_bitmap(staging, smooth_picture(16, 16, 0), nullptr));
    QString error;
    EXPECT_EQ(sources::write_jpeg_from_bitmap(staging, record, 80, &error), kDIWriteJpgWriteFailed);
    EXPECT_TRUE(QFileInfo(record).isDir());
    EXPECT_FALSE(error.isEmpty());
}

TEST(JpegWriter, ReplacingARecordKeepsItsPermissionsAndNewOnesFollowTheUmask) {
    QTemporaryDir dir;
    const QString staging = dir.filePath("tmp.bmp");
    const QString kept = dir.filePath("kept.jpg");
    const QString fresh = dir.filePath("fresh.jpg");
    ASSERT_TRUE(write_bytes(kept, "x"));
    ASSERT_EQ(::chmod(QFile::encodeName(kept).constData(), 0640), 0);
    ASSERT_TRUE(sources::write_staging_bitmap(staging, smooth_picture(16, 16, 0), nullptr));
    const mode_t old_mask = ::umask(022);
    EXPECT_EQ(sources::write_jpeg_from_bitmap(staging, kept, 80, nullptr), kDIWriteJpgOk);
    EXPECT_EQ(sources::write_jpeg_from_bitmap(staging, fresh, 80, nullptr), kDIWriteJpgOk);
    ::umask(old_mask);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(kept).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_EQ(::stat(QFile::encodeName(fresh).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST(JpegWriter, ReplacingAnotherUsersRecordKeepsItsOwner) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file away";
    QTemporaryDir dir;
    const QString staging = dir.filePath("tmp.bmp");
    const QString record = dir.filePath("theirs.jpg");
    ASSERT_TRUE(write_bytes(record, "x"));
    ASSERT_EQ(::chown(QFile::encodeName(record).constData(), 65534, 65534), 0);
    ASSERT_TRUE(sources::write_staging_bitmap(staging, smooth_picture(16, 16, 0), nullptr));
    ASSERT_EQ(sources::write_jpeg_from_bitmap(staging, record, 80, nullptr), kDIWriteJpgOk);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(record).constData(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_GT(st.st_size, 100) << "and it was replaced";
}

TEST(JpegWriter, ThreeArgumentCallReadsTheUsersStagingFile) {
    QTemporaryDir dir;
    QString error;
    const QString staging = sources::staging_path(&error);
    ASSERT_FALSE(staging.isEmpty()) << error.toStdString();
    EXPECT_TRUE(staging.endsWith("/tmp.bmp"));
    EXPECT_EQ(QFileInfo(staging).absolutePath().toStdString(),
              QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).absolutePath().toStdString())
        << "the staging file lives in the runtime folder";

    const QImage picture = smooth_picture(48, 32, 5);
    sources::StagingLock lock(staging);
    ASSERT_TRUE(lock.acquire(&error)) << error.toStdString();
    ASSERT_TRUE(sources::write_staging_bitmap(staging, picture, &error)) << error.toStdString();
    const QString record = dir.filePath("r.jpg");
    EXPECT_EQ(DIWriteJpg(record, 80, 1), 0);
    EXPECT_LT(mean_abs_diff(decode(record), picture), 3.0);
    EXPECT_NE(DIWriteJpg(dir.filePath("no/such/folder/r.jpg"), 80, 1), 0);
}

TEST(StagingBitmap, IsAWholeWindowsBitmapOfThePicture) {
    QTemporaryDir dir;
    const QString staging = dir.filePath("tmp.bmp");
    const QImage picture = smooth_picture(31, 17, 2);
    ASSERT_TRUE(write_bytes(staging, "an older picture"));
    ASSERT_TRUE(sources::write_staging_bitmap(staging, picture, nullptr));
    EXPECT_TRUE(sources::staged_bitmap_complete(staging, 31, 17));
    EXPECT_FALSE(sources::staged_bitmap_complete(staging, 17, 31));
    const QImage back = QImage::fromData(read_all(staging), "BMP");
    EXPECT_EQ(mean_abs_diff(back, picture), 0.0) << "Qt reads it as the same picture";

    // Cut short, it is no longer taken for complete.
    const QByteArray whole = read_all(staging);
    ASSERT_TRUE(write_bytes(staging, whole.left(whole.size() - 1)));
    EXPECT_FALSE(sources::staged_bitmap_complete(staging, 31, 17));
}

TEST(StagingBitmap, FailedWriteLeavesNoStagingFileBehind) {
    QTemporaryDir dir;
    const QString staging = dir.filePath("tmp.bmp");
    ASSERT_TRUE(sources::write_staging_bitmap(staging, smooth_picture(64, 64, 1), nullptr));
    // The old staging file must be gone even though the new one cannot be
    // written whole (a file-size limit stands for a full disk).
    const int code = run_in_child([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim {4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        QString error;
        const bool ok = sources::write_staging_bitmap(staging, smooth_picture(200, 200, 2), &error);
        return !ok && error.contains("File too large") ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(QFile::exists(staging));
}

}  // namespace
