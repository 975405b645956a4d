#pragma once
#include <cstdint>
#include <string>

#include "result.h"

// The reasons several parts of the program give, each written once.
namespace core {

inline constexpr const char* kNoMemory = "mémoire insuffisante";

// "image trop grande (W x H pixels)": a picture over the size limit.
std::string size_refusal(std::int64_t width, std::int64_t height);
// "mémoire insuffisante pour une image de W x H pixels".
std::string memory_refusal(std::int64_t width, std::int64_t height);

// "<file> : <why>", the form every failure about one file takes; with an
// error number, the system's own words for it.
std::string file_reason(const std::string& path, const std::string& why);
std::string file_reason(const std::string& path, int error_number);

template <class Path, class Why>
Failed file_failure(const Path& path, const Why& why) {
    if constexpr (requires { path.toStdString(); })
        return file_failure(path.toStdString(), why);
    else if constexpr (requires { why.toStdString(); })
        return fail(file_reason(path, why.toStdString()));
    else
        return fail(file_reason(path, why));
}

}  // namespace core
