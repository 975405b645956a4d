// Short of memory, the window never crashes or hangs: under address-space
// limits around what start-up, an adjustment, "Net" and a save need, each run
// ends with the window working (at most one message about memory) or with a
// clean exit and one line; the record's file is the old one or a whole new
// picture.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest/QTest>
#include <cstdio>
#include <fstream>
#include <string>

#include "picture_loader.h"
#include "selection_image.h"
#include "address_space.h"
#include "lean_address_space.h"
#include "test_files.h"
#include "window_driver.h"

namespace {

long peak_address_space() {
    std::ifstream status("/proc/self/status");
    for (std::string key; status >> key;) {
        if (key == "VmPeak:") {
            long kb = 0;
            status >> kb;
            return kb * 1024;
        }
    }
    return 0;
}

// The child: the window on MEMORY_RECORD under MEMORY_LIMIT bytes, doing the
// first MEMORY_STEPS of start-up, an adjustment, "Net" and a save, printing
// each message box it answers and its peak after each step.
TEST(MemoryChild, Steps) {
    const char* steps_text = std::getenv("MEMORY_STEPS");
    if (!steps_text) GTEST_SKIP() << "run by MemoryPressure";
    const int steps = std::atoi(steps_text);
    core::keep_address_space_lean();  // as the program does first
    if (const long limit = std::atol(std::getenv("MEMORY_LIMIT"))) {
        const rlimit cap{rlim_t(limit), rlim_t(limit)};
        setrlimit(RLIMIT_AS, &cap);
    }
    // As the program's own entry point does: too little to start, or out of
    // memory where no operation catches it, a clean end and one line.
    if (auto room = core::room_to_start(); !room) {
        std::fprintf(stderr, "%s\n", room.error().reason().c_str());
        std::exit(1);
    }
    try {
        static int argc = 1;
        static char name[] = "xcb_tests", *argv[] = {name, nullptr};
        QApplication app(argc, argv);
        QTimer answers;  // the real boxes, answered as a user would
        answers.callOnTimeout([] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                std::printf("box %s\n", box->text().toUtf8().constData());
                std::fflush(stdout);
                QTest::keyClick(box, Qt::Key_Return);
            }
        });
        answers.start(10);
        const QString record = QString::fromLocal8Bit(std::getenv("MEMORY_RECORD"));
        app::selection_image w(record, "/", app::system_dialogs());
        app::WindowDriver d(w);
        w.show();
        (void)QTest::qWaitForWindowExposed(&w);
        QTest::qWait(50);
        auto done = [](int step) { std::printf("peak %d %ld\n", step, peak_address_space()), std::fflush(stdout); };
        done(1);
        if (steps >= 2) d.control<QScrollBar>("scrollLight")->setValue(20), QTest::qWait(20), done(2);
        if (steps >= 3) QTest::mouseClick(d.control<QPushButton>("Cmd_deconvolution"), Qt::LeftButton), done(3);
        if (steps >= 4) QTest::mouseClick(d.control<QPushButton>("cmdSave"), Qt::LeftButton), done(4);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "mémoire insuffisante\n");
        std::exit(1);
    }
}

struct Ended {
    bool ended = false;  // on its own, within the time given
    int status = -1;     // exit status, or -1 after a signal
    std::string out, err;
};

// Runs `argv` with `env` added, for at most `seconds`; a run still going then is killed.
Ended run(const QStringList& argv, const QStringList& env, int seconds) {
    QProcess p;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& e : env) environment.insert(e.section('=', 0, 0), e.section('=', 1));
    p.setProcessEnvironment(environment);
    p.start(argv[0], argv.mid(1));
    Ended r;
    r.ended = p.waitForFinished(seconds * 1000);
    if (!r.ended) p.kill(), p.waitForFinished();
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString(), r.err = p.readAllStandardError().toStdString();
    return r;
}

std::string outcome(const Ended& r) {
    return !r.ended ? "still running" : r.status < 0 ? "signal" : "exit " + std::to_string(r.status);
}

