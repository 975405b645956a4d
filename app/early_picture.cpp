#include "early_picture.h"

#include <future>

#include "file_bytes.h"
#include "picture_limits.h"

EarlyPicture::EarlyPicture(std::string path) : path_(std::move(path)) {
    if (path_.empty()) return;
    // The decoding thread is started first and the file read meanwhile: a
    // new thread can take a millisecond or two to get a processor, which
    // the read then hides.
    std::promise<sources::FileBytes> file;
    worker_ = std::thread([this, bytes_coming = file.get_future()]() mutable {
        const sources::FileBytes bytes = bytes_coming.get();
        if (!sources::looks_like_jpeg(bytes.data(), bytes.size)) return;
        std::string reason;
        decoded_ = sources::decode_jpeg_pixels(bytes.data(), bytes.size, sources::kMaxPicturePixels, &pixels_,
                                               &reason) == sources::JpegOutcome::decoded;
    });
    sources::FileBytes bytes;
    int error_number = 0;
    if (sources::read_file_bytes(path_.c_str(), sources::kMaxPictureFileBytes, &bytes, &error_number) !=
        sources::FileProblem::none)
        bytes = sources::FileBytes();
    file.set_value(std::move(bytes));
}

EarlyPicture::~EarlyPicture() { wait(); }

void EarlyPicture::wait() {
    if (worker_.joinable()) worker_.join();
}

bool EarlyPicture::take(sources::JpegPixels* out) {
    wait();
    if (!decoded_) return false;
    decoded_ = false;
    *out = std::move(pixels_);
    return true;
}

void EarlyPicture::discard() {
    wait();
    decoded_ = false;
    pixels_ = sources::JpegPixels();
}

std::string record_argument(int argc, char** argv) {
    std::string joined;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) joined += ' ';
        joined += argv[i];
    }
    return joined.substr(0, joined.find(';'));
}
