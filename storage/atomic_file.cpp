#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <string>

namespace sources {
namespace {

QString reason(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

bool write_all(int fd, const char* p, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

}  // namespace

bool replace_file_atomically(const QString& path, const void* data, std::size_t size, QString* error) {
    QString ignored;
    if (!error) error = &ignored;
    const QByteArray target = QFile::encodeName(path);
    const QFileInfo info(path);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    std::string tmpl = (folder + "/." + QFile::encodeName(info.fileName()) + ".XXXXXX").toStdString();

    struct stat old {};
    const bool had_file = ::stat(target.constData(), &old) == 0;
    if (had_file && S_ISDIR(old.st_mode)) {
        *error = QStringLiteral("%1 : %2").arg(path, reason(EISDIR));
        return false;
    }

    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        *error = QStringLiteral("%1 : %2").arg(path, reason(errno));
        return false;
    }
    int err = 0;
    mode_t mode = 0;
    if (had_file) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (!write_all(fd, static_cast<const char*>(data), size)) err = errno;
    if (!err && ::fchmod(fd, mode) != 0) err = errno;
    // A file replaced by another user (root, typically) stays its owner's.
    // Only a privileged process can do this; anyone else already owns it or
    // keeps the new file as its own.
    if (!err && had_file && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
        (void)!::fchown(fd, old.st_uid, old.st_gid);
    if (!err && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && !err) err = errno;
    if (!err && ::rename(tmpl.c_str(), target.constData()) != 0) err = errno;
    if (err) {
        ::unlink(tmpl.c_str());
        *error = QStringLiteral("%1 : %2").arg(path, reason(err));
        return false;
    }
    // Make the rename itself durable.
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool copy_file_atomically(const QString& from, const QString& to, QString* error) {
    QString ignored;
    if (!error) error = &ignored;
    QFile src(from);
    if (!src.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1 : %2").arg(from, src.errorString());
        return false;
    }
    const QByteArray bytes = src.readAll();
    if (src.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1 : %2").arg(from, src.errorString());
        return false;
    }
    return replace_file_atomically(to, bytes.constData(), static_cast<std::size_t>(bytes.size()), error);
}

}  // namespace sources
