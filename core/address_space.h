#pragma once
#include <cstddef>
#include <optional>

#include "result.h"

namespace core {

// Under an address-space limit (setrlimit RLIMIT_AS, `prlimit --as`), the
// bytes the process may still map; nothing when there is no limit.
std::optional<std::size_t> address_space_left();

// Whether `bytes` more can be mapped for pictures while leaving the toolkit
// and the libraries the margin they need to go on (threads, fonts,
// painting, a message box): their allocations fail in ways no caller
// survives, a picture's fails as a reason. Always true without a limit.
bool room_for_picture(std::size_t bytes);

// Whether the window and its libraries have the address space they need to
// start (128 MiB); with less, nothing can be shown, and the reason says so.
Result<> room_to_start();

}  // namespace core
