#pragma once
#include <QString>
#include <cstddef>

#include "result.h"

namespace storage {

// Replaces the file at `path` with `size` bytes, so that at every moment the
// path holds either the old content or the new one, whole: the bytes go to an
// unnamed file in the same folder, are flushed to disk, and the file is
// renamed over the path only once complete. An existing file keeps its
// permission bits and owner, and one its user may not write is refused. A
// symbolic link stays a link: the file it finally names is replaced.
// When anything fails the old file is untouched and no temporary file is
// left behind.
core::Result<> replace_file_atomically(const QString& path, const void* data, std::size_t size);

// Copies the file `from` over `to` the same way.
core::Result<> copy_file_atomically(const QString& from, const QString& to);

}  // namespace storage
