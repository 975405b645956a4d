// The batch tool as its users run it: the real program, its exit status, its
// one line on stderr, and the files it leaves behind.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <random>

#include "picture_helpers.h"
#include "picture_loader.h"
#include "reference_filter.h"
#include "tool_run.h"

namespace {

class Picfilter : public testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name) const { return dir.filePath(name); }

    QString picture(const QString& name, const QImage& img, const char* format) {
        QByteArray bytes;
        QBuffer b(&bytes);
        b.open(QIODevice::WriteOnly);
        EXPECT_TRUE(img.save(&b, format));
        write_all(path(name), bytes);
        return path(name);
    }

    QString small_png() {
        std::mt19937 rng(7);
        return picture("in.png", to_image(random_picture(23, 17, rng)), "PNG");
    }
};

// Bad usage: exit 2 and one line naming the option and what it takes; no
// OUTPUT is written.
struct Usage {
    std::vector<const char*> args;  // "IN" and "OUT" stand for real paths
    std::vector<const char*> words;  // the line must contain each
};

class BadUsage : public Picfilter, public testing::WithParamInterface<Usage> {};

TEST_P(BadUsage, ExitsTwoWithOneLine) {
    const QString in = small_png();
    QStringList args;
    for (const char* a : GetParam().args) {
        const QString s = QString::fromUtf8(a);
        args << (s == "IN" ? in : s.startsWith("OUT") ? path(s.mid(3).prepend("out")) : s);
    }
    const ToolRun r = picfilter(args);
    EXPECT_EQ(r.exit_code, 2) << r.err.toStdString();
    ASSERT_EQ(r.err_lines().size(), 1) << r.err.toStdString();
    for (const char* w : GetParam().words) EXPECT_TRUE(r.err.contains(QString::fromUtf8(w))) << r.err.toStdString() << " lacks " << w;
    EXPECT_TRUE(r.out.isEmpty());
    for (const char* name : {"out.png", "out.gif", "out"}) EXPECT_FALSE(QFile::exists(path(name)));
}

INSTANTIATE_TEST_SUITE_P(
    Options, BadUsage,
    testing::Values(Usage{{"--bogus", "IN", "OUT.png"}, {"--bogus"}},
                    Usage{{"-x", "IN", "OUT.png"}, {"-x"}},
                    Usage{{"--net", "-1", "IN", "OUT.png"}, {"--net", "0 to 100", "-1"}},
                    Usage{{"--net", "101", "IN", "OUT.png"}, {"--net", "0 to 100"}},
                    Usage{{"--light", "-51", "IN", "OUT.png"}, {"--light", "-50 to 50"}},
                    Usage{{"--light", "51", "IN", "OUT.png"}, {"--light", "-50 to 50"}},
                    Usage{{"--contrast", "-51", "IN", "OUT.png"}, {"--contrast", "-50 to 50"}},
                    Usage{{"--contrast", "51", "IN", "OUT.png"}, {"--contrast", "-50 to 50"}},
                    Usage{{"--gamma", "0", "IN", "OUT.png"}, {"--gamma", "1 to 254"}},
                    Usage{{"--gamma", "255", "IN", "OUT.png"}, {"--gamma", "1 to 254"}},
                    Usage{{"--color", "-1", "IN", "OUT.png"}, {"--color", "0 to 20"}},
                    Usage{{"--color", "21", "IN", "OUT.png"}, {"--color", "0 to 20"}},
                    Usage{{"--gamma", "1.5", "IN", "OUT.png"}, {"--gamma", "1 to 254"}},
                    Usage{{"--light", "ten", "IN", "OUT.png"}, {"--light", "-50 to 50"}},
                    Usage{{"--net", "99999999999999999999", "IN", "OUT.png"}, {"--net", "0 to 100"}},
                    Usage{{"IN", "OUT.png", "--net"}, {"--net", "0 to 100"}},
                    Usage{{"IN"}, {"INPUT and OUTPUT"}},
                    Usage{{}, {"INPUT and OUTPUT"}},
                    Usage{{"IN", "OUT.png", "OUT.bmp"}, {"INPUT and OUTPUT"}},
                    Usage{{"IN", "OUT.gif"}, {"OUTPUT", ".bmp", ".png", ".jpg"}},
                    Usage{{"IN", "OUT"}, {"OUTPUT", ".bmp"}}));

