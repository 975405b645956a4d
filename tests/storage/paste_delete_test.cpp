// Paste from the clipboard and deletion of the record's file.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QClipboard>
#include <QMimeData>
#include <QTemporaryDir>
#include <memory>

#include "delete_flow.h"
#include "paste_flow.h"
#include "picture_loader.h"
#include "staging_file.h"
#include "storage_support.h"

using namespace storage_test;

namespace {

class PasteFlow : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString record = dir.filePath("123.jpg");
    QString staging = dir.filePath("tmp.bmp");
    ScriptedDialogs answers;
    std::vector<QImage> shown;

    sources::PasteResult paste(const QMimeData* data) {
        return sources::paste_flow(data, record, [this](const QImage& p) { shown.push_back(p); }, answers.dialogs(),
                                   staging);
    }
};

QByteArray png_bytes(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

struct NoPicture {
    const char* name;
    std::function<std::unique_ptr<QMimeData>()> make;  // null result: no mime data at all
};

void PrintTo(const NoPicture& c, std::ostream* os) { *os << c.name; }

class PasteWithoutPicture : public PasteFlow, public ::testing::WithParamInterface<NoPicture> {};

TEST_P(PasteWithoutPicture, SaysSoAndChangesNothing) {
    ASSERT_TRUE(write_bytes(record, "the record"));
    ASSERT_TRUE(write_bytes(staging, "older staging"));
    const auto times = std::pair{mtime_ns(record), mtime_ns(staging)};
    const auto data = GetParam().make();
    const auto result = paste(data.get());
    EXPECT_FALSE(result.pasted);
    EXPECT_EQ(answers.informed, QStringList{sources::kNoClipboardImage});
    EXPECT_TRUE(answers.errors.isEmpty());
    EXPECT_TRUE(answers.questions.isEmpty());
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(read_all(record), "the record");
    EXPECT_EQ(read_all(staging), "older staging");
    EXPECT_EQ((std::pair{mtime_ns(record), mtime_ns(staging)}), times);
}

INSTANTIATE_TEST_SUITE_P(
    Clipboards, PasteWithoutPicture,
    ::testing::Values(NoPicture{"no_mime_data", [] { return std::unique_ptr<QMimeData>(); }},
                      NoPicture{"empty", [] { return std::make_unique<QMimeData>(); }},
                      NoPicture{"text_only",
                                [] {
                                    auto d = std::make_unique<QMimeData>();
                                    d->setText("C:\\img\\123.jpg");
                                    d->setHtml("<img src=\"x.png\">");
                                    return d;
                                }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PasteFlow, PictureIsShownAndStoredAtOnceWithoutAQuestion) {
    const QImage picture = smooth_picture(120, 90, 3);
    QMimeData data;
    data.setImageData(picture);
    const auto result = paste(&data);
    EXPECT_TRUE(result.pasted);
    EXPECT_TRUE(result.stored);
    EXPECT_TRUE(answers.questions.isEmpty());
    EXPECT_TRUE(answers.errors.isEmpty());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].format(), QImage::Format_RGB32);
    EXPECT_EQ(mean_abs_diff(shown[0], picture), 0.0);
    EXPECT_LT(mean_abs_diff(decode(record), picture), 3.0) << "a missing record is created";
    EXPECT_TRUE(sources::staged_bitmap_complete(staging, 120, 90)) << "the staging file stays";

    // A second paste replaces the record again, still without a question.
    const QImage second = smooth_picture(80, 60, 9);
    data.setImageData(second);
    EXPECT_TRUE(paste(&data).stored);
    EXPECT_TRUE(answers.questions.isEmpty());
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_LT(mean_abs_diff(decode(record), second), 3.0);
}

struct Offered {
    const char* name;
    std::function<void(QMimeData&, const QImage&)> put;
};

void PrintTo(const Offered& c, std::ostream* os) { *os << c.name; }

class PasteTransparent : public PasteFlow, public ::testing::WithParamInterface<Offered> {};

TEST_P(PasteTransparent, TransparentPixelsBecomeWhite) {
    QImage picture(64, 64, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) picture.setPixel(x, y, qRgba(20, 120, 200, 255));
    QMimeData data;
    GetParam().put(data, picture);
    ASSERT_TRUE(paste(&data).stored) << (answers.errors.isEmpty() ? "" : answers.errors[0].toStdString());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].pixel(10, 50), qRgb(255, 255, 255));
    EXPECT_EQ(shown[0].pixel(10, 10), qRgb(20, 120, 200));
    const QImage stored = decode(record);
    ASSERT_FALSE(stored.isNull());
    EXPECT_GT(qGray(stored.pixel(10, 50)), 245);
    EXPECT_LT(qRed(stored.pixel(10, 10)), 40);
}

