#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <vector>

#include "pixel_memory.h"

namespace {

std::size_t resident_pages(const picfilter::PixelMemory& m) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> in((m.capacity() + page - 1) / page);
    if (::mincore(m.data(), m.capacity(), in.data()) != 0) return 0;
    std::size_t n = 0;
    for (unsigned char c : in) n += c & 1;
    return n;
}

// Blocks readied for a size come back, to the next buffers of that size,
// with every page already there; a size no other test uses, so that no
// block left in the pool by them could stand in.
TEST(PixelMemory, ReadiedBlocksComeBackWithTheirPages) {
    const std::size_t bytes = (std::size_t{37} << 20) + 12345;
    picfilter::ready_blocks(bytes, 2);
    const picfilter::PixelMemory a(bytes), b(bytes);
    ASSERT_NE(a.data(), nullptr);
    ASSERT_NE(b.data(), nullptr);
    EXPECT_NE(a.data(), b.data());
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    EXPECT_EQ(resident_pages(a), a.capacity() / page);
    EXPECT_EQ(resident_pages(b), b.capacity() / page);
}

}  // namespace
