#pragma once
#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <latch>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>

namespace core {

inline constexpr unsigned kMaxPassThreads = 8;

// Number of threads for whole-picture passes, the calling one included.
inline unsigned pass_threads() {
    static const unsigned n = std::clamp(std::thread::hardware_concurrency(), 1u, kMaxPassThreads);
    return n;
}

// The helper threads of one pass, joined when it ends, however it ends. A
// thread the system will not start (std::system_error when it refuses one,
// as under an address-space limit, or std::bad_alloc for its bookkeeping)
// is no error: start() returns false and the caller does that share of the
// work itself. Holding the threads in place spares the pass an allocation.
class HelperThreads {
public:
    HelperThreads() = default;
    HelperThreads(const HelperThreads&) = delete;
    HelperThreads& operator=(const HelperThreads&) = delete;
    ~HelperThreads() {
        for (std::size_t i = 0; i < started_; ++i) threads_[i].join();
    }

    template <typename Work>
    bool start(Work&& work) {
        if (started_ == threads_.size()) return false;
        try {
            threads_[started_] = std::thread(std::forward<Work>(work));
        } catch (const std::system_error&) {
            return false;
        } catch (const std::bad_alloc&) {
            return false;
        }
        ++started_;
        return true;
    }

private:
    std::array<std::thread, kMaxPassThreads - 1> threads_;
    std::size_t started_ = 0;
};

// Runs body(begin, end) over [0, count) in contiguous slices, one per core;
// the calling thread takes the first slice, and those of any helper that
// could not be started. Small jobs stay on one thread, where starting
// threads would cost more than the work.
template <typename Body>
void parallel_slices(std::size_t count, std::size_t min_per_thread, Body&& body) {
    const std::size_t threads = std::min<std::size_t>(pass_threads(), min_per_thread ? count / min_per_thread : count);
    if (threads <= 1) {
        if (count) body(std::size_t{0}, count);
        return;
    }
    auto slice = [&](std::size_t t) { return count * t / threads; };
    HelperThreads helpers;
    std::size_t started = 1;
    while (started < threads && helpers.start([&, t = started] { body(slice(t), slice(t + 1)); })) ++started;
    body(slice(0), slice(1));
    for (std::size_t t = started; t < threads; ++t) body(slice(t), slice(t + 1));
}

// Runs body(begin, end) over [0, count) in chunks of `chunk` handed out in
// order to whichever thread is free, the calling thread included: a helper
// that is slow to get a processor, or never starts, leaves its share to the
// others instead of holding up the end.
template <typename Body>
void parallel_chunks(std::size_t count, std::size_t chunk, Body&& body) {
    chunk = std::max<std::size_t>(chunk, 1);
    const std::size_t chunks = (count + chunk - 1) / chunk;
    const std::size_t helpers_wanted = std::min<std::size_t>(pass_threads(), chunks) - (chunks ? 1 : 0);
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t c; (c = next.fetch_add(1, std::memory_order_relaxed)) < chunks;)
            body(c * chunk, std::min(count, (c + 1) * chunk));
    };
    HelperThreads helpers;
    for (std::size_t t = 0; t < helpers_wanted; ++t)
        if (!helpers.start(work)) break;
    work();
}

// Runs body(t, n, meet) for t = 0..n-1, each on a thread of its own (the
// calling thread takes t = 0), for passes whose slices must all reach a
// point before any goes past it: `meet` is a latch of n. n is `wanted`
// (at most kMaxPassThreads) unless the system refuses some threads: the
// helpers are started first and held until n is known, so that no slice
// ever waits for a thread that never came. A body that throws ends the
// program, as it would on a helper: the others could be waiting for it.
template <typename Body>
void run_on_threads(std::size_t wanted, Body&& body) {
    wanted = std::min<std::size_t>(wanted, kMaxPassThreads);
    if (wanted == 0) return;
    std::optional<std::latch> meet;
    std::atomic<std::size_t> threads{0};  // 0 until known
    auto helper = [&](std::size_t t) {
        threads.wait(0, std::memory_order_acquire);
        body(t, threads.load(std::memory_order_relaxed), *meet);
    };
    HelperThreads helpers;
    std::size_t n = 1;
    while (n < wanted && helpers.start([&helper, t = n] { helper(t); })) ++n;
    meet.emplace(static_cast<std::ptrdiff_t>(n));
    threads.store(n, std::memory_order_release);
    threads.notify_all();
    [&]() noexcept { body(std::size_t{0}, n, *meet); }();
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
