#pragma once
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstddef>
#include <thread>
#include <vector>

namespace core {

// Number of worker threads for whole-picture passes.
inline unsigned pass_threads() {
    static const unsigned n = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    return n;
}

// Runs body(begin, end) over [0, count) in contiguous slices, one per core;
// the calling thread takes the first slice. Small jobs stay on one thread,
// where starting threads would cost more than the work.
template <typename Body>
void parallel_slices(std::size_t count, std::size_t min_per_thread, Body&& body) {
    std::size_t threads = std::min<std::size_t>(pass_threads(), min_per_thread ? count / min_per_thread : count);
    if (threads <= 1) {
        if (count) body(std::size_t{0}, count);
        return;
    }
    std::vector<std::thread> workers;
    workers.reserve(threads - 1);
    auto slice = [&](std::size_t t) { return count * t / threads; };
    for (std::size_t t = 1; t < threads; ++t)
        workers.emplace_back([&, t] { body(slice(t), slice(t + 1)); });
    body(slice(0), slice(1));
    for (auto& w : workers) w.join();
}

// Runs body(begin, end) over [0, count) in chunks of `chunk` handed out in
// order to whichever thread is free, the calling thread included: a helper
// that is slow to get a processor leaves its share to the others instead of
// holding up the end.
template <typename Body>
void parallel_chunks(std::size_t count, std::size_t chunk, Body&& body) {
    chunk = std::max<std::size_t>(chunk, 1);
    const std::size_t chunks = (count + chunk - 1) / chunk;
    const std::size_t helpers = std::min<std::size_t>(pass_threads(), chunks) - (chunks ? 1 : 0);
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t c; (c = next.fetch_add(1, std::memory_order_relaxed)) < chunks;)
            body(c * chunk, std::min(count, (c + 1) * chunk));
    };
    std::vector<std::thread> workers;
    workers.reserve(helpers);
    for (std::size_t t = 0; t < helpers; ++t) workers.emplace_back(work);
    work();
    for (auto& w : workers) w.join();
}

// Runs body(t) for t = 0..n-1, each on its own thread; the calling thread
// takes t = 0. For passes whose slices must meet at a barrier.
template <typename Body>
void run_on_threads(std::size_t n, Body&& body) {
    std::vector<std::thread> workers;
    if (n > 1) workers.reserve(n - 1);
    for (std::size_t t = 1; t < n; ++t) workers.emplace_back([&, t] { body(t); });
    if (n) body(std::size_t{0});
    for (auto& w : workers) w.join();
}

// Sums part(begin, end) over the slices of [0, count).
template <typename Part>
std::uint64_t parallel_sum(std::size_t count, std::size_t min_per_thread, Part&& part) {
    std::atomic<std::uint64_t> total{0};
    parallel_slices(count, min_per_thread,
                    [&](std::size_t b, std::size_t e) { total.fetch_add(part(b, e), std::memory_order_relaxed); });
    return total.load();
}

}  // namespace core
