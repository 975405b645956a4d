#include "atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <random>

#include "reasons.h"
#include <string>

namespace storage {
namespace {

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

std::string folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Joined by appending: GCC 12 warns falsely on chains of operator+.
std::string join(const std::string& a, const std::string& sep, const std::string& b) {
    std::string out;
    out.reserve(a.size() + sep.size() + b.size());
    return out.append(a).append(sep).append(b);
}

std::string name_of(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a chain of symbolic links finally names, so that a record kept
// as a link stays a link and its target gets the new picture. A path that
// does not exist (yet) is its own target.
bool final_target(std::string path, std::string* out, int* err) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            *out = path;
            return true;
        }
        std::string link(4096, '\0');
        const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
        if (n < 0 || static_cast<std::size_t>(n) >= link.size()) {
            *err = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        link.resize(static_cast<std::size_t>(n));
        path = link.front() == '/' ? link : join(folder_of(path), "/", link);
    }
    *err = ELOOP;
    return false;
}

// Our temporaries are ".<record name>.<6 characters>". An unnamed file only
// bears that name, whole, for the instant between link and rename, and a
// named one (where unnamed files are not available) for the whole write; a
// crash in either leaves it behind, so every store of that record removes
// those older than a minute (no store still running).
std::string temp_prefix(const std::string& target) { return join(".", name_of(target), "."); }

void remove_stale_temporaries(const std::string& folder, const std::string& prefix) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const std::time_t now = std::time(nullptr);
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string path = join(folder, "/", name);
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && now - st.st_mtime > 60) ::unlink(path.c_str());
    }
    ::closedir(dir);
}

std::string random_name(const std::string& folder, const std::string& prefix) {
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 gen{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    std::string name = join(folder, "/", prefix);
    for (int i = 0; i < 6; ++i) name += kChars[pick(gen)];
    return name;
}

// Gives the complete unnamed file `fd` a temporary name beside the target.
bool name_unnamed(int fd, const std::string& folder, const std::string& prefix, std::string* name, int* err) {
    const std::string proc = join("/proc/self/fd/", "", std::to_string(fd));
    for (int tries = 0; tries < 100; ++tries) {
        *name = random_name(folder, prefix);
        if (::linkat(AT_FDCWD, proc.c_str(), AT_FDCWD, name->c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        if (errno == EEXIST) continue;
        *err = errno;
        return false;
    }
    *err = EEXIST;
    return false;
}

// The new content in a file of the target's folder, flushed, with the mode
// and owner the target should have. Unnamed where the system allows it.
// Mode 0666 lets the kernel apply the umask: the process-wide umask is
// never changed, since other threads may be creating files meanwhile.
int open_temporary(const std::string& folder, const std::string& prefix, bool* unnamed, std::string* name) {
    if (*unnamed) {
        const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        *unnamed = fd >= 0;
        if (fd >= 0) return fd;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return -1;
    }
    int fd = -1;
    for (int tries = 0; tries < 100; ++tries) {
        *name = random_name(folder, prefix);
        fd = ::open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

int write_temporary(int fd, const void* data, std::size_t size, const struct stat* old) {
    if (!write_all(fd, static_cast<const char*>(data), size)) return errno;
    if (old) {
        if (::fchmod(fd, old->st_mode & 07777) != 0) return errno;
        // A file replaced by another user (root, typically) stays its owner's.
        // Only a privileged process can do this; anyone else already owns it.
        if (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) (void)!::fchown(fd, old->st_uid, old->st_gid);
    }
    if (::fsync(fd) != 0) return errno;
    return 0;
}

}  // namespace

core::Result<> replace_file_atomically(const QString& path, const void* data, std::size_t size) {
    auto fail = [&](int err) { return core::file_failure(path, err); };
    int err = 0;
    std::string target;
    if (!final_target(QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString(), &target, &err))
        return fail(err);
    const std::string folder = folder_of(target);
    const std::string prefix = temp_prefix(target);

    struct stat old {};
    const bool had_file = ::stat(target.c_str(), &old) == 0;
    if (had_file && S_ISDIR(old.st_mode)) return fail(EISDIR);
    // The rename below needs only the folder's permission; a record its
    // owner made read-only must stay as it is.
    if (had_file && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return fail(errno);

    remove_stale_temporaries(folder, prefix);
    // An unnamed file needs /proc to be given a name; without it, a named one.
    for (bool unnamed : {true, false}) {
        std::string temp;
        const int fd = open_temporary(folder, prefix, &unnamed, &temp);
        if (fd < 0) return fail(errno);
        err = write_temporary(fd, data, size, had_file ? &old : nullptr);
        bool retry = false;
        if (!err && unnamed && !name_unnamed(fd, folder, prefix, &temp, &err)) {
            temp.clear();
            retry = err == ENOENT;
        }
        if (::close(fd) != 0 && !err) err = errno;
        if (retry) continue;
        if (!err && ::rename(temp.c_str(), target.c_str()) != 0) err = errno;
        if (err && !temp.empty()) ::unlink(temp.c_str());
        break;
    }
    if (err) return fail(err);
    // Make the rename itself durable.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return {};
}

core::Result<> copy_file_atomically(const QString& from, const QString& to) {
    QFile src(from);
    const QByteArray bytes = src.open(QIODevice::ReadOnly) ? src.readAll() : QByteArray();
    if (src.error() != QFileDevice::NoError) return core::file_failure(from, src.errorString());
    return replace_file_atomically(to, bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace storage
