#include "address_space.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "reasons.h"

namespace core {

namespace {
constexpr std::size_t kToolkitMargin = std::size_t{32} << 20;
constexpr std::size_t kWindowNeeds = std::size_t{128} << 20;
}  // namespace

Result<> room_to_start() {
    const auto left = address_space_left();
    if (!left || *left >= kWindowNeeds) return {};
    return fail(std::string(kNoMemory) + " (" + std::to_string(*left >> 20) + " Mo d'espace d'adressage, il en faut " +
                std::to_string(kWindowNeeds >> 20) + ")");
}

std::optional<std::size_t> address_space_left() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
    std::size_t pages = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "re")) {
        if (std::fscanf(statm, "%zu", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    const std::size_t used = pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return used < limit.rlim_cur ? limit.rlim_cur - used : 0;
}

bool room_for_picture(std::size_t bytes) {
    const auto left = address_space_left();
    return !left || *left >= bytes + kToolkitMargin;
}

}  // namespace core
