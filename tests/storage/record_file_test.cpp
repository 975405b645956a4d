// What a store does to the record's file itself, seen as an ordinary user
// sees it: its mode, a link to it, a read-only record, a crash mid-store.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <thread>

#include "atomic_file.h"
#include "test_files.h"

namespace {

// Runs `store` in a child that is an ordinary user (root ignores file
// permissions); returns its exit status.
int store_as_user(const std::function<int()>& store) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
        ::_exit(store());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 4;
}

struct RecordCase {
    const char* name;
    mode_t mode;    // of the existing record; 0 = none
    bool via_link;  // the record is a symbolic link to a file in another folder
    bool stored;    // the store succeeds
    mode_t mode_after;
};

class RecordFile : public testing::TestWithParam<RecordCase> {};

TEST_P(RecordFile, KeepsModeLinkAndReadOnlyRecords) {
    const RecordCase c = GetParam();
    QTemporaryDir dir;
    ::chmod(dir.path().toLocal8Bit().constData(), 0777);
    const QString target = dir.filePath(c.via_link ? "pictures/123.jpg" : "123.jpg");
    QDir(dir.path()).mkpath("pictures");
    ::chmod(dir.filePath("pictures").toLocal8Bit().constData(), 0777);
    const QString record = dir.filePath("123.jpg");
    if (c.via_link) QFile::link("pictures/123.jpg", record);
    if (c.mode) {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old picture");
        f.close();
        ::chmod(target.toLocal8Bit().constData(), c.mode);
    }
    const mode_t mask = ::umask(022);
    // 0: stored; 1: refused, saying which file and why.
    const int status = store_as_user([&] {
        const auto replaced = storage::replace_file_atomically(record, "new picture", 11);
        if (replaced) return 0;
        return replaced.error().reason().find("123.jpg : Permission denied") != std::string::npos ? 1 : 2;
    });
    ::umask(mask);
    EXPECT_EQ(status, c.stored ? 0 : 1);
    EXPECT_EQ(file_bytes(target), QByteArray(c.stored ? "new picture" : "old picture"));
    struct stat st {};
    ASSERT_EQ(::lstat(record.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(S_ISLNK(st.st_mode), c.via_link);
    ASSERT_EQ(::stat(target.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode_after);
    // Nothing but the record (and the link) is left in either folder.
    EXPECT_EQ(QDir(dir.filePath("pictures")).entryList(QDir::Files | QDir::Hidden).size(), c.via_link ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, RecordFile,
                         testing::Values(RecordCase{"new", 0, false, true, 0644},
                                         RecordCase{"kept_mode", 0646, false, true, 0646},
                                         RecordCase{"read_only", 0444, false, false, 0444},
                                         RecordCase{"link", 0666, true, true, 0666},
                                         RecordCase{"link_to_read_only", 0444, true, false, 0444}),
                         [](const auto& info) { return std::string(info.param.name); });

// Killed at any moment of a store, the record is the old file or the new one,
// whole, and no partly written file is left beside it; one that a kill left
// all the same (named, just before its rename) goes at the next store once a
// minute old.
TEST(RecordFileCrash, LeavesOldOrNewAndNothingElse) {
    QTemporaryDir dir;
    const QString record = dir.filePath("123.jpg");
    const QByteArray before(1 << 20, 'o'), after(48 << 20, 'n');
    for (int kill_after_us : {0, 2000, 5000, 10000, 20000, 40000, 80000, 150000}) {
        ASSERT_TRUE(storage::replace_file_atomically(record, before.constData(), before.size()));
        const pid_t pid = ::fork();
        if (pid == 0) ::_exit(storage::replace_file_atomically(record, after.constData(), after.size()) ? 0 : 1);
        std::this_thread::sleep_for(std::chrono::microseconds(kill_after_us));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        const QByteArray now = file_bytes(record);
        EXPECT_TRUE(now == before || now == after) << "killed after " << kill_after_us << " us: " << now.size();
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"123.jpg"})
            << "killed after " << kill_after_us << " us";
    }
    const QString stale = dir.filePath(".123.jpg.aB3xYz"), fresh = dir.filePath(".123.jpg.Q9rTt0");
    for (const QString& left : {stale, fresh}) ASSERT_TRUE(QFile(left).open(QIODevice::WriteOnly));
    const timespec minutes_ago[2] = {{::time(nullptr) - 61, 0}, {::time(nullptr) - 61, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(stale).constData(), minutes_ago, 0), 0);
    ASSERT_TRUE(storage::replace_file_atomically(record, before.constData(), before.size()));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({".123.jpg.Q9rTt0", "123.jpg"}))
        << "a store still running may own the fresh one";
}

}  // namespace
