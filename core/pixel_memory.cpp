#include "pixel_memory.h"

#include "address_space.h"

#include <sys/mman.h>

#include <array>
#include <mutex>
#include <utility>
#include <vector>

namespace core {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kSmall = std::size_t{1} << 20;  // below this, plain mappings

std::size_t round_up(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

std::uint8_t* map_block(std::size_t capacity) {
    if (capacity < kSmall) {
        void* p = mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return p == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(p);
    }
    // Over-map by one huge page, then trim both ends to a 2 MiB boundary.
    const std::size_t span = capacity + kHugePage;
    void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    auto base = reinterpret_cast<std::uintptr_t>(raw);
    std::uintptr_t aligned = round_up(base, kHugePage);
    if (aligned > base) munmap(raw, aligned - base);
    std::uintptr_t end = base + span;
    if (end > aligned + capacity) munmap(reinterpret_cast<void*>(aligned + capacity), end - aligned - capacity);
    madvise(reinterpret_cast<void*>(aligned), capacity, MADV_HUGEPAGE);
    return reinterpret_cast<std::uint8_t*>(aligned);
}

// A few recently freed blocks, reused for requests that fit them closely.
struct Pool {
    std::mutex lock;
    std::array<std::pair<std::uint8_t*, std::size_t>, 4> blocks{};

    std::uint8_t* take(std::size_t want, std::size_t* got) {
        std::lock_guard<std::mutex> g(lock);
        for (auto& b : blocks) {
            if (b.first && b.second >= want && b.second - want <= want / 4 + kHugePage) {
                auto p = b.first;
                *got = b.second;
                b = {nullptr, 0};
                return p;
            }
        }
        return nullptr;
    }
    void drain() {
        std::array<std::pair<std::uint8_t*, std::size_t>, 4> kept{};
        {
            std::lock_guard<std::mutex> g(lock);
            std::swap(kept, blocks);
        }
        for (auto& b : kept)
            if (b.first) munmap(b.first, b.second);
    }
    void give(std::uint8_t* p, std::size_t capacity) {
        std::pair<std::uint8_t*, std::size_t> evicted{p, capacity};
        {
            std::lock_guard<std::mutex> g(lock);
            for (auto& b : blocks) {
                if (!b.first) {
                    b = evicted;
                    return;
                }
            }
            // Full: drop the oldest slot's block (slot 0) and shift.
            std::swap(evicted, blocks[0]);
            for (std::size_t i = 1; i < blocks.size(); ++i) std::swap(blocks[i - 1], blocks[i]);
        }
        munmap(evicted.first, evicted.second);
    }
};

Pool& pool() {
    static Pool* p = new Pool;  // never destroyed: blocks may be released during exit
    return *p;
}

std::size_t block_size(std::size_t bytes) {
    return bytes < kSmall ? round_up(bytes, 4096) : round_up(bytes, kHugePage);
}

}  // namespace

PixelMemory::PixelMemory(std::size_t bytes) {
    if (bytes == 0) return;
    const std::size_t want = block_size(bytes);
    std::size_t got = 0;
    if (auto p = pool().take(want, &got)) {
        data_ = p;
        capacity_ = got;
        return;
    }
    // Short of address space, the blocks kept for reuse go first; a block
    // that would leave the rest of the program short is refused.
    if (!room_for_picture(want)) pool().drain();
    data_ = room_for_picture(want) ? map_block(want) : nullptr;
    capacity_ = data_ ? want : 0;
}

PixelMemory::~PixelMemory() {
    if (data_) release_block(data_, capacity_);
}

PixelMemory::PixelMemory(PixelMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), capacity_(std::exchange(other.capacity_, 0)) {}

PixelMemory& PixelMemory::operator=(PixelMemory&& other) noexcept {
    if (this != &other) {
        if (data_) release_block(data_, capacity_);
        data_ = std::exchange(other.data_, nullptr);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

std::uint8_t* PixelMemory::detach(std::size_t* capacity) {
    *capacity = capacity_;
    capacity_ = 0;
    return std::exchange(data_, nullptr);
}

void PixelMemory::release_block(std::uint8_t* data, std::size_t capacity) {
    if (!data) return;
    if (capacity >= kSmall)
        pool().give(data, capacity);
    else
        munmap(data, capacity);
}

void PixelMemory::unmap_block(std::uint8_t* data, std::size_t capacity) {
    if (data) munmap(data, capacity);
}

void ready_blocks(std::size_t bytes, int count) {
    if (bytes < kSmall || count <= 0) return;
    std::vector<PixelMemory> blocks;
    for (int i = 0; i < count; ++i) {
        PixelMemory block(bytes);  // a pooled block if there is one
        if (!block.data()) break;
        // Touching a page already there costs next to nothing.
        if (::madvise(block.data(), block.capacity(), MADV_POPULATE_WRITE) != 0)
            for (std::size_t at = 0; at < block.capacity(); at += 4096) block.data()[at] = 0;
        blocks.push_back(std::move(block));
    }
}  // all back to the pool

}  // namespace core
