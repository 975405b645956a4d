#include "reasons.h"

#include <cstring>

namespace core {

std::string size_refusal(std::int64_t width, std::int64_t height) {
    return "image trop grande (" + std::to_string(width) + " x " + std::to_string(height) + " pixels)";
}

std::string memory_refusal(std::int64_t width, std::int64_t height) {
    return std::string(kNoMemory) + " pour une image de " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels";
}

std::string file_reason(const std::string& path, const std::string& why) { return path + " : " + why; }

std::string file_reason(const std::string& path, int error_number) {
    return file_reason(path, std::string(std::strerror(error_number)));
}

}  // namespace core
