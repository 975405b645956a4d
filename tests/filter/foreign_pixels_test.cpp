// Pixels filled outside the engine (the start-up program's early decode)
// become an image the engine shares without a copy, and go back through
// their owner's release function exactly once: when the last image sharing
// them is gone, or at once when the block cannot hold the picture.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "pixel_image.h"

namespace {

std::vector<std::pair<std::uint8_t*, std::size_t>> released;
void record_release(std::uint8_t* data, std::size_t bytes) { released.emplace_back(data, bytes); }

struct Foreign {
    const char* name;
    std::size_t bytes;
    qsizetype stride;
    bool adopted;
};

class ForeignPixels : public testing::TestWithParam<Foreign> {};

TEST_P(ForeignPixels, AreSharedThenReleasedOnce) {
    const Foreign& f = GetParam();
    released.clear();
    std::vector<std::uint8_t> block(f.bytes);
    {
        QImage image = filter::adopt_rgb32(block.data(), f.bytes, 4, 3, f.stride, record_release);
        ASSERT_EQ(!image.isNull(), f.adopted);
        if (f.adopted) {
            EXPECT_EQ(image.constBits(), block.data());
            EXPECT_TRUE(filter::owns_its_pixels(image));
            const QImage copy = image;
            image = QImage();
            EXPECT_TRUE(released.empty());
        }
    }
    ASSERT_EQ(released.size(), 1u);
    EXPECT_EQ(released[0], std::make_pair(block.data(), f.bytes));
}

// A 4 x 3 picture: rows of 16 bytes, 48 in all.
INSTANTIATE_TEST_SUITE_P(Blocks, ForeignPixels,
                         testing::Values(Foreign{"whole", 48, 16, true}, Foreign{"block_too_small", 47, 16, false},
                                         Foreign{"rows_narrower_than_the_width", 48, 12, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
