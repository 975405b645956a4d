#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "pixel_memory.h"
#include "result.h"

namespace core {

// A whole file's bytes in pixel memory: a large file lands in huge pages,
// where a fresh heap buffer of 4 KiB pages would cost more in page faults
// than the reading itself.
struct FileBytes {
    PixelMemory memory;
    std::size_t size = 0;
    const unsigned char* data() const { return memory.data(); }
};

// Reads the file at `path` (in the system's encoding). Anything but a regular
// file is refused before it is read (a pipe would block, a device could be
// read forever), and so is a file over max_bytes. The reasons name the file.
Result<FileBytes> read_file_bytes(const std::string& path, std::int64_t max_bytes);

}  // namespace core
