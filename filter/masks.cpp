#include <stdexcept>

#include "clsPicfilter.h"

// Masks and the colour-ratio filter are being built; until then they refuse.
void clsPicfilter::Mask(const std::vector<std::vector<double>>&, int) { throw std::logic_error("Mask: not built yet"); }
void clsPicfilter::deleteMask() { maskActive = false; }
void clsPicfilter::MaskBLC() { throw std::logic_error("MaskBLC: not built yet"); }
double clsPicfilter::app_filter(double, double, double, double, double, double) {
    throw std::logic_error("app_filter: not built yet");
}
std::uint8_t clsPicfilter::comp_R(double, double) const { throw std::logic_error("comp_R: not built yet"); }
std::uint8_t clsPicfilter::comp_G(double, double) const { throw std::logic_error("comp_G: not built yet"); }
std::uint8_t clsPicfilter::comp_B(double, double) const { throw std::logic_error("comp_B: not built yet"); }
std::uint8_t clsPicfilter::channel_at(double, double, int) const { throw std::logic_error("not built yet"); }
