#pragma once
// Plain, obviously-correct versions of the pixel operations, written as the
// behaviour is described (1-based channel, column, row), for comparing the
// engine's fast code against.
#include <cstdint>
#include <random>
#include <vector>

struct RefPicture {
    int w = 0, h = 0;
    std::vector<std::uint8_t> px;  // BGRX, top-down, 4*w*h bytes
    std::uint8_t& at(int c, int x, int y) { return px[4 * ((y - 1) * static_cast<std::size_t>(w) + (x - 1)) + (c - 1)]; }
    std::uint8_t at(int c, int x, int y) const {
        return px[4 * ((y - 1) * static_cast<std::size_t>(w) + (x - 1)) + (c - 1)];
    }
};

struct RefTables {
    int tone[256], red[256], green[256], blue[256];
};

// Tables and result of PicProcessing on `ref` (settings assumed in range).
RefTables reference_tables(const RefPicture& ref, bool invert, int light, int gamma, int contrast, int color);
RefPicture reference_processing(const RefPicture& ref, bool invert, int light, int contrast, int gamma, int color);

// Result of deconvolution on `ref` (the new reference and result alike).
RefPicture reference_deconvolution(const RefPicture& ref);

RefPicture random_picture(int w, int h, std::mt19937& rng);
RefPicture uniform_picture(int w, int h, int value);
