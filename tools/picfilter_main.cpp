// picfilter: runs the window's picture pipeline on a file, for batch work
// and for checking the engine from the command line.
#include <fcntl.h>
#include <unistd.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QStringList>
#include <cstdio>
#include <optional>

#include "atomic_file.h"
#include "clsPicfilter.h"
#include "jpeg_writer.h"
#include "picture_loader.h"

namespace {

constexpr const char* kUsage =
    "usage: picfilter [--net N] [--negative] [--light N] [--contrast N] [--gamma N] [--color N] [--no-adjust] "
    "INPUT OUTPUT\n";

constexpr const char* kHelp =
    "Reads INPUT (JPEG, BMP or PNG, recognised by content), sharpens it N times (--net),\n"
    "applies the adjustments unless --no-adjust, and writes OUTPUT as .bmp, .png or .jpg/.jpeg\n"
    "(JPEG quality 80). OUTPUT is replaced whole or not at all.\n"
    "\n"
    "  --net N        sharpening passes, 0..100 (default 0)\n"
    "  --negative     negative\n"
    "  --light N      -50..50 (default 0)\n"
    "  --contrast N   -50..50 (default 0)\n"
    "  --gamma N      1..254 (default 127)\n"
    "  --color N      false-colour mix, 0..20 (default 0)\n"
    "  --no-adjust    write the (sharpened) picture without the adjustments\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read or written, 2 bad usage.\n";

struct Options {
    int net = 0;
    bool negative = false;
    int light = 0, contrast = 0, gamma = 127, color = 0;
    bool adjust = true;
    QString input, output;
};

struct UsageError {
    QString message;
};

void line(FILE* f, const QString& s) { std::fprintf(f, "%s\n", s.toLocal8Bit().constData()); }

int parse_int(const QString& option, const QString& text, int lo, int hi) {
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || v < lo || v > hi)
        throw UsageError{QStringLiteral("picfilter: %1 takes a whole number from %2 to %3, not '%4'")
                             .arg(option).arg(lo).arg(hi).arg(text)};
    return static_cast<int>(v);
}

Options parse(const QStringList& args) {
    Options o;
    QStringList files;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](int lo, int hi) {
            if (i + 1 >= args.size())
                throw UsageError{QStringLiteral("picfilter: %1 needs a whole number from %2 to %3").arg(a).arg(lo).arg(hi)};
            return parse_int(a, args[++i], lo, hi);
        };
        if (a == "--net") o.net = value(0, 100);
        else if (a == "--negative") o.negative = true;
        else if (a == "--light") o.light = value(-50, 50);
        else if (a == "--contrast") o.contrast = value(-50, 50);
        else if (a == "--gamma") o.gamma = value(1, 254);
        else if (a == "--color") o.color = value(0, 20);
        else if (a == "--no-adjust") o.adjust = false;
        else if (a.startsWith("--") || (a.startsWith('-') && a.size() > 1))
            throw UsageError{QStringLiteral("picfilter: unknown option '%1'").arg(a)};
        else files << a;
    }
    if (files.size() != 2)
        throw UsageError{QStringLiteral("picfilter: expected INPUT and OUTPUT, got %1 file name(s)").arg(files.size())};
    o.input = files[0];
    o.output = files[1];
    const QString ext = QFileInfo(o.output).suffix().toLower();
    if (ext != "bmp" && ext != "png" && ext != "jpg" && ext != "jpeg")
        throw UsageError{QStringLiteral("picfilter: OUTPUT must end in .bmp, .png, .jpg or .jpeg: %1").arg(o.output)};
    return o;
}

bool write_output(const QString& path, const QImage& picture, QString* error) {
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == "jpg" || ext == "jpeg") return sources::write_jpeg_file(path, picture, 80, error);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QImage out = ext == "bmp" ? picture.convertToFormat(QImage::Format_RGB888) : picture;
    if (!out.save(&buffer, ext == "bmp" ? "BMP" : "PNG")) {
        *error = QStringLiteral("%1: cannot encode the picture").arg(path);
        return false;
    }
    return sources::replace_file_atomically(path, bytes.constData(), static_cast<std::size_t>(bytes.size()), error);
}

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// Some decoders write their complaints straight to the standard error (the
// PNG library does on a cut file); while one of them runs, that goes nowhere,
// so that our own line is the only one.
class StderrSilenced {
public:
    StderrSilenced() {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (saved_ >= 0 && null >= 0) ::dup2(null, STDERR_FILENO);
        if (null >= 0) ::close(null);
    }
    ~StderrSilenced() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
        }
    }
    StderrSilenced(const StderrSilenced&) = delete;
    StderrSilenced& operator=(const StderrSilenced&) = delete;

private:
    int saved_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quiet);  // one line on stderr, ours, whatever Qt has to say
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    if (args.contains("--help")) {
        std::fputs(kUsage, stdout);
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (args.contains("--version")) {
        std::printf("picfilter %s\n", SELECTION_IMAGE_VERSION);
        return 0;
    }
    Options o;
    try {
        o = parse(args);
    } catch (const UsageError& e) {
        line(stderr, e.message);
        return 2;
    }

    QString error;
    QImage input;
    {
        StderrSilenced silenced;
        input = sources::load_picture(o.input, &error);
    }
    if (input.isNull()) {
        line(stderr, QStringLiteral("picfilter: %1").arg(error));
        return 1;
    }
    clsPicfilter filter;
    PictureBox box;
    try {
        filter.Picture(input);
        for (int i = 0; i < o.net; ++i) filter.deconvolution();
        if (o.adjust) filter.PicProcessing(o.negative, o.light, o.contrast, o.gamma, o.color);
        filter.display_result(box);
    } catch (const std::bad_alloc&) {
        line(stderr, QStringLiteral("picfilter: %1: not enough memory for this picture").arg(o.input));
        return 1;
    }
    bool written = false;
    {
        StderrSilenced silenced;
        written = write_output(o.output, box.image, &error);
    }
    if (!written) {
        line(stderr, QStringLiteral("picfilter: %1").arg(error));
        return 1;
    }
    return 0;
}
