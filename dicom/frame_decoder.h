#pragma once
// The DICOM helper's work on one file's bytes, apart from its process: the
// data set read, the first frame picked (and, compressed, handed to the
// codec module beside the helper), and the picture written through the
// display rules into the answer file `answer_fd` after its header.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "answer.h"

namespace dicom::decoding {

struct Reply {
    wire::Status status;
    std::string reason;
    int width = 0, height = 0;
};

inline Reply refused(std::string reason) { return {wire::Status::refused, std::move(reason)}; }

// The answer for `size` bytes at `bytes`; nothing but the pixels is written to `answer_fd`.
Reply decode(const std::uint8_t* bytes, std::size_t size, std::int64_t max_pixels, int answer_fd);

}  // namespace dicom::decoding
