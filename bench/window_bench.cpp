// The window with a 24-megapixel picture: a slider change up to the
// finished repaint and a repaint at zoom 1 and 5, against a memcpy of the
// picture; and the program's start-up to its first painted frame, against
// the bare TurboJPEG decode of the same file.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "bench_support.h"
#include "jpeg_writer.h"
#include "selection_image.h"
#include "window_driver.h"

extern char** environ;

namespace {

struct Fixture {
    QTemporaryDir dir;
    QString record;
    std::vector<unsigned char> jpeg;
    std::unique_ptr<app::selection_image> window;
    std::unique_ptr<bench::CopyReference> copy;

    Fixture() {
        const QImage picture = bench::radiograph(bench::k24MP.width, bench::k24MP.height);
        const auto encoded = storage::compress_rows(picture.constBits(), picture.width(), picture.height(),
                                                    static_cast<int>(picture.bytesPerLine()), TJPF_BGRX, 0, 80);
        if (!encoded) qFatal("encode: %s", encoded.error().reason().c_str());
        jpeg.assign(encoded->begin(), encoded->end());
        record = dir.filePath(QStringLiteral("24mp.jpg"));
        QFile f(record);
        if (!f.open(QIODevice::WriteOnly) ||
            f.write(reinterpret_cast<const char*>(jpeg.data()), static_cast<qint64>(jpeg.size())) !=
                static_cast<qint64>(jpeg.size()))
            qFatal("cannot write the test picture");
        f.close();
        app::WindowDialogs quiet;
        quiet.inform = [](QWidget*, const QString& text, QMessageBox::Icon) { qFatal("%s", qPrintable(text)); };
        quiet.open_file = [](QWidget*, const QString&, const QString&, const QString&, const QString&) {
            return QString();
        };
        window = std::make_unique<app::selection_image>(record, dir.path(), quiet);
        window->show();
        QApplication::processEvents();
        // A user looks at the picture before touching a control; meanwhile
        // the window readies the memory of the first adjustment.
        QEventLoop idle;
        QTimer::singleShot(500, &idle, &QEventLoop::quit);
        idle.exec();
        copy = std::make_unique<bench::CopyReference>(std::size_t{4} * picture.width() * picture.height());
    }
};

std::unique_ptr<Fixture>& fixture_slot() {
    static std::unique_ptr<Fixture> f;
    return f;
}

Fixture& fixture() {
    if (!fixture_slot()) fixture_slot() = std::make_unique<Fixture>();
    return *fixture_slot();
}

void BM_SliderChangeToRepaint(benchmark::State& state) {
    Fixture& f = fixture();
    app::selection_image& w = *f.window;
    app::WindowDriver drive(w);
    int value = 1;
    bench::compare(
        state, "slider change -> repaint 24MP", "memcpy", [&] { (*f.copy)(); },
        [&] {
            value = value == 1 ? 2 : 1;
            const std::uint64_t frames = drive.frames_shown();
            drive.control<QScrollBar>("scrollLight")->setValue(value);
            QApplication::processEvents();  // the paint event puts it on screen
            if (drive.frames_shown() == frames) qFatal("no paint event after the slider change");
        });
}
BENCHMARK(BM_SliderChangeToRepaint)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

void repaint_at(benchmark::State& state, double zoom, const char* name) {
    Fixture& f = fixture();
    app::selection_image& w = *f.window;
    app::WindowDriver drive(w);
    drive.set_zoom(zoom);
    drive.paint();
    // Somewhere in the middle, so the source rectangle is a real sub-part.
    drive.control<QScrollBar>("HScrollBar")->setValue(drive.control<QScrollBar>("HScrollBar")->maximum() / 2);
    drive.control<QScrollBar>("VScrollBar")->setValue(drive.control<QScrollBar>("VScrollBar")->maximum() / 2);
    bench::compare(
        state, name, "memcpy", [&] { (*f.copy)(); },
        [&] {
            const std::uint64_t frames = drive.frames_shown();
            drive.paint();
            QApplication::processEvents();
            if (drive.frames_shown() == frames) qFatal("no paint event after Form_Paint");
        });
    drive.set_zoom(1.0);
    drive.paint();
}

void BM_RepaintZoom1(benchmark::State& state) { repaint_at(state, 1.0, "repaint zoom 1 24MP"); }
void BM_RepaintZoom5(benchmark::State& state) { repaint_at(state, 5.0, "repaint zoom 5 24MP"); }
BENCHMARK(BM_RepaintZoom1)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepaintZoom5)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);

