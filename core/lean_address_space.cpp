#include "lean_address_space.h"

#include <malloc.h>
#include <pthread.h>

#include <cstddef>

namespace core {

namespace {
// Ample for every thread the program runs: the passes keep their data on the
// heap, Qt's workers fill spans, the decoders use little stack.
constexpr std::size_t kThreadStack = std::size_t{1} << 20;
}  // namespace

void keep_address_space_lean() {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) == 0) {
        if (pthread_attr_setstacksize(&attr, kThreadStack) == 0) pthread_setattr_default_np(&attr);
        pthread_attr_destroy(&attr);
    }
    mallopt(M_ARENA_MAX, 1);
}

}  // namespace core
