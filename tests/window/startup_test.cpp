// Start-up: the command line's fields, the start-up values, and what the
// window shows (or asks) before it opens.
#include "window_fixture.h"

#include <QDir>

#include "paths.h"

namespace {

using StartupTest = WindowTest;

TEST_F(StartupTest, EmptyCommandLineUsesTheProgramFolderAndShowsNothing) {
    auto w = open_window(QString());
    EXPECT_EQ(w->image_path, program_folder + kFolderSeparator);
    EXPECT_EQ(w->image_filename, QStringLiteral("9999999.jpg"));
    EXPECT_EQ(w->load_path, program_folder);
    EXPECT_TRUE(log->open_calls.empty());
    EXPECT_TRUE(log->messages.empty());
    EXPECT_TRUE(w->PBox.image.isNull());
    EXPECT_EQ(w->fields.size(), 101u);
    EXPECT_DOUBLE_EQ(w->zoom_factor, 1.0);
    EXPECT_FALSE(w->filter);  // created only when a picture arrives
}

TEST_F(StartupTest, PresentFileIsShownAndSplitIntoFolderAndName) {
    QDir().mkpath(path("img"));
    const QString record = save(two_tone(120, 60, qRgb(255, 0, 0), qRgb(0, 0, 255)), "img/123.jpg", "PNG");
    auto w = open_window(record);
    EXPECT_EQ(w->image_path, path("img") + kFolderSeparator);
    EXPECT_EQ(w->image_filename, QStringLiteral("123.jpg"));
    EXPECT_EQ(w->record_file(), record);
    EXPECT_EQ(w->load_path, program_folder);
    EXPECT_TRUE(log->open_calls.empty());
    ASSERT_FALSE(w->PBox.image.isNull());
    EXPECT_EQ(w->PBox.image.size(), QSize(120, 60));
    ASSERT_TRUE(w->filter);
    EXPECT_TRUE(w->filter->initialized);
    // Shown as decoded: the pipeline has not run.
    EXPECT_EQ(w->pipeline_runs(), 0u);
    show(*w);
    // Left half red, right half blue, in the view.
    EXPECT_EQ(screen_pixel(*w, w->view_left + w->view_width / 4, w->view_top + w->view_height / 2), qRgb(255, 0, 0));
    EXPECT_EQ(screen_pixel(*w, w->view_left + 3 * w->view_width / 4, w->view_top + w->view_height / 2),
              qRgb(0, 0, 255));
}

TEST_F(StartupTest, SecondFieldIsTheDialogFolderAndLaterFieldsAreIgnored) {
    const QString record = save(uniform(40, 30, qRgb(9, 9, 9)), "a.jpg", "PNG");
    auto w = open_window(record + ";" + path("photos") + ";" + path("ignored") + ";x");
    EXPECT_EQ(w->load_path, path("photos"));
    EXPECT_EQ(w->record_file(), record);
    EXPECT_EQ(w->fields[2], path("ignored"));  // kept in the table, read by nothing
    w->select_image->click();
    ASSERT_EQ(log->open_calls.size(), 1u);
    EXPECT_EQ(log->open_calls[0].folder, path("photos"));
}

TEST_F(StartupTest, LeadingSeparatorGivesDefaultsAndTheFolder) {
    auto w = open_window(";" + path("photos"));
    EXPECT_EQ(w->image_path, program_folder + kFolderSeparator);
    EXPECT_EQ(w->image_filename, QStringLiteral("9999999.jpg"));
    EXPECT_EQ(w->load_path, path("photos"));
    EXPECT_TRUE(log->open_calls.empty());
    EXPECT_TRUE(w->PBox.image.isNull());
}

TEST_F(StartupTest, MissingFileRunsTheOpenDialogFirstAndCopiesTheChoice) {
    const QString chosen = save(uniform(50, 40, qRgb(0, 200, 0)), "chosen.png", "PNG");
    const QString record = path("records/555.jpg");
    QDir().mkpath(path("records"));
    log->answers = {chosen};
    auto w = open_window(record + ";" + path("photos"));
    ASSERT_EQ(log->open_calls.size(), 1u);
    // That first dialog comes before the folder field is read.
    EXPECT_TRUE(log->open_calls[0].folder.isEmpty());
    EXPECT_EQ(log->open_calls[0].title, QStringLiteral("Selection image"));
    EXPECT_EQ(log->open_calls[0].filter, QStringLiteral("JPEG|*.jpg|Bitmap|*.BMP|Tous|*.*"));
    EXPECT_TRUE(log->open_calls[0].default_name.isEmpty());
    EXPECT_EQ(file_bytes(record), file_bytes(chosen));
    EXPECT_EQ(w->PBox.image.size(), QSize(50, 40));
    EXPECT_EQ(w->load_path, path("photos"));
    EXPECT_TRUE(log->messages.empty());
}

TEST_F(StartupTest, MissingFileAndCancelOpensEmptyAndKeepsTheName) {
    const QString record = path("records/777.jpg");
    auto w = open_window(record);
    EXPECT_EQ(log->open_calls.size(), 1u);
    EXPECT_TRUE(w->PBox.image.isNull());
    EXPECT_EQ(w->record_file(), record);
    EXPECT_FALSE(QFile::exists(record));
    EXPECT_TRUE(log->messages.empty());
    show(*w);  // an empty view paints without trouble
    EXPECT_EQ(view_centre(*w), qRgb(192, 192, 255));
}

TEST_F(StartupTest, BareNameIsLookedForInTheCurrentFolder) {
    save(uniform(30, 20, qRgb(1, 2, 3)), "bare.jpg", "PNG");
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    auto w = open_window(QStringLiteral("bare.jpg"));
    QDir::setCurrent(before);
    EXPECT_TRUE(w->image_path.isEmpty());
    EXPECT_EQ(w->image_filename, QStringLiteral("bare.jpg"));
    EXPECT_EQ(w->PBox.image.size(), QSize(30, 20));
    EXPECT_TRUE(log->open_calls.empty());
}

TEST_F(StartupTest, BlanksInThePathArePartOfIt) {
    QDir().mkpath(path("my pictures"));
    const QString record = save(uniform(20, 20, qRgb(5, 5, 5)), "my pictures/1 2.jpg", "PNG");
    auto w = open_window(record);
    EXPECT_EQ(w->image_filename, QStringLiteral("1 2.jpg"));
    EXPECT_EQ(w->PBox.image.size(), QSize(20, 20));
}

TEST_F(StartupTest, RecordThatIsNotAPictureOpensEmptyWithTheLoadError) {
    const QString record = path("broken.jpg");
    ASSERT_TRUE(write_bytes(record, "not a picture at all"));
    auto w = open_window(record);
    ASSERT_EQ(log->messages.size(), 1u);
    EXPECT_TRUE(log->messages[0].startsWith(QStringLiteral("error_load_pic: "))) << log->messages[0].toStdString();
    EXPECT_GT(log->messages[0].size(), 16);  // a reason follows the prefix
    EXPECT_TRUE(log->open_calls.empty());
    EXPECT_TRUE(w->PBox.image.isNull());
    EXPECT_EQ(file_bytes(record), QByteArray("not a picture at all"));
}

}  // namespace
