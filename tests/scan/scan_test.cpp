// The scanner: frames as a scanner sends them become the 24-bit bitmap of their
// picture, and the window's buttons on SANE's own "test" devices store the scan
// as the record's JPEG and show it, or leave the record with the right message.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <cstring>
#include <random>

#include "DIWriteJpg.h"
#include "picture_limits.h"
#include "picture_loader.h"
#include "sane_device_dialog.h"
#include "sane_twain.h"
#include "scan_bitmap.h"
#include "selection_image.h"
#include "window_driver.h"
#include "staging_file.h"
#include "test_files.h"

namespace {

using Kind = scan::ScanFrameFormat::Kind;
using Options = std::vector<scan::ScanOptionSetting>;

TEST(ScanBitmap, FramesBecomeTheBitmapOfWhatEveryFrameDelivered) {
    // Kinds (one Gray or Rgb frame, or three colour frames in any order), depth, width, lines announced (-1:
    // unknown), bytes ending each line, whole lines each frame sends (then half a line more), piece size.
    using Frames = std::tuple<const char*, std::vector<Kind>, int, int, int, int, std::vector<int>, size_t>;
    const Frames cases[] = {
        {"gray8_bytewise", {Kind::Gray}, 8, 13, 9, 5, {9}, 1},
        {"lineart_padded", {Kind::Gray}, 1, 21, 6, 2, {6}, 3},
        {"rgb8_surplus_lines", {Kind::Rgb}, 8, 10, 8, 0, {12}, 7},
        {"rgb16_padded_unknown_length", {Kind::Rgb}, 16, 9, -1, 4, {6}, 11},
        {"rgb1", {Kind::Rgb}, 1, 11, 5, 0, {5}, 2},
        {"three_pass_bgr16", {Kind::Blue, Kind::Green, Kind::Red}, 16, 7, 6, 3, {6, 6, 6}, 13},
        {"three_pass_grb1", {Kind::Green, Kind::Red, Kind::Blue}, 1, 17, 4, 0, {4, 4, 4}, 1 << 20},
        {"three_pass_short", {Kind::Red, Kind::Green, Kind::Blue}, 8, 4, 5, 0, {5, 3, 4}, 1 << 20},
        {"hand_scanner_three_pass", {Kind::Red, Kind::Green, Kind::Blue}, 8, 5, -1, 0, {9, 11, 8}, 3},
    };
    for (const auto& [name, kinds, depth, width, lines, padding, sent, chunk] : cases) {
        SCOPED_TRACE(name);
        std::mt19937 rng(99);
        const bool gray = kinds[0] == Kind::Gray;
        QImage picture(width, *std::max_element(sent.begin(), sent.end()), QImage::Format_RGB32);
        for (int i = 0; i < picture.width() * picture.height(); ++i) {
            int v[3];
            for (int& s : v) s = depth == 1 ? (rng() & 128 ? 255 : 0) : int(rng() & 255);
            picture.setPixel(i % width, i / width, qRgb(v[0], gray ? v[0] : v[1], gray ? v[0] : v[2]));
        }
        scan::ScanBitmap bitmap;
        int height = picture.height();
        for (std::size_t f = 0; f < kinds.size(); ++f) {
            const int samples = kinds[f] == Kind::Rgb ? 3 : 1, per_line = samples * width;
            const int bytes_per_line = (per_line * depth + 7) / 8 + padding;
            EXPECT_TRUE(bitmap.begin_frame({kinds[f], bytes_per_line, width, lines, depth}));
            std::vector<std::uint8_t> data(std::size_t(bytes_per_line) * sent[f] + bytes_per_line / 2, 0xA5);
            // Red and grey frames carry the red channel, the others their own.
            const int channel = kinds[f] == Kind::Green ? 1 : kinds[f] == Kind::Blue ? 2 : 0;
            // 16-bit values are spread around v * 257 so that only correct rounding gives v
            // back; at depth 1 a set bit is black in grey and full intensity in colour.
            for (int i = 0; i < per_line * sent[f]; ++i) {
                const int at = i % per_line, y = i / per_line, shift = 16 - 8 * (samples == 3 ? at % 3 : channel);
                const int v = int(picture.pixel(at / samples, y) >> shift) & 255;
                const auto s16 = std::uint16_t(std::clamp(v * 257 + int(rng() % 257) - 128, 0, 65535));
                const auto bit = std::uint8_t(0x80 >> (at % 8));
                std::uint8_t* line = &data[std::size_t(y) * bytes_per_line];
                if (depth == 8) line[at] = std::uint8_t(v);
                if (depth == 16) std::memcpy(line + 2 * at, &s16, 2);  // host byte order, as SANE sends
                if (depth == 1) line[at / 8] = v == (gray ? 0 : 255) ? line[at / 8] | bit : line[at / 8] & ~bit;
            }
            for (std::size_t at = 0; at < data.size(); at += chunk)
                EXPECT_TRUE(bitmap.add_data(data.data() + at, std::min(chunk, data.size() - at)));
            bitmap.end_frame();
            height = std::min({height, sent[f], lines < 0 ? sent[f] : lines});
        }
        const auto taken = bitmap.take_file();
        ASSERT_TRUE(taken) << taken.error().reason();
        const std::vector<std::uint8_t>& file = *taken;
        const std::size_t size = 54 + std::size_t((3 * width + 3) & ~3) * height;
        EXPECT_EQ(file.size(), size);
        EXPECT_EQ(file[2] | file[3] << 8 | file[4] << 16, int(size));  // the size the header gives
        const QByteArray bytes(reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
        const QImage decoded = sources::decode_picture(bytes).value_or(QImage());
        EXPECT_TRUE(decoded.convertToFormat(QImage::Format_RGB32) == picture.copy(0, 0, width, height));
    }
}

TEST(ScanBitmap, RefusesFormatsNoPictureCanComeFrom) {
    const int wide = int(core::kMaxPicturePixels + 1), tall = int(core::kMaxPicturePixels / 1000 + 1);
    const std::pair<const char*, std::vector<scan::ScanFrameFormat>> cases[] = {
        {"depth4", {{Kind::Gray, 4, 8, 2, 4}}},
        {"zero_width", {{Kind::Gray, 4, 0, 2, 8}}},
        {"rgb_line_a_byte_short", {{Kind::Rgb, 11, 4, 2, 8}}},
        {"sixteen_bit_line_a_byte_short", {{Kind::Gray, 7, 4, 2, 16}}},
        {"lineart_line_a_byte_short", {{Kind::Gray, 1, 9, 2, 1}}},
        {"absurd_line_length", {{Kind::Gray, 1 << 30, 4, 2, 8}}},
        {"too_wide", {{Kind::Gray, wide, wide, 1, 8}}},
        {"too_many_pixels", {{Kind::Gray, 1000, 1000, tall, 8}}},
        {"passes_of_different_width", {{Kind::Red, 4, 4, 2, 8}, {Kind::Green, 5, 5, 2, 8}}},
    };
    for (const auto& [name, frames] : cases) {
        SCOPED_TRACE(name);
        scan::ScanBitmap bitmap;
        for (std::size_t f = 0; f + 1 < frames.size(); ++f) EXPECT_TRUE(bitmap.begin_frame(frames[f]));
        const auto refused = bitmap.begin_frame(frames.back());
        EXPECT_TRUE(!refused && !refused.error().reason().empty());
    }
}

class ScanWindow : public ::testing::Test {
protected:
    void SetUp() override {
        // The backend's reader is cancelled only where it waits (deferred_cancel.cpp), or a scan may hang.
        ASSERT_EQ(dlsym(RTLD_DEFAULT, "pthread_setcanceltype"), reinterpret_cast<void*>(&pthread_setcanceltype));
        // The loader's state is made first: it must outlive the application, whose end shuts SANE down.
        scan::set_sane_library_name("libsane.so.1");
        static int argc = 1;
        static char name[] = "scan_tests", *argv[] = {name, nullptr};
        static QApplication app(argc, argv);
        app::WindowDialogs d;
        d.inform = [this](QWidget*, const QString& text, QMessageBox::Icon) { said << text; };
        // No command line: the record is the default name in the program's folder.
        window = std::make_unique<app::selection_image>(QString(), dir.path(), d);
        // Answers the modal windows the buttons wait in, so that a wrong path fails a check instead of hanging.
        modals.callOnTimeout([this] {
            QWidget* w = QApplication::activeModalWidget();
            if (auto* list = qobject_cast<scan::SaneDeviceDialog*>(w))
                list->select_device("test:1") ? list->accept() : list->reject();
            if (auto* cancel = w && cancel_scans ? w->findChild<QPushButton*>("cancel") : nullptr) cancel->click();
            if (auto* box = qobject_cast<QMessageBox*>(w)) {
                said << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        modals.start(10);
    }

    // SANE reads its folder's name once, its files at every session start: the test backend's two
    // devices, or no backend at all (it cannot be told to have none). Without a resolution it sends 1 x 1.
    static void new_session(const Options& options, bool devices = true) {
        static QTemporaryDir config;
        qputenv("SANE_CONFIG_DIR", QFile::encodeName(config.path()));  // no ':' after: no system folders
        write_bytes(config.filePath("dll.conf"), devices ? "test\n" : "");
        write_bytes(config.filePath("test.conf"), "number_of_devices 2\nresolution 50\n");
        scan::sane_library_shutdown();
        scan::forget_selected_device();
        scan::set_scan_options(options);
    }

    static QStringList leftovers() {  // the scan's own files beside the staging file
        return QFileInfo(storage::staging_path().value_or(QString())).dir().entryList({"tmp.bmp", "tmp.bmp.scan*"});
    }

    QTemporaryDir dir;
    QStringList said;  // the window's messages and the message boxes answered
    bool cancel_scans = false;
    QTimer modals;
    std::unique_ptr<app::selection_image> window;
};

TEST_F(ScanWindow, RecordBecomesTheJpegOfEveryKindOfScanAndIsShown) {
    using Marks = std::vector<std::pair<QPoint, QRgb>>;  // what the test device draws there
    const Marks colours{{{0, 0}, qRgb(85, 85, 85)},
                        {{12, 28}, qRgb(0, 0, 253)},
                        {{12, 98}, qRgb(253, 0, 0)},
                        {{12, 168}, qRgb(0, 253, 0)}};
    const scan::ScanOptionSetting pattern{"test-picture", "Color pattern"}, colour{"mode", "Color"};
    const std::tuple<const char*, Options, QSize, Marks> kinds[] = {
        {"gray", {pattern}, QSize(157, 196), {{{0, 0}, qRgb(85, 85, 85)}, {{12, 28}, qRgb(253, 253, 253)}}},
        {"three_pass_bgr", {colour, {"three-pass", "yes"}, {"three-pass-order", "BGR"}, pattern}, {157, 196}, colours},
        {"hand_scanner", {colour, {"hand-scanner", "yes"}, pattern}, QSize(216, 334), colours},
        {"padded_small_reads",  // 7 unused pixels ending each line, and reads of odd lengths
         {colour, {"ppl-loss", "7"}, {"read-limit", "yes"}, {"read-limit-size", "997"}, pattern},
         QSize(150, 196),
         colours},
    };
    const QString scan = dir.filePath("scan.bmp"), expected = dir.filePath("expected.jpg");
    for (const auto& [name, options, size, marks] : kinds) {
        SCOPED_TRACE(name);
        new_session(options);  // the test devices keep options for a whole session
        ASSERT_EQ(TWAIN_AcquireToFilename(nullptr, scan), kTwainOk);
        const QImage scanned = sources::load_picture(scan).value_or(QImage());
        EXPECT_EQ(scanned.size(), size);
        for (const auto& [at, rgb] : marks)
            EXPECT_EQ(scanned.pixel(at) & 0xFFFFFF, rgb & 0xFFFFFF) << "at " << at.x() << "," << at.y();

        app::WindowDriver(*window)
            .control<QPushButton>("TWAIN_acquire")
            ->click();  // the first scan makes the record, the next ones replace it
        EXPECT_EQ(said, QStringList());
        ASSERT_TRUE(storage::write_jpeg_from_bitmap(scan, expected, 80));
        EXPECT_TRUE(file_bytes(window->record_file()) == file_bytes(expected)) << "not the scan at quality 80";
        EXPECT_TRUE(app::WindowDriver(*window).picture() ==
                    sources::load_picture(window->record_file()).value_or(QImage()));
        EXPECT_EQ(leftovers(), QStringList());
    }
}

// Every way a button can end without a picture says one thing and leaves the
// record byte for byte.
TEST_F(ScanWindow, FailuresLeaveTheRecordAndSayWhy) {
    enum Setup { kPlain, kUserCancels, kNoLibrary, kNoDevice, kNoFolder, kLinkToNowhere };
    QPushButton *const source = app::WindowDriver(*window).control<QPushButton>("TWAIN_src"),
                       *const acquire = app::WindowDriver(*window).control<QPushButton>("TWAIN_acquire");
    const auto read_fails = [](const char* status) { return Options{{"read-return-value", status}}; };
    const Options slow{{"mode", "Color"}, {"read-delay", "yes"}, {"read-delay-duration", "200000"}};
    const QString twain = "erreur TWAIN lors du scan: ", unknown = "erreur inconnue lors du scan: ";
    const QString absent = "libsane-absent.so.1: cannot open shared object file: No such file or directory";
    const QString none = "Aucun scanner n'a été trouvé.";  // in a message box of its own
    const std::tuple<const char*, QPushButton*, Setup, Options, QString> failures[] = {
        {"select_no_library", source, kNoLibrary, {}, "err_twain_select: " + absent},
        {"select_no_scanner", source, kNoDevice, {}, none},
        {"no_library", acquire, kNoLibrary, {}, unknown + absent},
        {"no_scanner", acquire, kNoDevice, {}, twain + none},
        {"user_cancels", acquire, kUserCancels, slow, twain},
        {"device_cancels", acquire, kPlain, read_fails("SANE_STATUS_CANCELLED"), twain},
        {"io_error", acquire, kPlain, read_fails("SANE_STATUS_IO_ERROR"), twain + "Error during device I/O"},
        {"no_line", acquire, kPlain, read_fails("SANE_STATUS_EOF"), twain + ".*aucune ligne complète"},
        {"unknown_option", acquire, kPlain, {{"no-such", "1"}}, twain + "option « no-such » = « 1 » : .*"},
        {"inactive_option",
         acquire,
         kPlain,
         {{"mode", "Gray"}, {"three-pass", "yes"}},
         twain + "option « three-pass » = « yes » : .*"},
        {"not_in_list", acquire, kPlain, {{"mode", "Sepia"}}, twain + "option « mode » = « Sepia » : .*"},
        {"not_a_switch", acquire, kPlain, {{"hand-scanner", "maybe"}}, twain + ".*« maybe » : valeur invalide"},
        {"record_unwritable", acquire, kNoFolder, {}, unknown + ".*/none/.+"},
        // The record, a link into a folder gone since, stays a link: nothing is removed before the store.
        {"record_links_to_nowhere",
         acquire,
         kLinkToNowhere,
         {},
         unknown + ".*/9999999.jpg : No such file or directory"},
    };
    const QString record = window->record_file(), folder = window->image_path;
    for (const auto& [name, button, setup, options, message] : failures) {
        SCOPED_TRACE(name);
        new_session(options, setup != kNoDevice);
        scan::set_sane_library_name(setup == kNoLibrary ? "libsane-absent.so.1" : "libsane.so.1");
        QFile::remove(record);
        setup == kLinkToNowhere ? QFile::link(dir.filePath("gone/1.jpg"), record) : write_bytes(record, "old picture");
        window->image_path = setup == kNoFolder ? dir.filePath("none/") : folder;
        cancel_scans = setup == kUserCancels;
        said.clear();
        button->click();
        const QRegularExpression pattern(QRegularExpression::anchoredPattern(message));
        EXPECT_TRUE(said.size() == 1 && pattern.match(said[0]).hasMatch()) << said.join('\n').toStdString();
        EXPECT_EQ(file_bytes(record) + QFile::symLinkTarget(record).toUtf8(),
                  setup == kLinkToNowhere ? dir.filePath("gone/1.jpg").toUtf8() : "old picture");
        EXPECT_TRUE(app::WindowDriver(*window).picture().isNull());
        EXPECT_EQ(leftovers(), QStringList());
    }
    window->image_path = folder;
    source->click();  // the device chosen in the list is kept for the next scans
    EXPECT_EQ(scan::selected_device(), "test:1");
}

}  // namespace
