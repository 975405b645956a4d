// SANE's test backend reads on a thread of its own and lets sane_cancel, and
// sane_read at the end of each frame, cancel that thread asynchronously, so
// anywhere (Debian builds it with threads; no option changes that).
// Cancelled inside malloc or free, the reader keeps its heap locked and blocks
// at its own exit, and SANE waits for it for ever: one run in fifty hung.
// Defined in the test program, and exported, this answer to the backend's
// request interposes on the C library's: its reader is cancelled only where
// it waits (sleeping, writing), never in the middle of the heap.
#include <dlfcn.h>
#include <pthread.h>

extern "C" int pthread_setcanceltype(int, int* old) {
    using Setter = int (*)(int, int*);
    static const auto real = reinterpret_cast<Setter>(dlsym(RTLD_NEXT, "pthread_setcanceltype"));
    return real(PTHREAD_CANCEL_DEFERRED, old);
}
