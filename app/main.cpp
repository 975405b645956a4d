#include <QApplication>
#include <QStringList>
#include <QThread>
#include <QTimer>
#include <future>

#include "picture_loader.h"
#include "selection_image.h"

namespace {

// The record's picture is decoded while Qt and the window start up, so the
// first frame waits for whichever takes longer rather than for both.
struct EarlyDecode {
    QString path;
    std::future<std::pair<QImage, QString>> result;

    explicit EarlyDecode(QString p) : path(std::move(p)) {
        if (path.isEmpty()) return;
        result = std::async(std::launch::async, [file = path] {
            QString error;
            QImage picture = sources::load_picture(file, &error);
            return std::make_pair(std::move(picture), std::move(error));
        });
    }

    // The early result when it is for this file (and not yet taken), else a
    // decode now.
    QImage read(const QString& file, QString* error) {
        if (file == path && result.valid()) {
            auto [picture, reason] = result.get();
            if (error) *error = reason;
            return picture;
        }
        return sources::load_picture(file, error);
    }
};

QString record_field(int argc, char** argv) {
    QStringList parts;
    for (int i = 1; i < argc; ++i) parts << QString::fromLocal8Bit(argv[i]);
    return parts.join(QLatin1Char(' ')).section(QLatin1Char(';'), 0, 0);
}

}  // namespace

// The host passes the record's picture file (and optionally the dialog's
// folder) as one argument string; a host that splits it at blanks gets it
// back joined by single blanks.
//
// For unattended runs: SELECTION_IMAGE_SCREENSHOT=<file.png> saves the
// window as soon as its first frame is on screen and quits;
// SELECTION_IMAGE_QUIT_AFTER_FIRST_FRAME=1 only quits then.
int main(int argc, char** argv) {
    // Qt takes the first thread that asks for its thread data as the main
    // thread: ask here, before the decoder's thread opens the file.
    QThread::currentThread();
    EarlyDecode early(record_field(argc, argv));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("selection_image"));
    QStringList args = QCoreApplication::arguments();
    if (!args.isEmpty()) args.removeFirst();

    selection_image window(args.join(QLatin1Char(' ')), QCoreApplication::applicationDirPath(), system_dialogs(),
                           nullptr, [&early](const QString& file, QString* error) { return early.read(file, error); });
    if (early.result.valid()) early.result.wait();  // never leave the decoder running at exit

    const QString screenshot = qEnvironmentVariable("SELECTION_IMAGE_SCREENSHOT");
    const bool quit_after_first = qEnvironmentVariableIsSet("SELECTION_IMAGE_QUIT_AFTER_FIRST_FRAME");
    if (!screenshot.isEmpty() || quit_after_first) {
        window.first_frame_shown = [&window, screenshot] {
            QTimer::singleShot(0, &window, [&window, screenshot] {
                int status = 0;
                if (!screenshot.isEmpty() && !window.grab().save(screenshot)) status = 1;
                QCoreApplication::exit(status);
            });
        };
    }
    window.show();
    return app.exec();
}
