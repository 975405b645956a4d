#pragma once
#include <cstddef>
#include <cstdint>

namespace core {

// Large pixel buffers are backed by 2 MiB-aligned anonymous mappings with
// transparent huge pages requested: touching a fresh 96 MB buffer otherwise
// costs far more in page faults than any pass over it. Freed blocks are kept
// in a small pool so that the next picture of a similar size reuses memory
// that is already mapped in.
class PixelMemory {
public:
    PixelMemory() = default;
    explicit PixelMemory(std::size_t bytes);
    ~PixelMemory();
    PixelMemory(PixelMemory&& other) noexcept;
    PixelMemory& operator=(PixelMemory&& other) noexcept;
    PixelMemory(const PixelMemory&) = delete;
    PixelMemory& operator=(const PixelMemory&) = delete;

    std::uint8_t* data() const { return data_; }
    std::size_t capacity() const { return capacity_; }

    // Gives up ownership (the caller must hand it back through release_block).
    std::uint8_t* detach(std::size_t* capacity);
    static void release_block(std::uint8_t* data, std::size_t capacity);
    // The same straight back to the system, for a holder that allocates no
    // more: its pool would only keep the block mapped.
    static void unmap_block(std::uint8_t* data, std::size_t capacity);

private:
    std::uint8_t* data_ = nullptr;
    std::size_t capacity_ = 0;
};

// Makes sure the pool holds `count` blocks for buffers of `bytes`, their
// pages already touched, mapping and touching what is missing. Run on a
// background thread once a new picture is shown, it spares the first
// adjustment the fresh pages of its buffers. Blocks taken meanwhile are
// simply not there to reuse.
void ready_blocks(std::size_t bytes, int count);

}  // namespace core
