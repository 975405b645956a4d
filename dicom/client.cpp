#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "answer.h"
#include "dicom.h"

extern char** environ;

namespace dicom {

namespace {

std::mutex settings_mutex;
HelperSettings settings;

// A descriptor closed on every way out.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// The helper's private temporary folder, removed with all it holds.
struct TempFolder {
    std::string path;
    ~TempFolder() {
        if (path.empty()) return;
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

std::string seconds_text(std::chrono::milliseconds t) {
    const long ms = static_cast<long>(t.count());
    std::string s = std::to_string(ms / 1000);
    if (ms % 1000) {
        char frac[8];
        std::snprintf(frac, sizeof frac, ",%03ld", ms % 1000);
        std::string f = frac;
        while (f.back() == '0') f.pop_back();
        s += f;
    }
    return s + " s";
}

void unmap_picture(unsigned char* data, std::size_t bytes) {
    ::munmap(data - wire::kHeaderBytes, bytes + wire::kHeaderBytes);
}

// Only text the user can read goes on: printable, within the header.
std::string readable(const char* text, std::size_t capacity) {
    std::string s(text, strnlen(text, capacity));
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return s;
}

enum class Kind { picture, not_dicom };

struct Outcome {
    Kind kind;
    Picture picture;
};

// Waits for the child to end, at most `limit`; false when it has not.
bool wait_for_end(pid_t pid, std::chrono::milliseconds limit) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + limit;
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd >= 0) {
        Fd guard(pidfd);
        while (true) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
            pollfd p{pidfd, POLLIN, 0};
            const int r = ::poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
            if (r > 0) return true;
            if (r == 0) return false;
            if (errno != EINTR) break;
        }
    }
    // Without a process descriptor: look every millisecond, leaving it unreaped.
    while (clock::now() < deadline) {
        siginfo_t info{};
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid)
            return true;
        ::usleep(1000);
    }
    return false;
}

core::Result<Outcome> run_helper(int input_fd, std::size_t input_size, std::int64_t max_pixels) {
    const HelperSettings s = helper_settings();
    const std::string helper = s.path.empty() ? default_helper_path() : s.path;
    if (max_pixels <= 0) return core::fail("image DICOM trop grande");

    Fd answer(::memfd_create("selection_image_dicom", MFD_CLOEXEC));
    if (answer.fd < 0) {
        if (errno == ENOMEM) throw std::bad_alloc();
        return core::fail(std::string("impossible de préparer le décodage DICOM : ") + std::strerror(errno));
    }
    // Copies above the helper's own numbers, so that moving them there never
    // lands a descriptor on itself (which would keep it closed on exec).
    Fd in_copy(::fcntl(input_fd, F_DUPFD_CLOEXEC, 10)), answer_copy(::fcntl(answer.fd, F_DUPFD_CLOEXEC, 10));
    if (in_copy.fd < 0 || answer_copy.fd < 0)
        return core::fail(std::string("impossible de préparer le décodage DICOM : ") + std::strerror(errno));

    const char* tmp = std::getenv("TMPDIR");
    TempFolder folder;
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/selection_image_dicom.XXXXXX";
    if (!::mkdtemp(pattern.data()))
        return core::fail(std::string("impossible de créer le dossier temporaire du décodage DICOM : ") +
                          std::strerror(errno));
    folder.path = pattern;

    // Room for the file, its inflated or decoded copies and the codec's work
    // on the largest picture allowed; past that the helper fails, not the machine.
    const std::int64_t address_space =
        (std::int64_t{1} << 30) +
        3 * static_cast<std::int64_t>(std::min<std::size_t>(input_size, std::size_t{1} << 40)) +
        48 * std::min<std::int64_t>(max_pixels, std::int64_t{1} << 36);
    const long cpu_seconds = static_cast<long>(s.time_limit.count() / 1000) + 2;
    const std::string in_arg = "fd:" + std::to_string(wire::kInputFd), pixels_arg = std::to_string(max_pixels),
                      as_arg = std::to_string(address_space), cpu_arg = std::to_string(cpu_seconds);
    char* argv[] = {const_cast<char*>(helper.c_str()),     const_cast<char*>(in_arg.c_str()),
                    const_cast<char*>(pixels_arg.c_str()), const_cast<char*>(as_arg.c_str()),
                    const_cast<char*>(cpu_arg.c_str()),    nullptr};
    std::vector<std::string> env_text;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "TMPDIR=", 7) != 0) env_text.emplace_back(*e);
    env_text.push_back("TMPDIR=" + folder.path);
    std::vector<char*> envp;
    for (auto& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    if (posix_spawn_file_actions_init(&actions) != 0 || posix_spawnattr_init(&attr) != 0) throw std::bad_alloc();
    struct SpawnGuard {
        posix_spawn_file_actions_t* a;
        posix_spawnattr_t* b;
        ~SpawnGuard() {
            posix_spawn_file_actions_destroy(a);
            posix_spawnattr_destroy(b);
        }
    } spawn_guard{&actions, &attr};
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, in_copy.fd, wire::kInputFd);
    posix_spawn_file_actions_adddup2(&actions, answer_copy.fd, wire::kAnswerFd);
    posix_spawn_file_actions_addclosefrom_np(&actions, wire::kAnswerFd + 1);
    posix_spawn_file_actions_addchdir_np(&actions, folder.path.c_str());
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    // Its own process group, so that whatever it starts ends with it.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, helper.c_str(), &actions, &attr, argv, envp.data());
    if (spawned == ENOMEM) throw std::bad_alloc();
    if (spawned != 0) return core::fail("décodeur DICOM absent : " + helper + " (" + std::strerror(spawned) + ")");

    const bool ended = wait_for_end(pid, s.time_limit);
    // The group goes while the helper, ended or not, still holds its number.
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!ended) return core::fail("le décodage DICOM a dépassé " + seconds_text(s.time_limit));
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        if (sig == SIGXCPU || sig == SIGKILL)
            return core::fail("le décodage DICOM a dépassé le temps de calcul permis");
        return core::fail("fichier DICOM illisible : le décodeur s'est arrêté sur une erreur (signal " +
                          std::to_string(sig) + ")");
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
        return core::fail("décodeur DICOM absent : " + helper + " ne démarre pas (bibliothèques manquantes)");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return core::fail("fichier DICOM illisible : le décodeur a échoué (code " +
                          std::to_string(WEXITSTATUS(status)) + ")");

    struct stat st {};
    wire::Header h{};
    if (::fstat(answer.fd, &st) != 0 || static_cast<std::size_t>(st.st_size) < wire::kHeaderBytes ||
        ::pread(answer.fd, &h, sizeof h, 0) != static_cast<ssize_t>(sizeof h) ||
        std::memcmp(h.magic, wire::kMagic, sizeof h.magic) != 0)
        return core::fail("fichier DICOM illisible : réponse du décodeur incomplète");
    switch (h.status) {
        case wire::Status::not_dicom:
            return Outcome{Kind::not_dicom, {}};
        case wire::Status::refused:
            return core::fail(readable(h.reason, sizeof h.reason));
        case wire::Status::no_codec:
            return core::fail("décodeur DICOM absent : la bibliothèque GDCM (paquet libgdcm3.0) ne se charge pas (" +
                              readable(h.reason, sizeof h.reason) + ")");
        case wire::Status::picture:
            break;
        default:
            return core::fail("fichier DICOM illisible : réponse du décodeur incomplète");
    }
    const std::int64_t w = h.width, ht = h.height;
    if (w <= 0 || ht <= 0 || w * ht > max_pixels ||
        static_cast<std::uint64_t>(st.st_size) != wire::kHeaderBytes + 4 * static_cast<std::uint64_t>(w * ht))
        return core::fail("fichier DICOM illisible : réponse du décodeur incomplète");
    const std::size_t total = static_cast<std::size_t>(st.st_size);
    void* map = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, answer.fd, 0);
    if (map == MAP_FAILED) throw std::bad_alloc();
    auto* pixels = static_cast<unsigned char*>(map) + wire::kHeaderBytes;
    return Outcome{Kind::picture, Picture{pixels, total - wire::kHeaderBytes, static_cast<int>(w), static_cast<int>(ht),
                                          static_cast<std::ptrdiff_t>(4 * w), unmap_picture}};
}

