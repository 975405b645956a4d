#include "staging_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "bitmap_layout.h"
#include "reasons.h"

namespace storage {
namespace {

core::Failed failure(const QString& path, int err) { return core::file_failure(path, err); }

bool write_all(int fd, const unsigned char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (w == 0) {
            errno = EIO;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

}  // namespace

core::Result<QString> staging_path() {
#ifdef _WIN32
    return QStringLiteral("c:\\tmp.bmp");
#else
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) return core::fail("aucun dossier temporaire pour l'utilisateur");
    if (!QDir().mkpath(folder)) return core::fail(QStringLiteral("%1 : impossible de créer le dossier").arg(folder));
    return folder + QStringLiteral("/tmp.bmp");
#endif
}

StagingLock::StagingLock(QString staging) : staging_(std::move(staging)) {}

StagingLock::~StagingLock() { release(); }

core::Result<> StagingLock::acquire() {
    if (fd_ >= 0) return {};
    if (staging_.isEmpty()) return core::fail("aucun fichier intermédiaire");
    // The lock file is never removed: removing it would let a waiting copy
    // lock a file that a newer copy no longer sees.
    const QString lock_path = staging_ + QStringLiteral(".lock");
    const int fd = ::open(QFile::encodeName(lock_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return failure(lock_path, errno);
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        const int err = errno;
        ::close(fd);
        return failure(lock_path, err);
    }
    fd_ = fd;
    return {};
}

void StagingLock::release() {
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

core::Result<> write_staging_bitmap(const QString& staging, const QImage& picture) {
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0) return core::fail(kNothingToStore);
    const QByteArray name = QFile::encodeName(staging);
    if (::unlink(name.constData()) != 0 && errno != ENOENT) return failure(staging, errno);

    QImage converted;
    const QImage* rows = &picture;
    if (picture.format() != QImage::Format_RGB32 && picture.format() != QImage::Format_ARGB32) {
        converted = picture.convertToFormat(QImage::Format_RGB32);
        if (converted.isNull()) return core::fail(core::kNoMemory);
        rows = &converted;
    }
    const int w = rows->width();
    const int h = rows->height();
    const auto header = bitmap::top_down_bgrx_header(w, h);

    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return failure(staging, errno);
    bool ok = write_all(fd, header.data(), header.size());
    const std::size_t row_bytes = std::size_t(w) * 4;
    if (ok && std::size_t(rows->bytesPerLine()) == row_bytes) {
        ok = write_all(fd, rows->constBits(), row_bytes * std::size_t(h));
    } else {
        for (int y = 0; ok && y < h; ++y) ok = write_all(fd, rows->constScanLine(y), row_bytes);
    }
    int err = ok ? 0 : errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (err) {
        ::unlink(name.constData());
        return failure(staging, err);
    }
    return {};
}

bool staged_bitmap_complete(const QString& staging, int width, int height) {
    const int fd = ::open(QFile::encodeName(staging).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    std::array<unsigned char, bitmap::kTopDownHeaderSize> head{};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                    std::uint64_t(st.st_size) == bitmap::top_down_bgrx_file_size(width, height) &&
                    ::pread(fd, head.data(), head.size(), 0) == ssize_t(head.size()) &&
                    head == bitmap::top_down_bgrx_header(width, height);
    ::close(fd);
    return ok;
}

}  // namespace storage
