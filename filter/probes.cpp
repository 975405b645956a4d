#include <cmath>
#include <string>

#include "clsPicfilter.h"

namespace filter {

std::uint8_t clsPicfilter::channel_at(double X, double Y, int channel) const {
    auto refuse = [channel](const std::string& why) {
        return Refused(std::string(channel == 2 ? "comp_R" : channel == 1 ? "comp_G" : "comp_B") + " : " + why);
    };
    if (!ref_data() || width_ <= 0 || height_ <= 0) throw refuse("aucune image");
    if (!(X >= 0 && X < 1 && Y >= 0 && Y < 1))
        throw refuse("position (" + std::to_string(X) + ", " + std::to_string(Y) + ") hors de 0 <= X < 1, 0 <= Y < 1");
    const double column = std::floor(X * width_), row = std::floor(Y * height_);
    // X < 1 keeps X * W below W, but the index is checked all the same.
    if (column >= width_ || row >= height_) throw refuse("position hors de l'image");
    const std::size_t at =
        static_cast<std::size_t>(row) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(column);
    return ref_data()[4 * at + static_cast<std::size_t>(channel)];
}

std::uint8_t clsPicfilter::comp_R(double X, double Y) const { return channel_at(X, Y, 2); }
std::uint8_t clsPicfilter::comp_G(double X, double Y) const { return channel_at(X, Y, 1); }
std::uint8_t clsPicfilter::comp_B(double X, double Y) const { return channel_at(X, Y, 0); }

}  // namespace filter
