// Feeds arbitrary bytes to the DICOM helper's own reading, in this process:
// the data set parsed, the first frame picked, a native frame through the
// display rules into the answer's shared memory: what the helper runs,
// limits and process aside. The codec module it would load for a compressed
// frame is not beside this program, so such a frame ends at "no codec" once
// its bytes are picked: GDCM stays out.
// Whatever comes in, the answer must be a picture whose every pixel was
// written, a refusal with a reason, "no codec", or "not DICOM" for bytes
// without the mark; anything else (a crash, a sanitizer report) stops the run.
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "frame_decoder.h"
#include "sniff.h"

namespace {

// Small enough that a forged header cannot exhaust the run's memory.
constexpr std::int64_t kFuzzMaxPixels = std::int64_t{1} << 20;

int answer_fd = -1;

dicom::decoding::Reply run(const std::uint8_t* data, std::size_t size) {
    // Emptied first, so that no pixel of an earlier answer passes for this one's.
    if (ftruncate(answer_fd, 0) != 0) std::abort();
    try {
        return dicom::decoding::decode(data, size, kFuzzMaxPixels, answer_fd);
    } catch (const std::bad_alloc&) {
        return dicom::decoding::refused("mémoire insuffisante");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    answer_fd = memfd_create("fuzz_dicom_answer", MFD_CLOEXEC);
    if (answer_fd < 0) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const dicom::decoding::Reply r = run(data, size);
    using dicom::wire::Status;
    switch (r.status) {
        case Status::refused:
            if (r.reason.empty()) __builtin_trap();
            return 0;
        case Status::not_dicom:
            if (dicom::has_dicom_mark(data, size)) __builtin_trap();
            return 0;
        case Status::no_codec:
            return 0;
        case Status::picture:
            break;
    }
    const std::int64_t pixels = std::int64_t{r.width} * r.height;
    struct stat st {};
    if (r.width <= 0 || r.height <= 0 || pixels > kFuzzMaxPixels || fstat(answer_fd, &st) != 0 ||
        static_cast<std::uint64_t>(st.st_size) != dicom::wire::kHeaderBytes + 4 * static_cast<std::uint64_t>(pixels))
        __builtin_trap();
    // Every pixel written: its fourth byte is 0xFF, where the emptied answer had 0.
    std::vector<std::uint32_t> px(static_cast<std::size_t>(pixels));
    if (pread(answer_fd, px.data(), 4 * px.size(), dicom::wire::kHeaderBytes) != 4 * pixels) std::abort();
    for (std::uint32_t p : px)
        if (p >> 24 != 0xFF) __builtin_trap();
    return 0;
}
