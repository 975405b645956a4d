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
    const quint32 offset = 54;
    std::memcpy(out.data() + 22, &h, 4);  // positive height: bottom row first
    std::memset(out.data() + 30, 0, 4);   // BI_RGB
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

QByteArray whole_staging(int w, int h) {
    QTemporaryDir dir;
    const QString path = dir.filePath("s.bmp");
    sources::write_staging_bitmap(path, smooth_picture(w, h, 1), nullptr);
    return read_all(path);
}

struct stat stat_of(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st;
}

class Writer : public ::testing::Test {
protected:
    QTemporaryDir dir;
    const QString staging = dir.filePath("tmp.bmp");
    const QString record = dir.filePath("record.jpg");
    int write(const QString& to, int quality = 80, QString* error = nullptr) {
        return sources::write_jpeg_from_bitmap(staging, to, quality, error);
    }
};

struct StagedKind {
    const char* name;
    int width;
    int height;
    std::function<QByteArray(const QImage&)> stage;  // empty: write_staging_bitmap
    double tolerance;                                 // mean absolute difference allowed
};

void PrintTo(const StagedKind& c, std::ostream* os) { *os << c.name; }

class StagedBitmapKinds : public Writer, public ::testing::WithParamInterface<StagedKind> {};

TEST_P(StagedBitmapKinds, EncodesThePictureUprightWithItsColours) {
    const auto& [name, w, h, stage, tolerance] = GetParam();
    QImage picture = smooth_picture(w, h, 3);
    // A red top-left corner and a blue bottom-right one catch flipped rows
    // and swapped channels.
    for (int y = 0; y < h / 4; ++y)
        for (int x = 0; x < w / 4; ++x) {
            picture.setPixel(x, y, qRgb(250, 0, 0));
            picture.setPixel(w - 1 - x, h - 1 - y, qRgb(0, 0, 250));
        }
    QString error;
    ASSERT_TRUE(stage ? write_bytes(staging, stage(picture)) : sources::write_staging_bitmap(staging, picture, &error))
        << error.toStdString();
    // An indexed bitmap loses colours in the palette itself.
    const QImage expected = std::string(name) == "indexed8" ? QImage::fromData(read_all(staging), "BMP") : picture;
    ASSERT_EQ(write(record, 80, &error), kDIWriteJpgOk) << error.toStdString();
    const QImage stored = sources::load_picture(record, &error);
    ASSERT_FALSE(stored.isNull()) << error.toStdString();
    EXPECT_LT(mean_abs_diff(stored, expected), tolerance);
    EXPECT_GT(qRed(stored.pixel(2, 2)), 200);
    EXPECT_GT(qBlue(stored.pixel(w - 3, h - 3)), 200);
    EXPECT_TRUE(QFile::exists(staging)) << "the writer leaves the staging file in place";
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, StagedBitmapKinds,
    ::testing::Values(
        StagedKind{"bgrx_top_down", 64, 48, {}, 3.0}, StagedKind{"bgrx_top_down_odd", 101, 67, {}, 4.0},
        StagedKind{"bgrx_bottom_up", 64, 48, bottom_up_bgrx, 3.0},
        StagedKind{"bgr24_padded_rows", 99, 61,
                   [](const QImage& p) { return qt_bitmap(p.convertToFormat(QImage::Format_RGB888)); }, 4.0},
        StagedKind{"indexed8", 120, 90,
                   [](const QImage& p) {
                       const auto flags = Qt::ThresholdDither | Qt::AvoidDither;
                       return qt_bitmap(p.convertToFormat(QImage::Format_Indexed8, flags));
                   },
                   7.0}),
    [](const auto& info) { return std::string(info.param.name); });

