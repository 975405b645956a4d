// The engine's whole-picture operations, each against a memcpy of the same
// 4 * W * H bytes between two already-touched buffers.
#include <memory>

#include "bench_support.h"
#include "clsPicfilter.h"

namespace {

using bench::add;
using bench::Size;

std::size_t bytes_of(const Size& s) { return std::size_t{4} * s.width * s.height; }

const QImage& picture_of(const Size& s) {
    static QImage big = bench::radiograph(bench::k24MP.width, bench::k24MP.height);
    static QImage small = bench::radiograph(bench::k8MP.width, bench::k8MP.height);
    return s.width == bench::k24MP.width ? big : small;
}

void PicProcessing(benchmark::State& state, Size s, int colour) {
    filter::clsPicfilter f;
    f.Picture(picture_of(s));
    bench::CopyReference copy(bytes_of(s));
    int light = 0;
    bench::compare(
        state, std::string("PicProcessing colour=") + std::to_string(colour) + " " + s.label, "memcpy", copy,
        [&] { f.PicProcessing(false, light, 10, 120, colour); }, [&] { light = (light + 7) % 50; });
}

void Deconvolution(benchmark::State& state, Size s) {
    filter::clsPicfilter f;
    bench::CopyReference copy(bytes_of(s));
    // Each run starts from the loaded picture, not from an ever sharper one.
    bench::compare(
        state, std::string("deconvolution ") + s.label, "memcpy", copy, [&] { f.deconvolution(); },
        [&] { f.Picture(picture_of(s)); });
}

// Random colour bytes: every sample near a rounding boundary takes the
// exact sum, so this is the slow case of the fixed-point smoothing.
void DeconvolutionRandomColour(benchmark::State& state, Size s) {
    static const QImage noise = bench::random_colour(s.width, s.height, 7);
    filter::clsPicfilter f;
    bench::CopyReference copy(bytes_of(s));
    bench::compare(
        state, std::string("deconvolution random colour ") + s.label, "memcpy", copy, [&] { f.deconvolution(); },
        [&] { f.Picture(noise); });
}

// The pictures the program decodes live in pixel memory and are shared;
// one in an ordinary QImage is copied.
const QImage& plain_picture_of(const Size& s) {
    static QImage big = picture_of(bench::k24MP).copy();
    static QImage small = picture_of(bench::k8MP).copy();
    return s.width == bench::k24MP.width ? big : small;
}

void PictureIntoHeldSize(benchmark::State& state, Size s, const QImage& (*source)(const Size&), const char* how) {
    filter::clsPicfilter f;
    f.Picture(source(s));
    bench::CopyReference copy(bytes_of(s));
    bench::compare(state, std::string("Picture ") + how + " (same size held) " + s.label, "memcpy", copy,
                   [&] { f.Picture(source(s)); });
}

void PictureIntoFreshInstance(benchmark::State& state, Size s) {
    std::unique_ptr<filter::clsPicfilter> f;
    bench::CopyReference copy(bytes_of(s));
    bench::compare(
        state, std::string("Picture shared (fresh instance) ") + s.label, "memcpy", copy,
        [&] {
            f = std::make_unique<filter::clsPicfilter>();
            f->Picture(picture_of(s));
        },
        [&] { f.reset(); });
}

void DisplayResult(benchmark::State& state, Size s) {
    filter::clsPicfilter f;
    f.Picture(picture_of(s));
    f.PicProcessing(false, 10, 0, 127, 0);
    filter::PictureBox box;
    f.display_result(box);  // the box now holds a picture of that size
    bench::CopyReference copy(bytes_of(s));
    bench::compare(state, std::string("display_result ") + s.label, "memcpy", copy, [&] { f.display_result(box); });
}

}  // namespace

int main(int argc, char** argv) {
    for (const Size& s : {bench::k24MP, bench::k8MP}) {
        const int n = s.width == bench::k24MP.width ? 20 : 40;
        const std::string l = s.label;
        add("PicProcessing/colour0/" + l, n, PicProcessing, s, 0);
        add("PicProcessing/colour10/" + l, n, PicProcessing, s, 10);
        add("deconvolution/" + l, n, Deconvolution, s);
        if (s.width == bench::k24MP.width) add("deconvolution/random_colour/" + l, n, DeconvolutionRandomColour, s);
        add("Picture/held/" + l, n, PictureIntoHeldSize, s, picture_of, "shared");
        add("Picture/fresh/" + l, n, PictureIntoFreshInstance, s);
        add("Picture/copied/" + l, n, PictureIntoHeldSize, s, plain_picture_of, "copied");
        add("display_result/" + l, n, DisplayResult, s);
    }
    return bench::run_and_summarise(argc, argv);
}
