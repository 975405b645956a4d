#pragma once
#include <string>
#include <thread>

#include "jpeg_decode.h"

namespace app {

// The record's picture, decoded on a thread of its own from the program's
// first instant, before the window's libraries are even loaded. Only a JPEG
// that decodes whole is kept; anything else is left to the window's own
// loading, which also gives the reasons.
class EarlyPicture {
public:
    // `path` in the system's encoding; an empty path decodes nothing.
    explicit EarlyPicture(std::string path);
    ~EarlyPicture();  // waits for the decode
    EarlyPicture(const EarlyPicture&) = delete;
    EarlyPicture& operator=(const EarlyPicture&) = delete;

    const std::string& path() const { return path_; }
    // Waits for the decode; true with the pixels when it gave a picture.
    // The pixels are handed over once.
    bool take(core::JpegPixels* out);
    // Waits for the decode and lets its memory go.
    void discard();

private:
    void join_decode();

    std::string path_;
    std::thread worker_;
    core::JpegPixels pixels_;
    bool decoded_ = false;
};

// The record's path as the host gives it: the arguments joined by single
// blanks, up to the first ';'.
std::string record_argument(int argc, char** argv);

}  // namespace app