struct Refusal {
    const char* name;
    std::function<void(const QString& staging, const QString& record)> prepare;
    int quality;
    int expected;
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class WriterRefusals : public Writer, public ::testing::WithParamInterface<Refusal> {};

TEST_P(WriterRefusals, LeaveTheRecordUntouchedAndSayWhy) {
    ASSERT_TRUE(write_bytes(record, "old record bytes"));
    GetParam().prepare(staging, record);
    auto state = [&] { return QFileInfo(record).isDir() ? QByteArray("a folder") : read_all(record); };
    const QByteArray record_before = state();
    const QStringList before = entries(dir.path());
    QString error;
    EXPECT_EQ(write(record, GetParam().quality, &error), GetParam().expected);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(state(), record_before);
    EXPECT_EQ(entries(dir.path()), before) << "no temporary file may be left";
}

void stage_cut(const QString& s, qsizetype keep) {
    const QByteArray whole = whole_staging(50, 40);
    write_bytes(s, whole.left(keep < 0 ? whole.size() + keep : keep));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriterRefusals,
    ::testing::Values(
        Refusal{"missing_staging", [](auto&, auto&) {}, 80, kDIWriteJpgNoStaging},
        Refusal{"truncated_staging", [](auto& s, auto&) { stage_cut(s, -4 * 50); }, 80, kDIWriteJpgBadStaging},
        Refusal{"header_only", [](auto& s, auto&) { stage_cut(s, 66); }, 80, kDIWriteJpgBadStaging},
        Refusal{"not_a_bitmap", [](auto& s, auto&) { write_bytes(s, QByteArray(500, 'x')); }, 80,
                kDIWriteJpgBadStaging},
        Refusal{"empty_staging", [](auto& s, auto&) { write_bytes(s, {}); }, 80, kDIWriteJpgBadStaging},
        Refusal{"staging_is_a_folder", [](auto& s, auto&) { QDir().mkpath(s); }, 80, kDIWriteJpgNoStaging},
        Refusal{"staging_is_a_named_pipe", [](auto& s, auto&) { ::mkfifo(QFile::encodeName(s).constData(), 0600); },
                80, kDIWriteJpgNoStaging},
        Refusal{"quality_zero", [](auto& s, auto&) { write_bytes(s, whole_staging(8, 8)); }, 0,
                kDIWriteJpgBadArgument},
        Refusal{"quality_above_100", [](auto& s, auto&) { write_bytes(s, whole_staging(8, 8)); }, 101,
                kDIWriteJpgBadArgument},
        Refusal{"record_is_a_folder",
                [](auto& s, auto& r) {
                    write_bytes(s, whole_staging(16, 16));
                    QFile::remove(r);
                    QDir().mkpath(r);
                },
                80, kDIWriteJpgWriteFailed}),
    [](const auto& info) { return std::string(info.param.name); });

// Another user's record stays theirs (only root can give a file away).
TEST_F(Writer, ReplacingARecordKeepsItsModeAndOwnerAndNewOnesFollowTheUmask) {
    const QString fresh = dir.filePath("fresh.jpg");
    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(write_bytes(record, "x"));
    ASSERT_EQ(::chmod(QFile::encodeName(record).constData(), 0640), 0);
    if (root) {
        ASSERT_EQ(::chown(QFile::encodeName(record).constData(), 65534, 65534), 0);
    }
    ASSERT_TRUE(sources::write_staging_bitmap(staging, smooth_picture(16, 16, 0), nullptr));
    const mode_t old_mask = ::umask(022);
    EXPECT_EQ(write(record), kDIWriteJpgOk);
    EXPECT_EQ(write(fresh), kDIWriteJpgOk);
    ::umask(old_mask);
    const struct stat st = stat_of(record);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_GT(st.st_size, 100) << "and it was replaced";
    EXPECT_EQ(st.st_uid, root ? 65534u : ::geteuid());
    EXPECT_EQ(st.st_gid, root ? 65534u : ::getegid());
    EXPECT_EQ(stat_of(fresh).st_mode & 07777, 0644u);
}

TEST(JpegWriter, ThreeArgumentCallReadsTheUsersStagingFile) {
    QTemporaryDir dir;
    QString error;
    const QString staging = sources::staging_path(&error);
    ASSERT_FALSE(staging.isEmpty()) << error.toStdString();
    EXPECT_EQ(staging, QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).absoluteFilePath("tmp.bmp"))
        << "the staging file lives in the runtime folder";
    const QImage picture = smooth_picture(48, 32, 5);
    sources::StagingLock lock(staging);
    ASSERT_TRUE(lock.acquire(&error)) << error.toStdString();
    ASSERT_TRUE(sources::write_staging_bitmap(staging, picture, &error)) << error.toStdString();
    EXPECT_EQ(DIWriteJpg(dir.filePath("r.jpg"), 80, 1), 0);
    EXPECT_LT(mean_abs_diff(decode(dir.filePath("r.jpg")), picture), 3.0);
    EXPECT_NE(DIWriteJpg(dir.filePath("no/such/folder/r.jpg"), 80, 1), 0);
}

TEST_F(Writer, StagingBitmapIsAWholeWindowsBitmapOfThePicture) {
    const QImage picture = smooth_picture(31, 17, 2);
    ASSERT_TRUE(write_bytes(staging, "an older picture"));
    ASSERT_TRUE(sources::write_staging_bitmap(staging, picture, nullptr));
    EXPECT_TRUE(sources::staged_bitmap_complete(staging, 31, 17));
    EXPECT_FALSE(sources::staged_bitmap_complete(staging, 17, 31));
    const QByteArray whole = read_all(staging);
    EXPECT_EQ(mean_abs_diff(QImage::fromData(whole, "BMP"), picture), 0.0) << "Qt reads it as the same picture";
    // Cut short, it is no longer taken for complete.
    ASSERT_TRUE(write_bytes(staging, whole.left(whole.size() - 1)));
    EXPECT_FALSE(sources::staged_bitmap_complete(staging, 31, 17));
}

// The old staging file must be gone even though the new one cannot be
// written whole (a file-size limit stands for a full disk).
TEST_F(Writer, FailedStagingWriteLeavesNoStagingFileBehind) {
    ASSERT_TRUE(sources::write_staging_bitmap(staging, smooth_picture(64, 64, 1), nullptr));
    EXPECT_EQ(run_in_child([&] {
                  ::signal(SIGXFSZ, SIG_IGN);
                  struct rlimit lim {4096, 4096};
                  ::setrlimit(RLIMIT_FSIZE, &lim);
                  QString error;
                  const bool ok = sources::write_staging_bitmap(staging, smooth_picture(200, 200, 2), &error);
                  return !ok && error.contains("File too large") ? 0 : 1;
              }),
              0);
    EXPECT_FALSE(QFile::exists(staging));
}

}  // namespace
