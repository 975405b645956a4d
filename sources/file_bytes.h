#pragma once
#include <cstddef>
#include <cstdint>

#include "pixel_memory.h"

namespace sources {

// A whole file's bytes in pixel memory: a large file lands in huge pages,
// where a fresh heap buffer of 4 KiB pages would cost more in page faults
// than the reading itself.
struct FileBytes {
    picfilter::PixelMemory memory;
    std::size_t size = 0;
    const unsigned char* data() const { return memory.data(); }
};

enum class FileProblem { none, missing, directory, not_regular, too_large, unreadable };

// Reads the file at `path` (in the system's encoding). Anything but a regular
// file is refused before it is read (a pipe would block, a device could be
// read forever), and so is a file over max_bytes (out->size then gives its
// size). On `unreadable`, *error_number holds the system's error code.
FileProblem read_file_bytes(const char* path, std::int64_t max_bytes, FileBytes* out, int* error_number);

}  // namespace sources
