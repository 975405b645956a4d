#include "file_bytes.h"

#include "reasons.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

namespace core {

namespace {

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

Result<FileBytes> read_file_bytes(const std::string& path, std::int64_t max_bytes) {
    auto refuse = [&path](const char* why) { return file_failure(path, why); };
    auto system_error = [&](int err) {
        return file_failure(path, std::string("lecture impossible (") + std::strerror(err) + ")");
    };
    // Non-blocking, so that opening a pipe with no writer returns at once
    // and the check below refuses it.
    const Descriptor file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0) return errno == ENOENT || errno == ENOTDIR ? refuse("fichier introuvable") : system_error(errno);
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) return system_error(errno);
    if (S_ISDIR(st.st_mode)) return refuse("c'est un dossier");
    if (!S_ISREG(st.st_mode)) return refuse("ce n'est pas un fichier ordinaire");
    if (st.st_size > max_bytes)
        return file_failure(path, "fichier trop gros pour être une image (" + std::to_string(st.st_size) + " octets)");
    FileBytes out;
    const auto expected = static_cast<std::size_t>(st.st_size);
    if (expected == 0) return out;
    // What the file holds when it is found; a file still being written gives
    // what it had then, which the decoders treat as any cut file.
    out.memory = PixelMemory(expected);
    if (!out.memory.data()) return system_error(ENOMEM);
    while (out.size < expected) {
        const ssize_t n = ::read(file.fd, out.memory.data() + out.size, expected - out.size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return system_error(errno);
        if (n == 0) break;
        out.size += static_cast<std::size_t>(n);
    }
    return out;
}

}  // namespace core
