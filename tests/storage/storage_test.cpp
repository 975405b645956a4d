// Storing a picture as the record's JPEG, and what Save, Paste and Delete do to the record's file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <QBuffer>
#include <QDir>
#include <QMimeData>
#include <QTemporaryDir>
#include <csignal>
#include <cstring>

#include "DIWriteJpg.h"
#include "delete_flow.h"
#include "paste_flow.h"
#include "save_flow.h"
#include "staging_file.h"
#include "store_picture.h"

namespace {

using enum record::SaveOutcome;

// At most 256 colours, for a palette; flipped rows or swapped channels change its JPEG.
QImage test_picture(int w, int h, int seed) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 16 + seed * 40) & 255, (y * 16 + seed) & 255, ((x + y) * 16) & 255));
    return img;
}

// The bytes of a record holding `picture` (RGB32): TurboJPEG's own JPEG of it, 4:2:0.
QByteArray reference_jpeg(const QImage& picture, int quality) {
    static const tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, picture.constBits(), picture.width(), int(picture.bytesPerLine()), picture.height(),
                TJPF_BGRX, &out, &size, TJSAMP_420, quality, 0);
    const QByteArray jpeg(reinterpret_cast<const char*>(out), qsizetype(size));
    tjFree(out);
    return jpeg;
}

QByteArray read_all(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool write_bytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
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

class Store : public ::testing::Test {
protected:
    QTemporaryDir dir;
    const QString staging = dir.filePath("tmp.bmp");
    const QString record = dir.filePath("1.jpg");
    const QImage picture = test_picture(37, 23, 1);
    bool answer = true;
    QStringList boxes;  // each message box shown, as "kind:text"

    void SetUp() override { ASSERT_TRUE(write_bytes(record, "old record")); }
    // Hidden files too: a temporary file left behind shows.
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }
    auto box(const char* kind) {
        return [this, kind](const QString& text) {
            boxes << QLatin1String(kind) + text;
            return answer;
        };
    }
    record::StoreDialogs dialogs() { return {box("okcancel:"), box("yesno:"), box("info:"), box("error:")}; }
};

// The staging file this program writes for `picture`.
QByteArray staged(const QImage& picture) {
    const QTemporaryDir here;
    storage::write_staging_bitmap(here.filePath("s.bmp"), picture, nullptr);
    return read_all(here.filePath("s.bmp"));
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
    QString error;
    EXPECT_EQ(storage::write_jpeg_from_bitmap(staging, record, quality, &error), code) << error.toStdString();
    EXPECT_EQ(read_all(record), code == kDIWriteJpgOk ? reference_jpeg(picture, quality) : "old record");
    EXPECT_EQ(error.isEmpty(), code == kDIWriteJpgOk);
    EXPECT_EQ(files(), before) << "the staging file stays, no temporary file is left";
}

INSTANTIATE_TEST_SUITE_P(Cases, WriteFromStaging, ::testing::ValuesIn(kWriteCases), by_name);

// An older staging file open to all must not lend the new one its mode; a
// replaced record keeps its mode and owner (only root can give a file away).
TEST_F(Store, StagingIsPrivateAndARecordKeepsItsModeAndOwner) {
    const uid_t owner = ::geteuid() == 0 ? 65534 : ::geteuid();
    const QString fresh = dir.filePath("2.jpg");
    ASSERT_TRUE(write_bytes(staging, "an older picture"));
    ASSERT_EQ(::chmod(qPrintable(staging), 0666), 0);
    ASSERT_EQ(::chmod(qPrintable(record), 0604), 0);
    ASSERT_EQ(::chown(qPrintable(record), owner, gid_t(-1)), 0);
    const mode_t mask = ::umask(027);
    const bool stored = storage::store_picture(picture, record, staging, nullptr) &&
                        storage::store_picture(picture, fresh, staging, nullptr);
    ::umask(mask);
    ASSERT_TRUE(stored);
    EXPECT_EQ(read_all(record), reference_jpeg(picture, 80));
    EXPECT_EQ(mode_of(record), 0604u);
    EXPECT_EQ(QFileInfo(record).ownerId(), owner);
    EXPECT_EQ(mode_of(fresh), 0640u) << "a new record follows the umask";
    EXPECT_EQ(mode_of(staging), 0600u);
    EXPECT_EQ(mode_of(staging + ".lock"), 0600u);
    EXPECT_EQ(storage::staging_path(), qEnvironmentVariable("XDG_RUNTIME_DIR") + "/tmp.bmp");
}

// A file-size limit on a child stands for a full disk, hit by the record's JPEG, then by a save's staging.
TEST_F(Store, FullDiskLeavesTheOldRecordWholeAndNoPartialFile) {
    ASSERT_TRUE(storage::write_staging_bitmap(staging, test_picture(300, 200, 3), nullptr));
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1024, 1024};
        const bool limited = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        const int code = limited ? storage::write_jpeg_from_bitmap(staging, record, 80, nullptr) : 0;
        record::save_flow(test_picture(300, 200, 3), record, dialogs(), staging);
        ::_exit(boxes.value(1).endsWith("File too large") ? code : 0);
    }
    int status = 0;
    EXPECT_TRUE(::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                WEXITSTATUS(status) == kDIWriteJpgWriteFailed);
    EXPECT_EQ(read_all(record), "old record");
    EXPECT_EQ(files(), QStringList({"1.jpg", "tmp.bmp.lock"})) << "no temporary file may be left";
}

// Name, answer, record, outcome, reason shown.
using SaveCase = std::tuple<const char*, bool, const char*, record::SaveOutcome, const char*>;