std::vector<std::string> lines_starting(const std::string& text, const std::string& start) {
    std::vector<std::string> found;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        if (text.compare(at, start.size(), start) == 0)
            found.push_back(text.substr(at + start.size(), end - at - start.size()));
        at = end + 1;
    }
    return found;
}

TEST(MemoryPressure, NoCrashNoHangAtAnyLimit) {
    QTemporaryDir dir;
    const QString record = dir.filePath("1.jpg");
    QImage picture(3000, 2000, QImage::Format_RGB32);
    for (int i = 0; i < 3000 * 2000; ++i) picture.setPixel(i % 3000, i / 3000, qRgb(i % 251, i / 3000 % 241, i % 255));
    ASSERT_TRUE(picture.save(record, "JPG"));
    const QByteArray before = file_bytes(record);
    // The program itself, from its first instant (the record decoded on a
    // thread of its own, the window's library loaded), to its first frame,
    // under limits around the memory it uses (its address space holds much
    // that is never used). Its run comes first, so that the children's peak
    // resident size is its own.
    const QStringList program{SELECTION_IMAGE_BIN, record}, first_frame{"SELECTION_IMAGE_QUIT_AFTER_FIRST_FRAME=1"};
    ASSERT_TRUE(run(program, first_frame, 20).ended);
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    const long startup = children.ru_maxrss * 1024;
    auto child = [&](int steps, long limit) {
        return run({QFile::symLinkTarget("/proc/self/exe"), "--gtest_filter=MemoryChild.*"},
                   {QStringLiteral("MEMORY_STEPS=%1").arg(steps), QStringLiteral("MEMORY_LIMIT=%1").arg(limit),
                    "MEMORY_RECORD=" + record},
                   20);
    };
    const Ended unlimited = child(4, 0);
    const auto peaks = lines_starting(unlimited.out, "peak ");
    ASSERT_TRUE(unlimited.ended && unlimited.status == 0 && peaks.size() == 4) << unlimited.out << unlimited.err;
    for (const double share : {0.6, 0.7, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5}) {
        const long limit = long(startup * share);
        SCOPED_TRACE(testing::Message() << "program at " << share << " x " << startup);
        const Ended r =
            run(QStringList{"/usr/bin/prlimit", QStringLiteral("--as=%1").arg(limit), "--"} + program, first_frame, 20);
        std::printf("program at %.2f x start-up: %s, stderr: %s", share, outcome(r).c_str(),
                    r.err.empty() ? "\n" : r.err.c_str());
        ASSERT_TRUE(r.ended) << r.out << r.err;
        EXPECT_TRUE(r.status == 0 ? r.out.starts_with("first frame ") : r.status == 1) << r.out << r.err;
        EXPECT_LE(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    for (const std::string& peak : peaks) {
        const int step = std::stoi(peak);
        const long top = std::stol(peak.substr(2));
        for (const double share : {0.6, 0.7, 0.8, 0.9, 0.95, 1.0, 1.1, 1.5}) {
            const long limit = long(top * share);
            SCOPED_TRACE(testing::Message() << "step " << step << " at " << share << " x " << top);
            const Ended r = child(step, limit);
            std::printf("step %d at %.2f x its peak: %s, %zu box(es)\n", step, share, outcome(r).c_str(),
                        lines_starting(r.out, "box ").size());
            EXPECT_TRUE(r.ended) << "still running: " << r.out << r.err;
            // Each step says at most once that memory ran short.
            int about_memory = 0;
            for (const std::string& line : lines_starting(r.out, "")) {
                if (line.starts_with("peak ")) about_memory = 0;
                about_memory += line.starts_with("box ") && line.find("émoire insuffisante") != std::string::npos;
                EXPECT_LE(about_memory, 1) << r.out;
            }
            if (r.status != 0) {
                EXPECT_EQ(r.status, 1) << "ended by a signal or an error: " << r.out << r.err;
                EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            }
            const QByteArray now = file_bytes(record);
            EXPECT_TRUE(now == before || sources::decode_picture(now)) << "the record is neither old nor whole";
        }
    }
}

}  // namespace
