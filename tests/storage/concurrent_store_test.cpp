// Stores interrupted by death, and stores by two copies of the program at
// once: the record's file is always one picture, whole, and its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <random>

#include "picture_loader.h"
#include "staging_file.h"
#include "store_picture.h"
#include "storage_support.h"

using namespace storage_test;

namespace {

// Which of the candidates the record's file holds: its index, or -1 when it
// does not decode whole or matches none.
// A smooth picture under grey noise: a large JPEG that still tells the
// pictures apart.
QImage noisy_picture(int w, int h, int seed, std::mt19937& rng) {
    QImage img = smooth_picture(w, h, seed);
    std::uniform_int_distribution<int> noise(-40, 40);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int n = noise(rng);
            const auto c = [n](int v) { return std::clamp(v + n, 0, 255); };
            row[x] = qRgb(c(qRed(row[x])), c(qGreen(row[x])), c(qBlue(row[x])));
        }
    }
    return img;
}

int stored_which(const QString& record, const std::vector<QImage>& candidates, double tolerance = 4.0) {
    QString error;
    const QImage stored = sources::load_picture(record, &error);
    if (stored.isNull()) return -1;
    for (std::size_t i = 0; i < candidates.size(); ++i)
        if (mean_abs_diff(stored, candidates[i]) < tolerance) return int(i);
    return -1;
}

TEST(InterruptedStore, RecordIsAlwaysTheOldOrTheNewPictureWhole) {
    QTemporaryDir dir;
    const QString record = dir.filePath("record.jpg");
    const QString staging = dir.filePath("tmp.bmp");
    // Noise makes a large JPEG, so the record's file takes long enough to
    // write that kills land inside it.
    std::mt19937 rng(20261206);
    const std::vector<QImage> pictures{noisy_picture(3000, 2000, 1, rng), noisy_picture(3000, 2000, 6, rng)};
    constexpr double kNoiseTolerance = 25.0;
    QString error;
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(sources::store_picture(pictures[0], record, staging, &error)) << error.toStdString();
    const qint64 one_store_us = std::max<qint64>(clock.nsecsElapsed() / 1000, 1000);
    ASSERT_EQ(stored_which(record, pictures, kNoiseTolerance), 0);

    // Half the kills anywhere in a store, half in its last part, where the
    // record's file is written.
    std::uniform_int_distribution<qint64> anywhere(0, one_store_us * 6 / 5);
    std::uniform_int_distribution<qint64> near_end(one_store_us / 2, one_store_us * 11 / 10);
    int killed = 0, finished = 0, runs = 0;
    QElapsedTimer budget;
    budget.start();
    int current = 0;
    while (budget.elapsed() < 15000 && runs < 150) {
        const int next = 1 - current;
        const pid_t pid = ::fork();
        if (pid == 0) ::_exit(sources::store_picture(pictures[next], record, staging, nullptr) ? 0 : 1);
        ASSERT_GT(pid, 0);
        // Every tenth store is left to finish: on a loaded machine the timed
        // guesses alone may interrupt them all.
        if (runs % 10 != 9) {
            ::usleep(static_cast<useconds_t>(runs % 2 ? near_end(rng) : anywhere(rng)));
            ::kill(pid, SIGKILL);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        ++runs;
        if (WIFSIGNALED(status))
            ++killed;
        else if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
            ++finished;
        else
            ADD_FAILURE() << "a store that was not interrupted failed";
        const int now = stored_which(record, pictures, kNoiseTolerance);
        ASSERT_NE(now, -1) << "run " << runs << ": the record is neither picture, whole";
        if (WIFEXITED(status)) {
            EXPECT_EQ(now, next) << "a finished store must be there";
        }
        current = now;
    }
    RecordProperty("runs", runs);
    EXPECT_GT(killed, 0) << "no store was interrupted";
    EXPECT_GT(finished, 0) << "no store ran to its end";
    // Stores after the interruptions still work.
    ASSERT_TRUE(sources::store_picture(pictures[1 - current], record, staging, &error)) << error.toStdString();
    EXPECT_EQ(stored_which(record, pictures, kNoiseTolerance), 1 - current);
}

TEST(ConcurrentStores, EachRecordHoldsItsOwnPicture) {
    QTemporaryDir dir;
    const QString staging = dir.filePath("tmp.bmp");  // one staging file, as for one user
    const std::vector<QImage> pictures{smooth_picture(600, 400, 2), smooth_picture(600, 400, 8)};
    const QString records[2] = {dir.filePath("a.jpg"), dir.filePath("b.jpg")};
    constexpr int kStores = 40;
    pid_t pids[2];
    for (int who = 0; who < 2; ++who) {
        pids[who] = ::fork();
        if (pids[who] == 0) {
            for (int i = 0; i < kStores; ++i) {
                QString error;
                if (!sources::store_picture(pictures[who], records[who], staging, &error)) ::_exit(2);
                if (stored_which(records[who], pictures) != who) ::_exit(3);
            }
            ::_exit(0);
        }
        ASSERT_GT(pids[who], 0);
    }
    for (int who = 0; who < 2; ++who) {
        int status = 0;
        ::waitpid(pids[who], &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "copy " << who << ": 2 store failed, 3 record held another picture";
        EXPECT_EQ(stored_which(records[who], pictures), who);
    }
}

TEST(StagingLockTest, SecondHolderWaitsForTheFirst) {
    QTemporaryDir dir;
    const QString staging = dir.filePath("tmp.bmp");
    const QString record = dir.filePath("r.jpg");
    sources::StagingLock held(staging);
    ASSERT_TRUE(held.acquire(nullptr));
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(sources::store_picture(smooth_picture(32, 32, 1), record, staging, nullptr) ? 0 : 1);
    ASSERT_GT(pid, 0);
    ::usleep(300000);
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, WNOHANG), 0) << "the store went on while another copy held the lock";
    EXPECT_FALSE(QFile::exists(record));
    held.release();
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(QFile::exists(record));
}

TEST(StagingLockTest, UnwritableFolderIsReported) {
    QTemporaryDir dir;
    write_bytes(dir.filePath("plain"), "x");
    sources::StagingLock lock(dir.filePath("plain/tmp.bmp"));
    QString error;
    EXPECT_FALSE(lock.acquire(&error));
    EXPECT_FALSE(lock.held());
    EXPECT_TRUE(error.contains("Not a directory")) << error.toStdString();
}

}  // namespace
