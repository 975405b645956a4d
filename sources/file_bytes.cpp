#include "file_bytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace sources {

namespace {

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

FileProblem read_file_bytes(const char* path, std::int64_t max_bytes, FileBytes* out, int* error_number) {
    *out = FileBytes();
    *error_number = 0;
    // Non-blocking, so that opening a pipe with no writer returns at once
    // and the check below refuses it.
    const Descriptor file{::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (file.fd < 0) {
        *error_number = errno;
        return errno == ENOENT || errno == ENOTDIR ? FileProblem::missing : FileProblem::unreadable;
    }
    struct stat st {};
    if (::fstat(file.fd, &st) != 0) {
        *error_number = errno;
        return FileProblem::unreadable;
    }
    if (S_ISDIR(st.st_mode)) return FileProblem::directory;
    if (!S_ISREG(st.st_mode)) return FileProblem::not_regular;
    if (st.st_size > max_bytes) {
        out->size = static_cast<std::size_t>(st.st_size);
        return FileProblem::too_large;
    }
    const auto expected = static_cast<std::size_t>(st.st_size);
    if (expected == 0) return FileProblem::none;
    // What the file holds when it is found; a file still being written gives
    // what it had then, which the decoders treat as any cut file.
    picfilter::PixelMemory memory(expected);
    if (!memory.data()) {
        *error_number = ENOMEM;
        return FileProblem::unreadable;
    }
    std::size_t got = 0;
    while (got < expected) {
        const ssize_t n = ::read(file.fd, memory.data() + got, expected - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error_number = errno;
            return FileProblem::unreadable;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    out->memory = std::move(memory);
    out->size = got;
    return FileProblem::none;
}

}  // namespace sources