const SaveCase kSaveCases[] = {
    {"ok", true, "1.jpg", Saved, ""},
    {"cancel", false, "1.jpg", Cancelled, ""},
    {"record_folder_is_a_file", true, "1.jpg/2.jpg", Failed, "Not a directory"},
};

class Save : public Store, public ::testing::WithParamInterface<SaveCase> {};

TEST_P(Save, AsksThenReplacesTheRecordOnOkOnlyOrSaysWhyNot) {
    const auto& [name, ok, to, outcome, reason] = GetParam();
    const QByteArray before = read_all(dir.filePath(to));
    answer = ok;
    EXPECT_EQ(record::save_flow(picture, dir.filePath(to), dialogs(), staging), outcome);
    EXPECT_EQ(read_all(dir.filePath(to)), outcome == Saved ? reference_jpeg(picture, 80) : before);
    QStringList expected{"okcancel:" + record::kSaveQuestion};
    if (*reason) expected << "error:" + record::kSaveErrorPrefix + dir.filePath(to) + " : " + reason;
    EXPECT_EQ(boxes, expected);
    EXPECT_TRUE(ok || !QFile::exists(staging)) << "nothing is staged before OK";
}

INSTANTIATE_TEST_SUITE_P(Cases, Save, ::testing::ValuesIn(kSaveCases), by_name);

// Opaque above, transparent below; pasted, the lower half turns white.
QImage half_transparent(bool white_below) {
    QImage p = test_picture(40, 30, 3).convertToFormat(QImage::Format_ARGB32);
    for (int y = 15; y < 30; ++y) std::memset(p.scanLine(y), white_below ? 0xff : 0, p.bytesPerLine());
    return white_below ? p.convertToFormat(QImage::Format_RGB32) : p;
}

void qt_image(QMimeData& d) { d.setImageData(half_transparent(false)); }
void broken_png(QMimeData& d) { d.setData("image/png", "\x89PNG?"); }

// Name, clipboard (no function: no data at all), record, picture shown, how
// the only box shown starts (empty: none) and what it says.
using PasteCase = std::tuple<const char*, void (*)(QMimeData&), const char*, bool, QString, const char*>;

const QString kNoPicture = "info:" + record::kNoClipboardImage;
const QString kLoadError = "error:" + record::kLoadErrorPrefix;
const PasteCase kPasteCases[] = {
    {"no_clipboard_data", nullptr, "1.jpg", false, kNoPicture, ""},
    {"html_only", [](QMimeData& d) { d.setHtml("<img src=\"x.png\">"); }, "1.jpg", false, kNoPicture, ""},
    {"unreadable_picture", broken_png, "1.jpg", false, kLoadError, "image/png"},
    {"store_fails", qt_image, "1.jpg/2.jpg", true, kLoadError, "Not a directory"},
    {"qt_image", qt_image, "1.jpg", true, "", ""},
};

class Paste : public Store, public ::testing::WithParamInterface<PasteCase> {};

TEST_P(Paste, ShowsAndStoresThePictureAtOnceOrSaysWhyNot) {
    const auto& [name, offer, to, shown, box, reason] = GetParam();
    const QByteArray before = read_all(dir.filePath(to));
    QMimeData data;
    if (offer) offer(data);
    std::vector<QImage> pictures;
    const auto show = [&pictures](const QImage& p) { pictures.push_back(p); };
    const auto result =
        record::paste_flow(offer ? &data : nullptr, dir.filePath(to), show, dialogs(), staging);
    const bool stored = shown && box.isEmpty();
    EXPECT_EQ(std::pair(result.pasted, result.stored), std::pair(shown, stored));
    EXPECT_EQ(pictures, shown ? std::vector{half_transparent(true)} : std::vector<QImage>{});
    EXPECT_EQ(boxes.size(), box.isEmpty() ? 0 : 1);
    EXPECT_TRUE(boxes.value(0, "").startsWith(box) && boxes.value(0, "").contains(reason))
        << boxes.value(0).toStdString();
    EXPECT_EQ(read_all(dir.filePath(to)), stored ? reference_jpeg(half_transparent(true), 80) : before);
    EXPECT_EQ(QFile::exists(staging), shown) << "a paste without a picture changes nothing";
}

INSTANTIATE_TEST_SUITE_P(Clipboards, Paste, ::testing::ValuesIn(kPasteCases), by_name);

enum class There { File, Nothing, Folder };  // a non-empty folder cannot be unlinked

// Name, what is at the record's path, answer, window closes, something still there.
using DeleteCase = std::tuple<const char*, There, bool, bool, bool>;

const DeleteCase kDeleteCases[] = {
    {"yes", There::File, true, true, false},
    {"no", There::File, false, false, true},
    {"yes_already_gone", There::Nothing, true, true, false},
    {"yes_to_a_folder", There::Folder, true, true, true},
};

class Delete : public Store, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(Delete, AsksThenDeletesAndClosesOnYesOnly) {
    const auto& [name, there, yes, closes, left] = GetParam();
    if (there != There::File) QFile::remove(record);
    if (there == There::Folder) QDir().mkpath(record + "/inside");
    answer = yes;
    EXPECT_EQ(record::delete_flow(record, dialogs()), closes);
    EXPECT_EQ(boxes, QStringList{"yesno:" + record::kDeleteQuestion});
    EXPECT_EQ(QFileInfo::exists(record), left);
}

INSTANTIATE_TEST_SUITE_P(Answers, Delete, ::testing::ValuesIn(kDeleteCases), by_name);

}  // namespace
