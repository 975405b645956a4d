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
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "atomic_file.h"
#include "clsPicfilter.h"
#include "jpeg_writer.h"
#include "picture_loader.h"
#include "reasons.h"

namespace {

constexpr const char* kUsage =
    "usage: picfilter [--net N] [--mask X,Y;X,Y;...] [--mask-blc] [--ratio BRm,BRt,BGm,BGt,RGm,RGt] [--probe X,Y]...\n"
    "                 [--negative] [--light N] [--contrast N] [--gamma N] [--color N] [--no-adjust] INPUT [OUTPUT]\n";

constexpr const char* kHelp =
    "Reads INPUT (JPEG, BMP, PNG, TIFF or DICOM, recognised by content), sharpens it N times (--net),\n"
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
    "  --mask X,Y;X,Y;...  polygon of 1..101 vertices as fractions of width and height\n"
    "                      (one vertex switches the mask off)\n"
    "  --mask-blc     mask every pixel that is not near-white\n"
    "  --ratio BRm,BRt,BGm,BGt,RGm,RGt\n"
    "                 colour-ratio tests (mode 1: greater, 3: less, other: off) instead of the\n"
    "                 adjustments; prints share=<passing share> masked=<masked share>\n"
    "  --probe X,Y    prints 'R G B' of the (sharpened) reference at 0<=X<1, 0<=Y<1; repeatable;\n"
    "                 with probes OUTPUT may be left out\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read or written, 2 bad usage.\n";

struct Options {
    int net = 0;
    bool negative = false;
    int light = 0, contrast = 0, gamma = 127, color = 0;
    bool adjust = true;
    std::optional<std::vector<std::vector<double>>> mask;  // Coord[0] x, Coord[1] y
    bool mask_blc = false;
    std::optional<std::array<double, 6>> ratio;
    std::vector<std::pair<double, double>> probes;
    QString input, output;
};

void line(FILE* f, const QString& s) { std::fprintf(f, "%s\n", s.toLocal8Bit().constData()); }

core::Failed usage(const QString& message) { return core::fail(QStringLiteral("picfilter: ") + message); }

core::Result<int> parse_int(const QString& option, const QString& text, int lo, int hi) {
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok, 10);
    if (!ok || v < lo || v > hi)
        return usage(
            QStringLiteral("%1 demande un nombre entier de %2 à %3, pas « %4 »").arg(option).arg(lo).arg(hi).arg(text));
    return static_cast<int>(v);
}

// Comma-separated finite numbers, exactly `count` of them (any count when 0).
core::Result<std::vector<double>> parse_numbers(const QString& option, const QString& text, std::size_t count,
                                                const char* shape) {
    std::vector<double> values;
    for (const QString& part : text.split(',')) {
        bool ok = false;
        const double v = part.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v)) break;
        values.push_back(v);
    }
    if (values.size() != static_cast<std::size_t>(text.split(',').size()) || (count && values.size() != count))
        return usage(QStringLiteral("%1 demande %2, pas « %3 »").arg(option, shape, text));
    return values;
}

core::Result<std::vector<std::vector<double>>> parse_polygon(const QString& text) {
    const QStringList vertices = text.split(';');
    if (vertices.size() > 101)
        return usage(QStringLiteral("--mask demande de 1 à 101 sommets, pas %1").arg(vertices.size()));
    std::vector<std::vector<double>> coord(2);
    for (const QString& v : vertices) {
        const auto xy = parse_numbers("--mask", v, 2, "des sommets X,Y;X,Y;... (des fractions, de 1 à 101 sommets)");
        if (!xy) return core::fail(xy.error());
        coord[0].push_back((*xy)[0]);
        coord[1].push_back((*xy)[1]);
    }
    return coord;
}

// The value of the option at args[i], which the option needs.
core::Result<QString> option_value(const QStringList& args, qsizetype& i, const QString& needs) {
    if (i + 1 >= args.size()) return usage(QStringLiteral("%1 demande %2").arg(args[i], needs));
    return args[++i];
}

