// One mouse move while dragging a handle: the old rubber band is inverted
// away, the handle moves, the new band is inverted in, on the window's
// surface. Timed with a 24 MP and an 8 MP picture painted into a full-HD
// window, against a memcpy of that surface; the move must stay below 1 ms.
#include <QGuiApplication>
#include <QPainter>
#include <cmath>

#include "bench_support.h"
#include "measurement.h"
#include "pointer.h"
#include "twips.h"

namespace {

using bench::Size;

constexpr int kSurfaceWidth = 1920;
constexpr int kSurfaceHeight = 1080;
// The view fills the window but for the controls' strip and the bars.
const view::ViewRect kView{120, 960, 28000, 14700};

// The window as a paint leaves it: the picture stretched into the view and
// both tools' overlays on it.
QImage painted_surface(const QImage& picture, const view::Handles& handles) {
    QImage surface(kSurfaceWidth, kSurfaceHeight, QImage::Format_RGB32);
    surface.fill(QColor(192, 192, 255));
    QPainter p(&surface);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.drawImage(view::twips_to_pixels(QRectF(kView.left, kView.top, kView.width, kView.height)), picture);
    view::draw_angle_overlay(p, handles);
    view::draw_proportion_overlay(p, handles);
    return surface;
}

void DragMove(benchmark::State& state, Size s) {
    const QImage picture = bench::radiograph(s.width, s.height);
    view::Handles handles{};
    view::place_default_angle_handles(handles, kView);
    view::place_default_proportion_handles(handles, kView);
    QImage surface = painted_surface(picture, handles);

    const view::ToolState tools{true, true};
    view::PointerInteraction pointer;
    // Grab the far end of the reference segment and sweep it round the view,
    // so the band's lines are as long as the window allows.
    pointer.mouse_down(handles[4].x(), handles[4].y(), handles, tools);
    if (pointer.hot_handle != 4) {
        state.SkipWithError("the press did not grab the handle");
        return;
    }
    bench::CopyReference copy(std::size_t{4} * kSurfaceWidth * kSurfaceHeight);
    int step = 0;
    bench::compare(state, std::string("drag move, picture ") + s.label, "memcpy of surface", copy, [&] {
        const double a = step++ * 0.05;
        const double x = kView.left + kView.width * (0.5 + 0.5 * std::cos(a));
        const double y = kView.top + kView.height * (0.5 + 0.5 * std::sin(a));
        const view::MoveOutcome m =
            pointer.mouse_move(x, y, handles, kView, tools, view::PointerShape::Crosshair, surface);
        benchmark::DoNotOptimize(m);
        benchmark::ClobberMemory();
    });
}

}  // namespace

int main(int argc, char** argv) {
    // The overlays' fonts need a running GUI application.
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    for (const Size& s : {bench::k24MP, bench::k8MP}) {
        benchmark::RegisterBenchmark((std::string("DragMove/") + s.label).c_str(),
                                     [s](benchmark::State& st) { DragMove(st, s); })
            ->UseManualTime()
            ->Iterations(2000)
            ->Unit(benchmark::kMicrosecond);
    }
    const int status = bench::run_and_summarise(argc, argv);
    for (const auto& r : bench::summaries())
        std::printf("%-32s %7.1f us per move (median): %s 1 ms\n", r.name.c_str(), r.op_ms * 1e3,
                    r.op_ms < 1.0 ? "below" : "NOT below");
    return status;
}
