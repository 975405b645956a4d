#include "early_picture.h"

#include <future>
#include <new>
#include <system_error>

#include "file_bytes.h"
#include "picture_limits.h"

namespace app {

EarlyPicture::EarlyPicture(std::string path) : path_(std::move(path)) {
    if (path_.empty()) return;
    // The decoding thread is started first and the file read meanwhile: a
    // new thread can take a millisecond or two to get a processor, which
    // the read then hides.
    // The decode only gets the window's first picture sooner: where a thread
    // or its memory cannot be had, the window's own loader reads the record.
    std::promise<core::FileBytes> file;
    try {
        worker_ = std::thread([this, bytes_coming = file.get_future()]() mutable {
            try {
                const core::FileBytes bytes = bytes_coming.get();
                if (!core::looks_like_jpeg(bytes.data(), bytes.size)) return;
                auto decoded = core::decode_jpeg_pixels(bytes.data(), bytes.size, core::kMaxPicturePixels);
                if (!decoded || !*decoded) return;
                pixels_ = std::move(**decoded);
                decoded_ = true;
            } catch (const std::bad_alloc&) {
            }
        });
    } catch (const std::system_error&) {
        return;
    }
    auto bytes = core::read_file_bytes(path_, core::kMaxPictureFileBytes);
    file.set_value(bytes ? std::move(*bytes) : core::FileBytes());
}

EarlyPicture::~EarlyPicture() { join_decode(); }

void EarlyPicture::join_decode() {
    if (worker_.joinable()) worker_.join();
}

bool EarlyPicture::take(core::JpegPixels* out) {
    join_decode();
    if (!decoded_) return false;
    decoded_ = false;
    *out = std::move(pixels_);
    return true;
}

void EarlyPicture::discard() {
    join_decode();
    decoded_ = false;
    pixels_ = core::JpegPixels();
}

std::string record_argument(int argc, char** argv) {
    std::string joined;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) joined += ' ';
        joined += argv[i];
    }
    return joined.substr(0, joined.find(';'));
}

}  // namespace app