// The real program, started on the record and quitting once its first frame
// is on screen: process start, window, decoding, the filter taking the
// picture and the first paint. The program writes the moment of that frame
// (the same monotonic clock) to its standard output; its exit afterwards is
// not counted.
struct ChildTimes {
    double wall, cpu;
};

ChildTimes run_program_once(const QString& record, const QByteArray& runtime_dir) {
    std::vector<std::string> env_strings;
    for (char** e = environ; *e; ++e) {
        const std::string s(*e);
        if (s.rfind("SELECTION_IMAGE_", 0) == 0 || s.rfind("XDG_RUNTIME_DIR=", 0) == 0) continue;
        env_strings.push_back(s);
    }
    env_strings.push_back("SELECTION_IMAGE_QUIT_AFTER_FIRST_FRAME=1");
    env_strings.push_back("XDG_RUNTIME_DIR=" + runtime_dir.toStdString());
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        env_strings.push_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (auto& s : env_strings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string program = SELECTION_IMAGE_BIN;
    std::string arg = record.toStdString();
    char* argv[] = {program.data(), arg.data(), nullptr};

    int out[2];
    if (::pipe(out) != 0) qFatal("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data()) != 0)
        qFatal("cannot start the program");
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string printed;
    char buffer[256];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        printed.append(buffer, static_cast<std::size_t>(n));
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) qFatal("the program failed (status %d)", status);
    long long frame_ns = 0;
    const auto at = printed.find("first frame ");
    if (at == std::string::npos || std::sscanf(printed.c_str() + at, "first frame %lld", &frame_ns) != 1)
        qFatal("the program did not report its first frame");
    const auto frame = std::chrono::steady_clock::time_point(std::chrono::nanoseconds(frame_ns));
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    return {std::chrono::duration<double>(frame - t0).count(), cpu};
}

void BM_StartupToFirstFrame(benchmark::State& state) {
    Fixture& f = fixture();
    const QByteArray runtime_dir = QFile::encodeName(f.dir.filePath(QStringLiteral("runtime")));
    QDir().mkpath(QString::fromLocal8Bit(runtime_dir));
    ::chmod(runtime_dir.constData(), 0700);
    tjhandle tj = tjInitDecompress();
    std::vector<unsigned char> out(std::size_t{4} * bench::k24MP.width * bench::k24MP.height, 0);
    auto bare_decode = [&] {
        if (tjDecompress2(tj, f.jpeg.data(), static_cast<unsigned long>(f.jpeg.size()), out.data(), bench::k24MP.width,
                          4 * bench::k24MP.width, bench::k24MP.height, TJPF_BGRX, 0) != 0)
            qFatal("bare decode failed");
        benchmark::DoNotOptimize(out.data());
    };
    bare_decode();                            // the output buffer is touched before timing
    run_program_once(f.record, runtime_dir);  // and the program's files are in the page cache
    // Timed in alternation; the program's processor time (to its exit) comes
    // from the kernel's account of the child, the decode's from our own.
    std::vector<double> ops, refs;
    double op_cpu = 0, ref_cpu = 0;
    for (auto _ : state) {
        const double c0 = bench::process_cpu_seconds();
        const auto t0 = std::chrono::steady_clock::now();
        bare_decode();
        const auto t1 = std::chrono::steady_clock::now();
        ref_cpu += bench::process_cpu_seconds() - c0;
        const ChildTimes child = run_program_once(f.record, runtime_dir);
        op_cpu += child.cpu;
        refs.push_back(std::chrono::duration<double>(t1 - t0).count());
        ops.push_back(child.wall);
        state.SetIterationTime(child.wall);
    }
    tjDestroy(tj);
    const double o = bench::median(ops), r = bench::median(refs);
    const double best = *std::min_element(ops.begin(), ops.end()) / *std::min_element(refs.begin(), refs.end());
    state.counters["ref_ms"] = r * 1e3;
    state.counters["x_ref"] = o / r;
    state.counters["x_ref_best"] = best;
    state.counters["cpu_x_ref"] = op_cpu / ref_cpu;
    bench::summaries().push_back(
        {"start-up to first frame 24MP", "tjDecompress2", o * 1e3, r * 1e3, o / r, best, op_cpu / ref_cpu});
}
BENCHMARK(BM_StartupToFirstFrame)->UseManualTime()->Iterations(15)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("selection_image"));
    const int status = bench::run_and_summarise(argc, argv);
    fixture_slot().reset();  // the window goes before the application
    return status;
}
