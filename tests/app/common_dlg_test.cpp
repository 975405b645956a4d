// Start-up: the command line, the file test, and the Qt-free program that decodes the record early.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "CommonDlg_API.h"
#include "early_picture.h"

namespace {

// The command line's fields are split as the window starts; the folder of a record:
TEST(SplitFields, TheRecordsFolderEndsAtItsLastSlash) {
    const std::pair<const char*, const char*> folders[] = {
        {"123.jpg", ""}, {"/img/", "/img/"}, {"//srv/sh/a b.jpg", "//srv/sh/"}, {"img\\123.jpg", ""}};
    for (const auto& [path, folder] : folders) EXPECT_EQ(app::get_folder(path), folder) << path;
}

// Root reads any file, so a child checks as an ordinary user (and ends should a check block).
TEST(FileExists, OnlyAFileThatCanBeOpenedForReadingCounts) {
    QTemporaryDir dir;
    const QString d = dir.path() + '/';
    for (const char* name : {"empty.jpg", "a b é.jpg", "locked.jpg"})
        ASSERT_TRUE(QFile(d + name).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::setPermissions(d + "locked.jpg", QFileDevice::WriteOwner));
    ASSERT_EQ(::mkfifo(QFile::encodeName(d + "pipe.jpg").constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(d + "gone.jpg", d + "dangling.jpg") && QDir().mkdir(d + "folder"));
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0711), 0);
    const std::pair<QString, bool> rows[] = {{d + "empty.jpg", true},    {d + "a b é.jpg", true},
                                             {QString(), false},         {d + "folder", false},
                                             {d + "pipe.jpg", true},  // without a writer: opened, not waited on
                                             {d + "missing.jpg", false}, {d + "dangling.jpg", false},
                                             {d + "locked.jpg", false},  {d + "empty.jpg/a.jpg", false}};
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(10);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(1);
        for (std::size_t i = 0; i < std::size(rows); ++i)
            if (app::file_exists(rows[i].first) != rows[i].second) ::_exit(static_cast<int>(10 + i));
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "file_exists blocked";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10 + the row answered wrong, or 1: no ordinary user to run as";
}

TEST(ProgramStart, FirstFrameShowsTheRecordWhicheverSideDecodedIt) {
    QTemporaryDir dir;
    QImage picture(640, 480, QImage::Format_RGB32);
    picture.fill(qRgb(200, 40, 90));
    // A host may split the argument string at blanks; a bitmap is left to the window's own loading.
    for (const char* format : {"JPG", "BMP"}) {
        const QString record = dir.filePath(QStringLiteral("my record %1.jpg").arg(format));
        ASSERT_TRUE(picture.save(record, format, 95));
        QProcess p;
        p.setEnvironment(QProcess::systemEnvironment() << "SELECTION_IMAGE_SCREENSHOT=" + record + ".png"
                                                       << "SELECTION_IMAGE_QUIT_AFTER_FIRST_FRAME=1");
        p.start(SELECTION_IMAGE_BIN, (record + ";/tmp").split(' '));
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        const QRgb c = QImage(record + ".png").pixel(100, 150);  // inside the view, from (8, 64)
        EXPECT_LE(std::abs(qRed(c) - 200) + std::abs(qGreen(c) - 40) + std::abs(qBlue(c) - 90), 6) << format;
    }
    ASSERT_TRUE(QFile::copy(SELECTION_IMAGE_BIN, dir.filePath("alone")));  // without the window's library
    EXPECT_EQ(QProcess::execute(dir.filePath("alone"), {}), 1);
    const char* args[] = {"selection_image", "/a/my", "record.jpg;/photos", "x"};
    EXPECT_EQ(app::record_argument(4, const_cast<char**>(args)), "/a/my record.jpg");
}

}  // namespace
