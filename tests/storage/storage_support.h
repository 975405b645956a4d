#pragma once
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QStringList>
#include <QTemporaryDir>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <functional>

#include "store_dialogs.h"

namespace storage_test {

// A smooth picture (gradients and a few bars) that JPEG keeps close, made
// different by `seed` so that two pictures are told apart by their means.
inline QImage smooth_picture(int w, int h, int seed) {
    // Triangle waves: no edge anywhere, yet every seed shifts all three channels.
    const auto wave = [](int v) {
        v %= 510;
        return v > 255 ? 510 - v : v;
    };
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            row[x] = qRgb(wave(x * 510 / std::max(1, w) + seed * 97), wave(y * 510 / std::max(1, h) + seed * 151),
                          wave((x + y) * 255 / std::max(1, w + h) + seed * 211));
    }
    return img;
}

// Mean absolute difference over the three colour channels; 255 when the
// sizes differ or a picture is missing.
inline double mean_abs_diff(const QImage& a, const QImage& b) {
    if (a.isNull() || b.isNull() || a.size() != b.size()) return 255.0;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    std::uint64_t sum = 0;
    for (int r = 0; r < x.height(); ++r) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(r));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(r));
        for (int c = 0; c < x.width(); ++c)
            sum += std::abs(qRed(p[c]) - qRed(q[c])) + std::abs(qGreen(p[c]) - qGreen(q[c])) +
                   std::abs(qBlue(p[c]) - qBlue(q[c]));
    }
    return double(sum) / (3.0 * x.width() * x.height());
}

inline QByteArray read_all(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool write_bytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QImage decode(const QString& path) { return QImage(path, "JPG"); }

// Modification time in nanoseconds, or -1 when the file is missing.
inline std::int64_t mtime_ns(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    return std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// Files left in a folder (temporary files of an aborted write show here).
inline QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

// Message boxes answered by the test, every text shown kept in order.
struct ScriptedDialogs {
    bool answer = true;
    QStringList questions;
    QStringList informed;
    QStringList errors;

    sources::StoreDialogs dialogs() {
        return {[this](const QString& t) {
                    questions << QStringLiteral("okcancel:") + t;
                    return answer;
                },
                [this](const QString& t) {
                    questions << QStringLiteral("yesno:") + t;
                    return answer;
                },
                [this](const QString& t) { informed << t; },
                [this](const QString& t) { errors << t; }};
    }
};

// Runs `body` in a child process and gives its exit code (128 + signal
// number when it was killed). The child leaves with _exit, running no
// destructors of the parent's objects.
inline int run_in_child(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    if (pid < 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// The one application object the clipboard tests need.
inline QGuiApplication* gui_app() {
    static int argc = 1;
    static char name[] = "storage_tests";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = QGuiApplication::instance()
                                      ? qobject_cast<QGuiApplication*>(QGuiApplication::instance())
                                      : new QGuiApplication(argc, argv);
    return app;
}

}  // namespace storage_test
