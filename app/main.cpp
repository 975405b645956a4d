#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "early_picture.h"
#include "window_main.h"

namespace {

// The folder this program was started from, with its separator.
std::string program_folder() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string();
    const std::string self(buffer, static_cast<std::size_t>(n));
    return self.substr(0, self.rfind('/') + 1);
}

}  // namespace

// The host passes the record's picture file (and optionally the dialog's
// folder) as one argument string; a host that splits it at blanks gets it
// back joined by single blanks.
//
// Loading and starting the window's libraries takes longer than anything
// else before the first frame but the decode, so this program links none of
// them: it starts decoding the record, then loads the window's library
// beside it, and the two go on side by side.
int main(int argc, char** argv) {
    EarlyPicture early(record_argument(argc, argv));
    const std::string library = program_folder() + kWindowLibrary;
    void* window = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!window) {
        std::fprintf(stderr, "selection_image: %s\n", ::dlerror());
        return 1;
    }
    auto entry = reinterpret_cast<WindowMain>(::dlsym(window, "selection_image_window_main"));
    if (!entry) {
        std::fprintf(stderr, "selection_image: %s\n", ::dlerror());
        return 1;
    }
    return entry(&argc, argv, &early);
}
