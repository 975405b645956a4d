#include "jpeg_decode.h"

#include <turbojpeg.h>

#include "reasons.h"

namespace core {

namespace {

// True when the data ends before the JPEG's end marker: every segment and
// every scan is followed up to where the data stops.
bool jpeg_cut_short(const unsigned char* p, std::size_t n) {
    std::size_t i = 2;
    for (;;) {
        if (i >= n) return true;
        if (p[i] != 0xFF) return false;  // not a marker where one must be: damaged, not cut
        while (i < n && p[i] == 0xFF) ++i;
        if (i >= n) return true;
        const unsigned char m = p[i++];
        if (m == 0xD9) return false;
        if (m == 0x01 || (m >= 0xD0 && m <= 0xD7)) continue;
        if (n - i < 2) return true;
        const std::size_t len = static_cast<std::size_t>(p[i] << 8 | p[i + 1]);
        if (len < 2) return false;
        if (n - i < len) return true;
        i += len;
        if (m == 0xDA) {
            // Entropy-coded data runs to the next marker other than a
            // stuffed zero or a restart.
            while (i + 1 < n && !(p[i] == 0xFF && p[i + 1] != 0 && !(p[i + 1] >= 0xD0 && p[i + 1] <= 0xD7))) ++i;
            if (i + 1 >= n) return true;
        }
    }
}

struct TjHandle {
    tjhandle h = tjInitDecompress();
    ~TjHandle() {
        if (h) tjDestroy(h);
    }
};

const char* const kCut = "fichier JPEG tronqué";

std::string unreadable(const std::string& why) { return "fichier JPEG illisible (" + why + ")"; }

}  // namespace

bool looks_like_jpeg(const unsigned char* data, std::size_t size) {
    return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

Result<std::optional<JpegPixels>> decode_jpeg_pixels(const unsigned char* data, std::size_t size,
                                                     std::int64_t max_pixels) {
    TjHandle tj;
    if (!tj.h) return fail("décodeur JPEG indisponible");
    const auto length = static_cast<unsigned long>(size);
    int w = 0, h = 0, subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(tj.h, data, length, &w, &h, &subsamp, &colorspace) != 0)
        return fail(jpeg_cut_short(data, size) ? kCut : unreadable(tjGetErrorStr2(tj.h)));
    // The header reader stops quietly at the end of the data.
    if (w <= 0 || h <= 0) return fail(jpeg_cut_short(data, size) ? kCut : unreadable("dimensions nulles"));
    if (std::int64_t{w} * h > max_pixels) return fail(size_refusal(w, h));
    if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) return std::optional<JpegPixels>();
    JpegPixels out;
    out.memory = PixelMemory(std::size_t{4} * static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    if (!out.memory.data()) return fail(memory_refusal(w, h));
    if (tjDecompress2(tj.h, data, length, out.memory.data(), w, 4 * w, h, TJPF_BGRX, 0) != 0) {
        const std::string why = tjGetErrorStr2(tj.h);
        // Warnings about stray bytes still leave a whole picture; running out
        // of data does not.
        const bool cut = why.find("Premature end") != std::string::npos || jpeg_cut_short(data, size);
        if (tjGetErrorCode(tj.h) != TJERR_WARNING || cut) return fail(cut ? kCut : unreadable(why));
    }
    out.width = w;
    out.height = h;
    return std::optional<JpegPixels>(std::move(out));
}

}  // namespace core
