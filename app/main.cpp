#include <QApplication>
#include <QStringList>
#include <QTimer>

#include "selection_image.h"

// The host passes the record's picture file (and optionally the dialog's
// folder) as one argument string; a host that splits it at blanks gets it
// back joined by single blanks.
//
// For unattended runs: SELECTION_IMAGE_SCREENSHOT=<file.png> saves the
// window as soon as its first frame is on screen and quits;
// SELECTION_IMAGE_QUIT_AFTER_FIRST_FRAME=1 only quits then.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("selection_image"));
    QStringList args = QCoreApplication::arguments();
    if (!args.isEmpty()) args.removeFirst();

    selection_image window(args.join(QLatin1Char(' ')), QCoreApplication::applicationDirPath());

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