TEST_F(Picfilter, RangeEndsAreAccepted) {
    const QString in = small_png();
    for (const QStringList& opts :
         {QStringList{"--net", "0", "--light", "-50", "--contrast", "-50", "--gamma", "1", "--color", "0"},
          QStringList{"--net", "2", "--light", "50", "--contrast", "50", "--gamma", "254", "--color", "20"}}) {
        const ToolRun r = picfilter(opts + QStringList{in, path("ends.png")});
        EXPECT_EQ(r.exit_code, 0) << opts.join(' ').toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    }
}

// File problems: exit 1, one line naming the file and the reason, nothing
// else on stderr, and an existing OUTPUT left exactly as it was.
struct FileProblem {
    const char* name;
    const char* reason;  // a word of the reason
};

std::ostream& operator<<(std::ostream& os, const FileProblem& f) { return os << f.name; }

class BadInput : public Picfilter, public testing::WithParamInterface<FileProblem> {
protected:
    QString make_input(const std::string& kind) {
        std::mt19937 rng(3);
        const QImage img = to_image(random_picture(64, 48, rng));
        if (kind == "missing") return path("nowhere.jpg");
        if (kind == "zero") {
            write_all(path("zero.jpg"), {});
            return path("zero.jpg");
        }
        if (kind == "text") {
            write_all(path("text.jpg"), "hello, this is not a picture\n");
            return path("text.jpg");
        }
        if (kind == "folder") return dir.path();
        const QString whole = picture(kind == "cutpng" ? "whole.png" : "whole.jpg", img, kind == "cutpng" ? "PNG" : "JPG");
        const QByteArray bytes = read_all(whole);
        const QString cut = path(kind == "cutpng" ? "cut.png" : "cut.jpg");
        write_all(cut, bytes.left(bytes.size() * 2 / 3));
        return cut;
    }
};

TEST_P(BadInput, ExitsOneAndLeavesOutputAlone) {
    const QString in = make_input(GetParam().name);
    for (const QString& existing : {QString(), QStringLiteral("previous content")}) {
        const QString out = path("out.png");
        QFile::remove(out);
        if (!existing.isNull()) write_all(out, existing.toUtf8());
        const ToolRun r = picfilter({"--net", "1", in, out});
        EXPECT_EQ(r.exit_code, 1) << r.err.toStdString();
        ASSERT_EQ(r.err_lines().size(), 1) << r.err.toStdString();
        const QString line = r.err_lines().front();
        EXPECT_TRUE(line.startsWith("picfilter: ")) << line.toStdString();
        EXPECT_TRUE(line.contains(in)) << line.toStdString();
        EXPECT_TRUE(line.contains(QString::fromUtf8(GetParam().reason))) << line.toStdString();
        if (existing.isNull()) EXPECT_FALSE(QFile::exists(out));
        else EXPECT_EQ(read_all(out), existing.toUtf8());
    }
}

