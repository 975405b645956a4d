#pragma once
// Plain versions of the pixel operations as described (1-based channel, column, row), to compare against.
#include <cstdint>
#include <random>
#include <vector>

struct RefPicture {
    int w = 0, h = 0;
    std::vector<std::uint8_t> px;  // BGRX, top-down, 4*w*h bytes
    std::uint8_t& at(int c, int x, int y) { return px[4 * ((y - 1) * std::size_t(w) + x - 1) + c - 1]; }
    std::uint8_t at(int c, int x, int y) const { return px[4 * ((y - 1) * std::size_t(w) + x - 1) + c - 1]; }
};

// Results of PicProcessing (settings in range) and of deconvolution on `ref`.
RefPicture reference_processing(const RefPicture& ref, bool invert, int light, int contrast, int gamma, int color);
RefPicture reference_deconvolution(const RefPicture& ref);

RefPicture random_picture(int w, int h, std::mt19937& rng);