INSTANTIATE_TEST_SUITE_P(
    Offers, PasteTransparent,
    ::testing::Values(Offered{"qt_image", [](QMimeData& d, const QImage& p) { d.setImageData(p); }},
                      Offered{"png_bytes_only",
                              [](QMimeData& d, const QImage& p) { d.setData("image/png", png_bytes(p)); }},
                      Offered{"unreadable_format_then_png",
                              [](QMimeData& d, const QImage& p) {
                                  d.setData("image/x-unknown", "not a picture");
                                  d.setData("image/png", png_bytes(p));
                              }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PasteFlow, UnreadablePictureIsReportedAndNothingChanges) {
    ASSERT_TRUE(write_bytes(record, "the record"));
    QMimeData data;
    data.setData("image/png", "\x89PNG broken");
    const auto result = paste(&data);
    EXPECT_FALSE(result.pasted);
    EXPECT_TRUE(shown.empty());
    ASSERT_EQ(answers.errors.size(), 1);
    EXPECT_TRUE(answers.errors[0].startsWith(sources::kLoadErrorPrefix));
    EXPECT_TRUE(answers.informed.isEmpty());
    EXPECT_EQ(read_all(record), "the record");
}

TEST_F(PasteFlow, StoreFailureIsReportedButThePictureIsStillShown) {
    write_bytes(dir.filePath("plain"), "x");
    record = dir.filePath("plain/123.jpg");
    QMimeData data;
    data.setImageData(smooth_picture(30, 30, 1));
    const auto result = paste(&data);
    EXPECT_TRUE(result.pasted);
    EXPECT_FALSE(result.stored);
    EXPECT_EQ(shown.size(), 1u);
    ASSERT_EQ(answers.errors.size(), 1);
    EXPECT_TRUE(answers.errors[0].startsWith(sources::kLoadErrorPrefix));
    EXPECT_TRUE(answers.errors[0].contains("Not a directory")) << answers.errors[0].toStdString();
}

TEST_F(PasteFlow, SystemClipboardOfTheRunningApplication) {
    QClipboard* clipboard = gui_app()->clipboard();
    ASSERT_NE(clipboard, nullptr);
    clipboard->clear();
    paste(clipboard->mimeData());
    EXPECT_EQ(answers.informed, QStringList{sources::kNoClipboardImage});

    clipboard->setText("du texte");
    paste(clipboard->mimeData());
    EXPECT_EQ(answers.informed.size(), 2);
    EXPECT_FALSE(QFile::exists(record));

    const QImage picture = smooth_picture(70, 50, 4);
    clipboard->setImage(picture);
    EXPECT_TRUE(paste(clipboard->mimeData()).stored);
    EXPECT_LT(mean_abs_diff(decode(record), picture), 3.0);
    EXPECT_TRUE(answers.errors.isEmpty());
}

struct DeleteCase {
    const char* name;
    bool file_there;
    bool answer;
    bool closes;
    bool file_after;
};

void PrintTo(const DeleteCase& c, std::ostream* os) { *os << c.name; }

class DeleteFlow : public ::testing::TestWithParam<DeleteCase> {};

TEST_P(DeleteFlow, AsksThenDeletesAndClosesOnYesOnly) {
    const DeleteCase& c = GetParam();
    QTemporaryDir dir;
    const QString record = dir.filePath("123.jpg");
    if (c.file_there) {
        ASSERT_TRUE(write_bytes(record, "the record"));
    }
    ScriptedDialogs answers;
    answers.answer = c.answer;
    QString why;
    EXPECT_EQ(sources::delete_flow(record, answers.dialogs(), &why), c.closes);
    EXPECT_EQ(answers.questions, QStringList{"yesno:" + sources::kDeleteQuestion});
    EXPECT_TRUE(answers.errors.isEmpty());
    EXPECT_TRUE(answers.informed.isEmpty());
    EXPECT_TRUE(why.isEmpty());
    EXPECT_EQ(QFile::exists(record), c.file_after);
}

INSTANTIATE_TEST_SUITE_P(Answers, DeleteFlow,
                         ::testing::Values(DeleteCase{"yes", true, true, true, false},
                                           DeleteCase{"no", true, false, false, true},
                                           DeleteCase{"yes_file_already_gone", false, true, true, false},
                                           DeleteCase{"no_file_already_gone", false, false, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DeleteFlowFailure, ClosesAnywayAndGivesTheReason) {
    QTemporaryDir dir;
    const QString record = dir.filePath("folder.jpg");
    QDir().mkpath(record + "/inside");  // a non-empty folder cannot be unlinked
    ScriptedDialogs answers;
    QString why;
    EXPECT_TRUE(sources::delete_flow(record, answers.dialogs(), &why));
    EXPECT_FALSE(why.isEmpty());
    EXPECT_TRUE(QFileInfo(record).isDir());
}

}  // namespace