// The bytes in shared memory the helper can read as a file.
core::Result<Outcome> run_on_bytes(const unsigned char* data, std::size_t size, std::int64_t max_pixels) {
    Fd input(::memfd_create("selection_image_dicom_input", MFD_CLOEXEC));
    if (input.fd < 0) {
        if (errno == ENOMEM) throw std::bad_alloc();
        return core::fail(std::string("impossible de préparer le décodage DICOM : ") + std::strerror(errno));
    }
    if (size > 0) {
        if (::ftruncate(input.fd, static_cast<off_t>(size)) != 0) throw std::bad_alloc();
        void* map = ::mmap(nullptr, size, PROT_WRITE, MAP_SHARED, input.fd, 0);
        if (map == MAP_FAILED) throw std::bad_alloc();
        std::memcpy(map, data, size);
        ::munmap(map, size);
    }
    return run_helper(input.fd, size, max_pixels);
}

}  // namespace

void set_helper_settings(HelperSettings s) {
    std::lock_guard lock(settings_mutex);
    settings = std::move(s);
}

HelperSettings helper_settings() {
    std::lock_guard lock(settings_mutex);
    return settings;
}

std::string default_helper_path() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::string folder = ec ? std::string(".") : self.parent_path().string();
    return folder + "/" DICOM_HELPER_FROM_PROGRAM "/selection_image_dicom";
}

void release(Picture& picture) {
    if (picture.data && picture.release) picture.release(picture.data, picture.bytes);
    picture = Picture{};
}

core::Result<Picture> decode_dicom(const unsigned char* data, std::size_t size, std::int64_t max_pixels) {
    auto r = run_on_bytes(data, size, max_pixels);
    if (!r) return core::fail(r.error());
    if (r->kind == Kind::not_dicom) return core::fail("ce n'est pas un fichier DICOM");
    return r->picture;
}

core::Result<Picture> decode_dicom_file(const std::string& path, std::int64_t max_pixels) {
    Fd input(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (input.fd < 0 || ::fstat(input.fd, &st) != 0)
        return core::fail("fichier DICOM illisible : " + path + " (" + std::strerror(errno) + ")");
    auto r = run_helper(input.fd, static_cast<std::size_t>(st.st_size), max_pixels);
    if (!r) return core::fail(r.error());
    if (r->kind == Kind::not_dicom) return core::fail("ce n'est pas un fichier DICOM");
    return r->picture;
}

core::Result<std::optional<Picture>> decode_if_dicom(const unsigned char* data, std::size_t size,
                                                     std::int64_t max_pixels) {
    // Most bytes are told apart here, without starting anything.
    if (!has_dicom_mark(data, size) && !may_be_bare_data_set(data, size)) return std::optional<Picture>();
    auto r = run_on_bytes(data, size, max_pixels);
    if (!r) return core::fail(r.error());
    if (r->kind == Kind::not_dicom) return std::optional<Picture>();
    return std::optional<Picture>(r->picture);
}

}  // namespace dicom