INSTANTIATE_TEST_SUITE_P(Files, BadInput,
                         testing::Values(FileProblem{"missing", "introuvable"}, FileProblem{"zero", "vide"},
                                         FileProblem{"text", "non reconnu"}, FileProblem{"folder", "dossier"},
                                         FileProblem{"cutjpeg", "tronqué"}, FileProblem{"cutpng", "illisible"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Picfilter, UnwritableOutputFolderExitsOne) {
    const QString in = small_png();
    write_all(path("plain"), "a regular file, not a folder");
    for (const char* ext : {"png", "bmp", "jpg"}) {
        const QString out = path("plain/out.") + ext;
        const ToolRun r = picfilter({in, out});
        EXPECT_EQ(r.exit_code, 1) << ext;
        ASSERT_EQ(r.err_lines().size(), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(out)) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("Not a directory")) << r.err.toStdString();
    }
    EXPECT_EQ(read_all(path("plain")), QByteArray("a regular file, not a folder"));
}

TEST_F(Picfilter, HelpAndVersion) {
    const ToolRun help = picfilter({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_TRUE(help.out.startsWith("usage: picfilter")) << help.out.toStdString();
    for (const char* opt : {"--net", "--negative", "--light", "--contrast", "--gamma", "--color", "--no-adjust"})
        EXPECT_TRUE(help.out.contains(opt)) << opt;
    EXPECT_TRUE(help.err.isEmpty());
    const ToolRun version = picfilter({"--version"});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_TRUE(version.out.startsWith("picfilter ")) << version.out.toStdString();
    EXPECT_TRUE(version.err.isEmpty());
}

TEST_F(Picfilter, UnadjustedPngRoundTripsExactly) {
    std::mt19937 rng(11);
    const QImage src = to_image(random_picture(37, 29, rng));
    const QString in = picture("exact.png", src, "PNG");
    const ToolRun r = picfilter({"--no-adjust", "--net", "0", in, path("copy.png")});
    ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty());
    const QImage back = QImage(path("copy.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(back.size(), src.size());
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x)
            ASSERT_EQ(back.pixel(x, y) & 0xFFFFFFu, src.pixel(x, y) & 0xFFFFFFu) << x << "," << y;
}

TEST_F(Picfilter, EachOutputFormatDecodes) {
    const QString in = small_png();
    for (const char* ext : {"bmp", "png", "jpg", "jpeg", "PNG"}) {
        const QString out = path("each.") + ext;
        const ToolRun r = picfilter({"--light", "5", in, out});
        ASSERT_EQ(r.exit_code, 0) << ext << ": " << r.err.toStdString();
        QString error;
        const QImage img = sources::load_picture(out, &error);
        EXPECT_FALSE(img.isNull()) << ext << ": " << error.toStdString();
        EXPECT_EQ(img.size(), QSize(23, 17)) << ext;
    }
    const QByteArray bmp = read_all(path("each.bmp"));
    ASSERT_GT(bmp.size(), 30);
    EXPECT_EQ(bmp.left(2), QByteArray("BM"));
    EXPECT_EQ(static_cast<unsigned char>(bmp[28]) | static_cast<unsigned char>(bmp[29]) << 8, 24) << "bits per pixel";
    EXPECT_EQ(read_all(path("each.jpg")).left(3), QByteArray("\xFF\xD8\xFF"));
}

// The tool runs the same pipeline as the window: its output is what the
// plain reference loops give for the same settings.
struct Settings {
    int net;
    bool negative;
    int light, contrast, gamma, color;
};

std::ostream& operator<<(std::ostream& os, const Settings& s) {
    return os << "net " << s.net << (s.negative ? " negative" : "") << " light " << s.light << " contrast "
              << s.contrast << " gamma " << s.gamma << " color " << s.color;
}

class SameAsEngine : public Picfilter, public testing::WithParamInterface<Settings> {};

TEST_P(SameAsEngine, OutputEqualsReference) {
    const Settings s = GetParam();
    std::mt19937 rng(99);
    RefPicture ref = random_picture(41, 33, rng);
    const QString in = picture("engine.png", to_image(ref), "PNG");
    for (std::size_t i = 3; i < ref.px.size(); i += 4) ref.px[i] = 0xFF;  // as decoded from the PNG
    QStringList args{"--net", QString::number(s.net), "--light", QString::number(s.light), "--contrast",
                     QString::number(s.contrast), "--gamma", QString::number(s.gamma), "--color",
                     QString::number(s.color)};
    if (s.negative) args << "--negative";
    const ToolRun r = picfilter(args + QStringList{in, path("engine_out.png")});
    ASSERT_EQ(r.exit_code, 0) << r.err.toStdString();
    for (int i = 0; i < s.net; ++i) ref = reference_deconvolution(ref);
    const RefPicture want = reference_processing(ref, s.negative, s.light, s.contrast, s.gamma, s.color);
    const QImage got = QImage(path("engine_out.png")).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(got.size(), QSize(want.w, want.h));
    const QImage expected = to_image(want);
    int differing = 0;
    for (int y = 0; y < want.h; ++y)
        for (int x = 0; x < want.w; ++x)
            differing += (got.pixel(x, y) & 0xFFFFFFu) != (expected.pixel(x, y) & 0xFFFFFFu);
    EXPECT_EQ(differing, 0) << "of " << want.w * want.h << " pixels";
}

INSTANTIATE_TEST_SUITE_P(Settings, SameAsEngine,
                         testing::Values(Settings{0, false, 0, 0, 127, 0}, Settings{0, true, 12, -7, 90, 0},
                                         Settings{0, false, -30, 40, 200, 5}, Settings{1, false, 0, 0, 127, 0},
                                         Settings{2, true, 20, 10, 60, 20}));

}  // namespace
