#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "french_texts.h"
#include "picture_loader.h"
#include "reasons.h"
#include "pixel_image.h"
#include "selection_image.h"
#include "window_main.h"

// The window's side of the program, loaded by the small start-up program
// once the record's decode is under way.
//
// For unattended runs: SELECTION_IMAGE_SCREENSHOT=<file.png> saves the
// window as soon as its first frame is on screen and quits;
// SELECTION_IMAGE_QUIT_AFTER_FIRST_FRAME=1 quits then, after writing the
// moment of that frame (the monotonic clock, in nanoseconds) to standard
// output as "first frame <ns>". With either, the messages the window would
// show go to standard error, one line each, since nobody is there to close
// a box.
namespace {

// Qt's own complaints are not the user's business, but a fatal one (Qt
// cannot start, short of memory, say) ends the program with one line, as
// any other failure to start does, rather than by an abort.
void one_line_when_fatal(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtFatalMsg) return;
    std::fprintf(stderr, "selection_image: %s\n", message.simplified().toLocal8Bit().constData());
    std::fflush(stderr);
    std::_Exit(1);
}

int run_window(int* argc, char** argv, EarlyRecord* early) {
    qInstallMessageHandler(one_line_when_fatal);
    QApplication app(*argc, argv);
    QApplication::setApplicationName(QStringLiteral("selection_image"));
    app::install_french_texts(app);
    QStringList args = QCoreApplication::arguments();
    if (!args.isEmpty()) args.removeFirst();

    // The early decode serves the record's own file, once; any other file,
    // or a record it could not decode, is read here.
    const QString early_path = QString::fromLocal8Bit(early->path);
    auto read_picture = [early, early_path](const QString& file) -> core::Result<QImage> {
        EarlyPixels px;
        if (file == early_path && early->take(early, &px)) {
            QImage adopted = filter::adopt_rgb32(px.data, px.bytes, px.width, px.height, px.stride, px.release);
            if (!adopted.isNull()) return adopted;
        }
        return sources::load_picture(file);
    };
    const QString screenshot = qEnvironmentVariable("SELECTION_IMAGE_SCREENSHOT");
    const bool quit_after_first = qEnvironmentVariableIsSet("SELECTION_IMAGE_QUIT_AFTER_FIRST_FRAME");
    const bool unattended = !screenshot.isEmpty() || quit_after_first;
    app::WindowDialogs dialogs = app::system_dialogs();
    if (unattended)
        dialogs.inform = [](QWidget*, const QString& text, QMessageBox::Icon) {
            std::fprintf(stderr, "selection_image: %s\n", text.toLocal8Bit().constData());
        };
    app::selection_image window(args.join(QLatin1Char(' ')), QCoreApplication::applicationDirPath(), dialogs, nullptr,
                                read_picture);
    early->discard(early);  // not asked for (another path): its memory goes now

    if (unattended) {
        // The frame is taken as finished once the event loop is back: the
        // window's controls and the copy to the screen come after its own
        // paint.
        window.first_frame_shown = [&window, screenshot, quit_after_first] {
            QTimer::singleShot(0, &window, [&window, screenshot, quit_after_first] {
                if (quit_after_first) {
                    const auto at = std::chrono::steady_clock::now().time_since_epoch();
                    std::printf(
                        "first frame %lld\n",
                        static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(at).count()));
                    std::fflush(stdout);
                }
                int status = 0;
                if (!screenshot.isEmpty() && !window.grab().save(screenshot)) status = 1;
                QCoreApplication::exit(status);
            });
        };
    }
    window.show();
    return app.exec();
}

}  // namespace

extern "C" int selection_image_window_main(int* argc, char** argv, EarlyRecord* early) {
    // Out of memory where no operation of the window is there to catch it
    // (starting Qt, making the window), the program ends, saying why.
    try {
        return run_window(argc, argv, early);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "selection_image: %s\n", core::kNoMemory);
        return 1;
    }
}
