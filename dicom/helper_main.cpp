// selection_image_dicom: decodes the first frame of one DICOM file into the
// shared-memory file its parent gave it (see answer.h), and nothing else.
// It runs apart from the program because the codec library is built with
// its assertions on (a damaged file aborts it), may run for seconds, and may
// start other programs; its parent bounds its time, and it bounds its own
// memory and processor time before reading anything.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "answer.h"
#include "frame_decoder.h"

namespace {

using dicom::decoding::Reply;
using dicom::wire::Status;

void write_header(int fd, Status status, int width, int height, const std::string& reason) {
    dicom::wire::Header h{};
    std::memcpy(h.magic, dicom::wire::kMagic, sizeof h.magic);
    h.status = status;
    h.width = width;
    h.height = height;
    std::strncpy(h.reason, reason.c_str(), sizeof h.reason - 1);
    // A refusal is the header alone; a picture's pixels are already in place
    // and the header, written last, vouches for them.
    if (status != Status::picture && ftruncate(fd, static_cast<off_t>(dicom::wire::kHeaderBytes)) != 0) _exit(3);
    if (pwrite(fd, &h, sizeof h, 0) != static_cast<ssize_t>(sizeof h)) _exit(3);
}

long number(const char* text) {
    long v = 0;
    const auto [end, ec] = std::from_chars(text, text + std::strlen(text), v);
    return ec == std::errc() && *end == 0 ? v : -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    // Gone with its parent; no core file of a damaged picture anywhere.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    prctl(PR_SET_DUMPABLE, 0);
    const long max_pixels = number(argv[2]), address_space = number(argv[3]), cpu = number(argv[4]);
    if (max_pixels <= 0 || address_space <= 0 || cpu <= 0) return 2;
    const rlimit no_core{0, 0}, as{static_cast<rlim_t>(address_space), static_cast<rlim_t>(address_space)},
        cpu_limit{static_cast<rlim_t>(cpu), static_cast<rlim_t>(cpu + 1)};
    if (setrlimit(RLIMIT_CORE, &no_core) != 0 || setrlimit(RLIMIT_AS, &as) != 0 ||
        setrlimit(RLIMIT_CPU, &cpu_limit) != 0)
        return 2;
    const int answer_fd = dicom::wire::kAnswerFd;
    // Whatever the codec library starts inherits neither the file nor the answer.
    fcntl(answer_fd, F_SETFD, FD_CLOEXEC);
    int input = -1;
    if (std::strncmp(argv[1], "fd:", 3) == 0) {
        input = static_cast<int>(number(argv[1] + 3));
        if (input >= 0) fcntl(input, F_SETFD, FD_CLOEXEC);
    } else {
        input = open(argv[1], O_RDONLY | O_CLOEXEC);
    }
    try {
        struct stat st {};
        if (input < 0 || fstat(input, &st) != 0) {
            write_header(answer_fd, Status::refused, 0, 0, "fichier DICOM illisible : impossible de l'ouvrir");
            return 0;
        }
        std::vector<std::uint8_t> copy;
        const std::uint8_t* bytes = nullptr;
        std::size_t size = static_cast<std::size_t>(st.st_size);
        void* map =
            S_ISREG(st.st_mode) && size > 0 ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, input, 0) : MAP_FAILED;
        if (map != MAP_FAILED) {
            bytes = static_cast<const std::uint8_t*>(map);
        } else {
            // A pipe, or a file that cannot be mapped: read it whole.
            std::uint8_t chunk[65536];
            for (ssize_t n; (n = ::read(input, chunk, sizeof chunk)) > 0;) copy.insert(copy.end(), chunk, chunk + n);
            bytes = copy.data();
            size = copy.size();
        }
        const Reply r = dicom::decoding::decode(bytes, size, max_pixels, answer_fd);
        write_header(answer_fd, r.status, r.width, r.height, r.reason);
    } catch (const std::bad_alloc&) {
        write_header(answer_fd, Status::refused, 0, 0, "mémoire insuffisante pour décoder ce fichier DICOM");
    }
    return 0;
}
