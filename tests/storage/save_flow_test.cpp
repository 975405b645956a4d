// Saving the adjusted picture over the record's file: what is stored, what
// Cancel leaves, and failures that must leave the record's file as it was.
#include <gtest/gtest.h>
#include <grp.h>
#include <pwd.h>

#include <QTemporaryDir>

#include "clsPicfilter.h"
#include "picture_loader.h"
#include "DIWriteJpg.h"
#include "save_flow.h"
#include "staging_file.h"
#include "storage_support.h"
#include "store_picture.h"

using namespace storage_test;

namespace {

class SaveFlow : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString record = dir.filePath("123.jpg");
    QString staging = dir.filePath("run/tmp.bmp");
    ScriptedDialogs answers;

    void SetUp() override { ASSERT_TRUE(QDir().mkpath(dir.filePath("run"))); }
};

TEST_F(SaveFlow, StoresTheAdjustedPictureAndKeepsStagingFile) {
    const QImage original = smooth_picture(160, 120, 4);
    clsPicfilter filter;
    filter.Picture(original);
    filter.PicProcessing(true, 30, 20, 10, 0);
    PictureBox pbox;
    filter.display_result(pbox);
    ASSERT_GT(mean_abs_diff(pbox.image, original), 20.0) << "the adjustment must show";

    ASSERT_EQ(sources::save_flow(pbox.image, record, answers.dialogs(), staging), sources::SaveOutcome::Saved);
    EXPECT_EQ(answers.questions, QStringList{"okcancel:" + sources::kSaveQuestion});
    EXPECT_TRUE(answers.errors.isEmpty());
    QString error;
    const QImage stored = sources::load_picture(record, &error);
    ASSERT_FALSE(stored.isNull()) << error.toStdString();
    EXPECT_LT(mean_abs_diff(stored, pbox.image), 3.0);
    EXPECT_TRUE(sources::staged_bitmap_complete(staging, 160, 120));

    // A second save stores the same picture again.
    const QByteArray first = read_all(record);
    ASSERT_EQ(sources::save_flow(pbox.image, record, answers.dialogs(), staging), sources::SaveOutcome::Saved);
    EXPECT_EQ(read_all(record), first);
    EXPECT_EQ(answers.questions.size(), 2);
}

TEST_F(SaveFlow, CancelTouchesNeitherTheRecordNorTheStagingFile) {
    ASSERT_TRUE(write_bytes(record, "the record"));
    ASSERT_TRUE(write_bytes(staging, "an older staging file"));
    const auto record_time = mtime_ns(record);
    const auto staging_time = mtime_ns(staging);
    ::usleep(20000);  // a write now would show in the times
    answers.answer = false;
    EXPECT_EQ(sources::save_flow(smooth_picture(20, 20, 1), record, answers.dialogs(), staging),
              sources::SaveOutcome::Cancelled);
    EXPECT_EQ(read_all(record), "the record");
    EXPECT_EQ(read_all(staging), "an older staging file");
    EXPECT_EQ(mtime_ns(record), record_time);
    EXPECT_EQ(mtime_ns(staging), staging_time);
    EXPECT_TRUE(answers.errors.isEmpty());
    EXPECT_EQ(entries(dir.path()), QStringList{"123.jpg"});
}

TEST_F(SaveFlow, CancelWithoutAStagingFileCreatesNone) {
    answers.answer = false;
    sources::save_flow(smooth_picture(20, 20, 1), record, answers.dialogs(), staging);
    EXPECT_FALSE(QFile::exists(staging));
    EXPECT_FALSE(QFile::exists(record));
}

TEST_F(SaveFlow, NoPictureYetIsReportedAndWritesNothing) {
    ASSERT_TRUE(write_bytes(record, "the record"));
    EXPECT_EQ(sources::save_flow(QImage(), record, answers.dialogs(), staging), sources::SaveOutcome::Failed);
    ASSERT_EQ(answers.errors.size(), 1);
    EXPECT_TRUE(answers.errors[0].startsWith(sources::kSaveErrorPrefix));
    EXPECT_GT(answers.errors[0].size(), sources::kSaveErrorPrefix.size()) << "with a reason";
    EXPECT_EQ(read_all(record), "the record");
    EXPECT_FALSE(QFile::exists(staging));
}

TEST_F(SaveFlow, CreatesAMissingRecord) {
    const QImage picture = smooth_picture(50, 30, 9);
    ASSERT_EQ(sources::save_flow(picture, record, answers.dialogs(), staging), sources::SaveOutcome::Saved);
    EXPECT_LT(mean_abs_diff(decode(record), picture), 3.0);
}

// Each failure is made real even for root: a path through a regular file, a
// file-size limit standing for a full disk, or a child process that gave up
// root before saving.
struct Failure {
    const char* name;
    // Prepares the folders; returns the record path and the staging path.
    std::function<std::pair<QString, QString>(const QString& root)> paths;
    // Applied in the child process before saving (limits, user).
    std::function<bool()> in_child;
    const char* reason;  // the system's words that must show in the message
};

void PrintTo(const Failure& c, std::ostream* os) { *os << c.name; }

class SaveFailures : public ::testing::TestWithParam<Failure> {};

