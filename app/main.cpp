#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "early_picture.h"
#include "address_space.h"
#include "reasons.h"
#include "lean_address_space.h"
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

app::EarlyPicture& picture_of(EarlyRecord* self) { return *static_cast<app::EarlyPicture*>(self->state); }

// This program decodes no other picture, so the block goes straight back to
// the system rather than into a pool nobody draws from.
void release_pixels(unsigned char* data, size_t bytes) { core::PixelMemory::unmap_block(data, bytes); }

int take_pixels(EarlyRecord* self, EarlyPixels* out) {
    core::JpegPixels pixels;
    if (!picture_of(self).take(&pixels)) return 0;
    out->data = pixels.memory.detach(&out->bytes);
    out->width = pixels.width;
    out->height = pixels.height;
    out->stride = static_cast<ptrdiff_t>(4) * pixels.width;
    out->release = release_pixels;
    return 1;
}

void discard_pixels(EarlyRecord* self) { picture_of(self).discard(); }

}  // namespace

// The host passes the record's picture file (and optionally the dialog's
// folder) as one argument string; a host that splits it at blanks gets it
// back joined by single blanks.
//
// Loading and starting the window's libraries takes longer than anything
// else before the first frame but the decode, so this program links none of
// them: it starts decoding the record, then loads the window's library
// from its private folder, and the two go on side by side.
int main(int argc, char** argv) try {
    core::keep_address_space_lean();
    // Under an address-space limit the window and its libraries come first:
    // too little for them, the program says so and ends; otherwise the
    // record is decoded once they are up, so that the picture's memory is
    // what runs short, never theirs.
    if (auto room = core::room_to_start(); !room) {
        std::fprintf(stderr, "selection_image: %s\n", room.error().reason().c_str());
        return 1;
    }
    app::EarlyPicture early(core::address_space_left() ? std::string() : app::record_argument(argc, argv));
    const std::string library = program_folder() + SELECTION_IMAGE_WINDOW_DIR "/" + kWindowLibrary;
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
    EarlyRecord record{early.path().c_str(), take_pixels, discard_pixels, &early};
    return entry(&argc, argv, &record);
} catch (const std::bad_alloc&) {
    std::fprintf(stderr, "selection_image: %s\n", core::kNoMemory);
    return 1;
}
