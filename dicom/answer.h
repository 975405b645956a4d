#pragma once
// What the decoding helper leaves in the shared-memory file its parent gives
// it: one page of header, then the picture's top-down BGRX rows, 4 * width
// bytes each. Both sides are built from this one definition; the parent
// trusts none of it before checking it against the file's size.
#include <cstddef>
#include <cstdint>

namespace dicom::wire {

inline constexpr char kMagic[8] = {'S', 'I', 'D', 'C', 'M', 'A', 'N', '1'};
// The pixels start a page in, so that the parent maps header and picture in
// one go and hands the picture on without moving it.
inline constexpr std::size_t kHeaderBytes = 4096;

enum class Status : std::uint32_t {
    picture = 1,    // width, height and the pixels are there
    not_dicom = 2,  // the bytes are no DICOM data set at all
    refused = 3,    // a DICOM file, but no picture from it: `reason` says why
    no_codec = 4,   // the decoding library could not be loaded: `reason` names it
};

struct Header {
    char magic[8];
    Status status;
    std::int32_t width;
    std::int32_t height;
    std::uint32_t reserved;
    // French, UTF-8, NUL-terminated; read by the user after "error_load_pic: ".
    char reason[512];
};
static_assert(sizeof(Header) <= kHeaderBytes);

// The helper's command line: program, input ("fd:N" or a path), maximum
// number of pixels, address-space limit in bytes, processor-time limit in
// seconds. The answer goes to the descriptor kAnswerFd.
inline constexpr int kInputFd = 3;
inline constexpr int kAnswerFd = 4;

}  // namespace dicom::wire
