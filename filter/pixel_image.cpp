#include "pixel_image.h"

#include <mutex>
#include <unordered_set>

namespace filter {

namespace {
struct ImageBlock {
    std::uint8_t* data;
    std::size_t capacity;
    void (*release)(std::uint8_t* data, std::size_t capacity);
};

// The pixels of the images made here that are still alive.
struct LiveImages {
    std::mutex lock;
    std::unordered_set<const std::uint8_t*> pixels;
};
LiveImages& live_images() {
    static LiveImages* live = new LiveImages;  // images may die during exit
    return *live;
}

void free_image_block(void* info) {
    auto* b = static_cast<ImageBlock*>(info);
    {
        LiveImages& live = live_images();
        std::lock_guard<std::mutex> g(live.lock);
        live.pixels.erase(b->data);
    }
    b->release(b->data, b->capacity);
    delete b;
}
}  // namespace

QImage allocate_rgb32(int width, int height) {
    if (width <= 0 || height <= 0) return {};
    return adopt_rgb32(
        core::PixelMemory(std::size_t{4} * static_cast<std::size_t>(width) * static_cast<std::size_t>(height)), width,
        height);
}

QImage adopt_rgb32(core::PixelMemory memory, int width, int height) {
    if (width <= 0 || height <= 0 || !memory.data() ||
        memory.capacity() / 4 / static_cast<std::size_t>(width) < static_cast<std::size_t>(height))
        return {};
    std::size_t capacity = 0;
    std::uint8_t* data = memory.detach(&capacity);
    return adopt_rgb32(data, capacity, width, height, static_cast<qsizetype>(4) * width,
                       core::PixelMemory::release_block);
}

QImage adopt_rgb32(std::uint8_t* data, std::size_t bytes, int width, int height, qsizetype stride,
                   void (*release)(std::uint8_t* data, std::size_t bytes)) {
    if (width <= 0 || height <= 0 || !data || stride < static_cast<qsizetype>(4) * width ||
        static_cast<std::size_t>(stride) * static_cast<std::size_t>(height) > bytes) {
        release(data, bytes);
        return {};
    }
    auto* block = new ImageBlock{data, bytes, release};
    {
        LiveImages& live = live_images();
        std::lock_guard<std::mutex> g(live.lock);
        live.pixels.insert(block->data);
    }
    return QImage(block->data, width, height, stride, QImage::Format_RGB32, free_image_block, block);
}

bool owns_its_pixels(const QImage& image) {
    if (image.isNull() || image.depth() != 32 || image.bytesPerLine() != 4 * static_cast<qsizetype>(image.width()))
        return false;
    LiveImages& live = live_images();
    std::lock_guard<std::mutex> g(live.lock);
    return live.pixels.count(image.constBits()) != 0;
}

}  // namespace filter
