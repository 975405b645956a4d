#pragma once
#include <stdexcept>

namespace filter {

// What the engine throws when it turns down what its caller gave it (a
// polygon, a threshold, a position, a probe without a picture), having
// changed nothing: one type for the caller to catch. It is a
// std::invalid_argument, so what() tells why and a catch of that or of
// std::exception still matches. Running out of memory stays std::bad_alloc.
class Refused : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

}  // namespace filter
