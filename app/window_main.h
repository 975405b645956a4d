#pragma once
#include <stddef.h>

// What the start-up program hands the window's library. The two are linked
// apart, each with its own copy of the project's Qt-free code (the pixel
// memory's pool among it), so only plain C crosses between them: no
// std::string, no std::thread, no memory that one side allocates and the
// other frees; neither depends on how the other was built.
extern "C" {

// A decoded picture: `height` top-down rows of `width` BGRX pixels, `stride`
// bytes apart, in a block of `bytes` bytes. Whoever holds it gives it back,
// once and from any thread, through release(data, bytes).
struct EarlyPixels {
    unsigned char* data;
    size_t bytes;
    int width;
    int height;
    ptrdiff_t stride;
    void (*release)(unsigned char* data, size_t bytes);
};

// The record's early decode, owned by the program for the whole call of the
// entry point. `path` is the record's path in the system's encoding, "" when
// there is none.
struct EarlyRecord {
    const char* path;
    // Waits for the decode; 1 with *out filled when it gave a picture, which
    // is handed over once; 0 otherwise.
    int (*take)(struct EarlyRecord* self, struct EarlyPixels* out);
    // Waits for the decode and lets its memory go.
    void (*discard)(struct EarlyRecord* self);
    void* state;  // the program's own
};

// The entry point of the window's library, which the start-up program loads
// at run time. `argc` must outlive the call's QApplication.
int selection_image_window_main(int* argc, char** argv, struct EarlyRecord* early);
using WindowMain = int (*)(int* argc, char** argv, struct EarlyRecord* early);
}

// The library's file name. It lives in a folder of its own, given relative
// to the program's folder (SELECTION_IMAGE_WINDOW_DIR, set by the build), so
// the build tree, any installation prefix and a staged tree find it alike.
inline constexpr const char* kWindowLibrary = "libselection_image_window.so";