TEST_P(SaveFailures, LeaveTheRecordByteForByteAndShowTheReason) {
    const Failure& f = GetParam();
    QTemporaryDir dir;
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const auto [record, staging] = f.paths(dir.path());
    QString error;
    // The old record is a real stored picture, and an older staging file is
    // there too: neither may end up as the record.
    const QImage old_picture = smooth_picture(300, 200, 1);
    if (QFileInfo(record).absoluteDir().exists()) {
        ASSERT_TRUE(sources::store_picture(old_picture, record, dir.filePath("old.bmp"), &error))
            << error.toStdString();
        ::unlink(QFile::encodeName(dir.filePath("old.bmp")).constData());
        ::unlink(QFile::encodeName(dir.filePath("old.bmp.lock")).constData());
    }
    if (QFileInfo(staging).absoluteDir().exists()) {
        ASSERT_TRUE(sources::write_staging_bitmap(staging, smooth_picture(300, 200, 12), &error));
    }
    const QByteArray old_bytes = read_all(record);
    const QString record_folder = QFileInfo(record).absolutePath();
    const QStringList before = entries(record_folder);

    const QImage new_picture = smooth_picture(300, 200, 7);
    const int code = run_in_child([&]() -> int {
        if (f.in_child && !f.in_child()) return 10;
        ScriptedDialogs answers;
        const auto outcome = sources::save_flow(new_picture, record, answers.dialogs(), staging);
        if (outcome != sources::SaveOutcome::Failed) return 11;
        if (answers.errors.size() != 1) return 12;
        const QString shown = answers.errors.front();
        if (!shown.startsWith(sources::kSaveErrorPrefix)) return 13;
        if (!shown.contains(QString::fromLatin1(f.reason))) {
            fprintf(stderr, "message: %s\n", qPrintable(shown));
            return 14;
        }
        return 0;
    });
    EXPECT_EQ(code, 0) << "10 setup, 11 not failed, 12 message count, 13 prefix, 14 reason";
    EXPECT_EQ(read_all(record), old_bytes);
    EXPECT_EQ(entries(record_folder), before) << "no temporary file may be left";
}

std::pair<QString, QString> plain_folders(const QString& root) {
    QDir(root).mkpath("rec");
    QDir(root).mkpath("run");
    return {root + "/rec/1.jpg", root + "/run/tmp.bmp"};
}

bool limit_file_size(rlim_t bytes) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim {bytes, bytes};
    return ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
}

bool become_nobody() {
    const passwd* pw = ::getpwnam("nobody");
    if (!pw) return false;
    const gid_t gid = pw->pw_gid;
    const uid_t uid = pw->pw_uid;
    return ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveFailures,
    ::testing::Values(
        Failure{"record_folder_through_a_file",
                [](const QString& root) {
                    write_bytes(root + "/plain", "a regular file");
                    QDir(root).mkpath("run");
                    return std::pair{root + "/plain/1.jpg", root + "/run/tmp.bmp"};
                },
                {}, "Not a directory"},
        Failure{"staging_folder_through_a_file",
                [](const QString& root) {
                    write_bytes(root + "/plain", "a regular file");
                    QDir(root).mkpath("rec");
                    return std::pair{root + "/rec/1.jpg", root + "/plain/tmp.bmp"};
                },
                {}, "Not a directory"},
        Failure{"disk_full_while_staging", plain_folders, [] { return limit_file_size(64 * 1024); },
                "File too large"},
        Failure{"record_folder_not_writable_for_the_user",
                [](const QString& root) {
                    auto paths = plain_folders(root);
                    ::chmod(QFile::encodeName(root + "/rec").constData(), 0755);
                    ::chmod(QFile::encodeName(root + "/run").constData(), 0777);
                    return paths;
                },
                [] { return ::geteuid() == 0 && become_nobody(); }, "Permission denied"},
        Failure{"staging_folder_not_writable_for_the_user",
                [](const QString& root) {
                    auto paths = plain_folders(root);
                    ::chmod(QFile::encodeName(root + "/rec").constData(), 0777);
                    ::chmod(QFile::encodeName(root + "/run").constData(), 0755);
                    return paths;
                },
                [] { return ::geteuid() == 0 && become_nobody(); }, "Permission denied"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SaveFailure, DiskFullWhileWritingTheJpegKeepsTheRecord) {
    // Staged beforehand, so the limit strikes the JPEG write itself.
    QTemporaryDir dir;
    const QString staging = dir.filePath("tmp.bmp");
    const QString record = dir.filePath("1.jpg");
    ASSERT_TRUE(write_bytes(record, "old record"));
    ASSERT_TRUE(sources::write_staging_bitmap(staging, smooth_picture(400, 300, 3), nullptr));
    const int code = run_in_child([&] {
        if (!limit_file_size(1024)) return 10;
        QString error;
        const int rc = sources::write_jpeg_from_bitmap(staging, record, 80, &error);
        return rc == kDIWriteJpgWriteFailed && error.contains("File too large") ? 0 : 1;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(read_all(record), "old record");
    EXPECT_EQ(entries(dir.path()), (QStringList{"1.jpg", "tmp.bmp"}));
}

}  // namespace