core::Result<Options> parse(const QStringList& args) {
    Options o;
    QStringList files;
    struct Setting {
        const char* name;
        int* value;
        int lo, hi;
    };
    const Setting settings[] = {{"--net", &o.net, 0, 100},
                                {"--light", &o.light, -50, 50},
                                {"--contrast", &o.contrast, -50, 50},
                                {"--gamma", &o.gamma, 1, 254},
                                {"--color", &o.color, 0, 20}};
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const auto setting =
            std::find_if(std::begin(settings), std::end(settings), [&](const Setting& s) { return a == s.name; });
        if (setting != std::end(settings)) {
            const auto text =
                option_value(args, i, QStringLiteral("un nombre entier de %1 à %2").arg(setting->lo).arg(setting->hi));
            if (!text) return core::fail(text.error());
            const auto v = parse_int(a, *text, setting->lo, setting->hi);
            if (!v) return core::fail(v.error());
            *setting->value = *v;
        } else if (a == "--negative")
            o.negative = true;
        else if (a == "--no-adjust")
            o.adjust = false;
        else if (a == "--mask-blc")
            o.mask_blc = true;
        else if (a == "--mask" || a == "--ratio" || a == "--probe") {
            const auto v = option_value(args, i, QStringLiteral("une valeur"));
            if (!v) return core::fail(v.error());
            if (a == "--mask") {
                auto polygon = parse_polygon(*v);
                if (!polygon) return core::fail(polygon.error());
                o.mask = std::move(*polygon);
            } else if (a == "--ratio") {
                const auto r = parse_numbers(a, *v, 6, "six nombres BRmode,BRt,BGmode,BGt,RGmode,RGt");
                if (!r) return core::fail(r.error());
                o.ratio = std::array<double, 6>{(*r)[0], (*r)[1], (*r)[2], (*r)[3], (*r)[4], (*r)[5]};
            } else {
                const char* shape = "une position X,Y avec 0 <= X < 1 et 0 <= Y < 1";
                const auto xy = parse_numbers(a, *v, 2, shape);
                if (!xy) return core::fail(xy.error());
                const double x = (*xy)[0], y = (*xy)[1];
                if (x < 0 || x >= 1 || y < 0 || y >= 1)
                    return usage(QStringLiteral("--probe demande %1, pas « %2 »").arg(shape, *v));
                o.probes.emplace_back(x, y);
            }
        } else if (a.startsWith("--") || (a.startsWith('-') && a.size() > 1))
            return usage(QStringLiteral("option inconnue « %1 »").arg(a));
        else
            files << a;
    }
    const qsizetype needed = o.probes.empty() ? 2 : 1;
    if (files.size() < needed || files.size() > 2)
        return usage(QStringLiteral("INPUT et OUTPUT attendus%1, %2 nom(s) de fichier donné(s)")
                         .arg(o.probes.empty() ? "" : " (OUTPUT facultatif avec --probe)")
                         .arg(files.size()));
    o.input = files[0];
    if (files.size() == 1) return o;
    o.output = files[1];
    const QString ext = QFileInfo(o.output).suffix().toLower();
    if (ext != "bmp" && ext != "png" && ext != "jpg" && ext != "jpeg")
        return usage(QStringLiteral("OUTPUT doit finir par .bmp, .png, .jpg ou .jpeg : %1").arg(o.output));
    return o;
}

core::Result<> write_output(const QString& path, const QImage& picture) {
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == "jpg" || ext == "jpeg") return storage::write_jpeg_file(path, picture, 80);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QImage out = ext == "bmp" ? picture.convertToFormat(QImage::Format_RGB888) : picture;
    if (!out.save(&buffer, ext == "bmp" ? "BMP" : "PNG"))
        return core::file_failure(path, "encodage de l'image impossible");
    return storage::replace_file_atomically(path, bytes.constData(), static_cast<std::size_t>(bytes.size()));
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
    const auto parsed = parse(args);
    if (!parsed) {
        line(stderr, parsed.error().reason_as<QString>());
        return 2;
    }
    const Options& o = *parsed;

    core::Result<QImage> input = core::fail("");
    {
        StderrSilenced silenced;
        input = sources::load_picture(o.input);
    }
    if (!input) {
        line(stderr, QStringLiteral("picfilter: %1").arg(input.error().reason_as<QString>()));
        return 1;
    }
    filter::clsPicfilter filter;
    filter::PictureBox box;
    try {
        filter.Picture(*input);
        for (int i = 0; i < o.net; ++i) filter.deconvolution();
        if (o.mask) filter.Mask(*o.mask, static_cast<int>(o.mask->front().size()));
        if (o.mask_blc) filter.MaskBLC();
        if (o.ratio) {
            const auto& r = *o.ratio;
            const double share = filter.app_filter(r[0], r[1], r[2], r[3], r[4], r[5]);
            std::printf("share=%.6f masked=%.6f\n", share, filter.maskedSurface);
        } else if (o.adjust) {
            filter.PicProcessing(o.negative, o.light, o.contrast, o.gamma, o.color);
        }
        for (auto [x, y] : o.probes)
            std::printf("%d %d %d\n", filter.comp_R(x, y), filter.comp_G(x, y), filter.comp_B(x, y));
        std::fflush(stdout);
        filter.display_result(box);
    } catch (const std::bad_alloc&) {
        line(stderr, QStringLiteral("picfilter: %1")
                         .arg(QString::fromStdString(core::file_reason(o.input.toStdString(), core::kNoMemory))));
        return 1;
    } catch (const filter::Refused& e) {
        // A mask or probe that does not fit this picture (a coordinate too large for it).
        line(stderr, QStringLiteral("picfilter: %1").arg(QString::fromStdString(e.what())));
        return 2;
    }
    if (o.output.isEmpty()) return 0;
    core::Result<> written;
    {
        StderrSilenced silenced;
        written = write_output(o.output, box.image);
    }
    if (!written) {
        line(stderr, QStringLiteral("picfilter: %1").arg(written.error().reason_as<QString>()));
        return 1;
    }
    return 0;
}
