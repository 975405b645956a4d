// A system that refuses new threads (short of memory, say) must neither end nor hang a pass: the calling
// thread does the work, and the pictures are the plain loops' all the same.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <system_error>
#include <thread>

#include "clsPicfilter.h"
#include "picture_helpers.h"

namespace {

// From here on no thread of this process can start: each asks for a stack larger than the whole address
// space, so mapping it fails. (A resource limit set now would not do: the C library reads the stack limit
// once, at start-up, and hands out again the stacks of threads that have ended.)
void refuse_new_threads() {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, std::size_t{1} << 47);
    pthread_setattr_default_np(&attr);
    pthread_attr_destroy(&attr);
}

// The child's exit status.
enum Outcome { kMatches = 0, kThreadsStillStart = 10, kAdjustmentDiffers, kSharpeningDiffers, kThrew };

Outcome run_passes(const RefPicture& in, const RefPicture& adjusted, const RefPicture& sharp) {
    try {
        std::thread([] {}).join();
        return kThreadsStillStart;
    } catch (const std::system_error&) {
    }
    try {
        filter::clsPicfilter f;
        filter::PictureBox box;
        f.Picture(to_image(in));
        f.PicProcessing(true, 10, 20, 100, 0);
        f.display_result(box);
        if (from_buffer(box.image.constBits(), in.w, in.h).px != adjusted.px) return kAdjustmentDiffers;
        f.deconvolution();
        return from_buffer(f.result_pixels(), in.w, in.h).px == sharp.px ? kMatches : kSharpeningDiffers;
    } catch (const std::exception&) {
        return kThrew;
    }
}

TEST(NoThreads, PassesStillMatchThePlainLoops) {
    constexpr int w = 1031, h = 613;  // enough pixels and rows for two threads in every pass
    std::mt19937 rng(11);
    const RefPicture in = random_picture(w, h, rng);
    const RefPicture adjusted = reference_processing(in, true, 10, 20, 100, 0);
    const RefPicture sharp = reference_deconvolution(in);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        ::alarm(60);  // a pass waiting for a thread that never came would wait for ever
        refuse_new_threads();
        _exit(run_passes(in, adjusted, sharp));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_FALSE(WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM) << "the passes were still running after a minute";
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), kMatches)
        << "10: threads still start; 11, 12: the adjustment, the sharpening differ; 13: a pass threw";
}

}  // namespace
