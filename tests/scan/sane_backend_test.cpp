// The SANE layer against SANE's own "test" devices: every kind of frame ends
// as a 24-bit bitmap equal to what SANE's command-line scanner reads, and the
// device list, cancel, device errors and a missing library take their paths.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProgressBar>
#include <QTreeWidget>

#include "picture_loader.h"
#include "sane_device_dialog.h"
#include "sane_twain.h"
#include "scan_test_support.h"

using namespace scan_test;
using sources::ScanOptionSetting;

namespace {

class SaneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fresh_scanner_session();
    ASSERT_TRUE(dir_.isValid());
    path_ = dir_.filePath(QStringLiteral("scan.bmp"));
  }
  void TearDown() override { twain_set_scan_options({}); }

  QTemporaryDir dir_;
  QString path_;
};

class SaneScan : public SaneTest, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(SaneScan, WritesA24BitBitmapOfWhatTheDeviceSent) {
  const ScanCase& c = GetParam();
  twain_set_scan_options(c.options);
  ModalDriver unexpected;
  ASSERT_EQ(TWAIN_AcquireToFilename(nullptr, path_), kTwainOk) << twain_last_error().toStdString();
  EXPECT_TRUE(unexpected.message_boxes().isEmpty());

  const QByteArray file = file_bytes(path_);
  ASSERT_GT(file.size(), 54);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[28], 24);  // bits per pixel
  QString error;
  const QImage scanned = sources::load_picture(path_, &error);
  ASSERT_FALSE(scanned.isNull()) << error.toStdString();
  EXPECT_EQ(scanned.size(), c.size);
  for (const auto& [at, colour] : c.colours)
    EXPECT_EQ(scanned.pixel(at) & 0xFFFFFF, colour & 0xFFFFFF) << "at " << at.x() << "," << at.y();

  if (c.reference_options.isEmpty()) return;
  const QImage reference = reference_scan(QStringLiteral("test:0"), c.reference_options, c.reference_width);
  ASSERT_FALSE(reference.isNull()) << "scanimage failed";
  EXPECT_LE(max_channel_diff(scanned, reference), c.tolerance) << first_difference(scanned, reference, c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(TestDevice, SaneScan, ::testing::ValuesIn(scan_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SaneTest, DeviceListShowsTheDevicesAndTheChoiceIsKept) {
  QStringList rows;
  ModalDriver choose([](QWidget* w) { return is_named(w, "sane_device_dialog"); },
                     [&](QWidget* w) {
                       auto* dialog = static_cast<sources::SaneDeviceDialog*>(w);
                       for (int i = 0; i < dialog->list()->topLevelItemCount(); ++i) {
                         const QTreeWidgetItem* item = dialog->list()->topLevelItem(i);
                         rows << item->text(0) + "|" + item->text(1) + "|" + item->text(2);
                       }
                       dialog->select_device(QStringLiteral("test:1"));
                       dialog->accept();
                     });
  ASSERT_EQ(TWAIN_SelectImageSource(nullptr), kTwainOk) << twain_last_error().toStdString();
  EXPECT_EQ(rows, (QStringList{"Noname|frontend-tester|test:0", "Noname|frontend-tester|test:1"}));

  // Shown again, the list starts on the kept choice; Annuler keeps it too.
  QString highlighted;
  ModalDriver cancel([](QWidget* w) { return is_named(w, "sane_device_dialog"); },
                     [&](QWidget* w) {
                       highlighted = static_cast<sources::SaneDeviceDialog*>(w)->selected_device();
                       static_cast<QDialog*>(w)->reject();
                     });
  EXPECT_EQ(TWAIN_SelectImageSource(nullptr), kTwainCancelled);
  EXPECT_EQ(highlighted, QStringLiteral("test:1"));

  // The acquisition goes to the chosen device: with that one held open by
  // someone else the scan fails as busy, while the other device is free.
  QString error;
  const sources::SaneLibrary* sane = sources::sane_library(&error);
  ASSERT_NE(sane, nullptr) << error.toStdString();
  SANE_Handle held = nullptr;
  ASSERT_EQ(sane->open("test:1", &held), SANE_STATUS_GOOD);
  ModalDriver unexpected;
  EXPECT_EQ(TWAIN_AcquireToFilename(nullptr, path_), kTwainFailed);
  EXPECT_TRUE(twain_last_error().contains(QStringLiteral("Device busy"))) << twain_last_error().toStdString();
  EXPECT_FALSE(QFile::exists(path_));
  twain_forget_selected_device();  // now the first device, which is free
  EXPECT_EQ(TWAIN_AcquireToFilename(nullptr, path_), kTwainOk) << twain_last_error().toStdString();
  sane->close(held);
}

TEST_F(SaneTest, CancelStopsTheScanAndLeavesTheFileAlone) {
  write_bytes(path_, "old picture");
  twain_set_scan_options(slow_scan_options());
  int progress_at_cancel = -2;
  auto driver = cancel_progress_after(400);
  QElapsedTimer clock;
  clock.start();
  QTimer probe;  // the bar just before the click: the scan must have shown progress
  probe.setInterval(5);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    if (QWidget* w = QApplication::activeModalWidget())
      if (auto* bar = w->findChild<QProgressBar*>()) progress_at_cancel = bar->value();
  });
  probe.start();
  EXPECT_EQ(TWAIN_AcquireToFilename(nullptr, path_), kTwainCancelled);
  EXPECT_TRUE(driver->acted());
  EXPECT_LT(clock.elapsed(), 3000);
  EXPECT_TRUE(twain_last_error().isEmpty());
  EXPECT_GT(progress_at_cancel, 0);
  EXPECT_LT(progress_at_cancel, 1000);
  EXPECT_EQ(file_bytes(path_), QByteArray("old picture"));
}

// A device that fails, or options it cannot take: the caller gets the
// reason (SANE's own text, or one naming the option), no message box, and
// the file keeps its old picture.
struct Failure {
  const char* name;
  std::vector<ScanOptionSetting> options;
  const char* reason;  // exact text; nullptr: any non-empty reason
  const char* mentioned = nullptr;  // instead of an exact text, what the reason names
};
std::ostream& operator<<(std::ostream& os, const Failure& c) { return os << c.name; }

class SaneFailure : public SaneTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(SaneFailure, ReachesTheCallerAndLeavesTheFileAlone) {
  const Failure& c = GetParam();
  write_bytes(path_, "old picture");
  twain_set_scan_options(c.options);
  ModalDriver unexpected;
  EXPECT_EQ(TWAIN_AcquireToFilename(nullptr, path_), kTwainFailed);
  if (c.mentioned)
    EXPECT_TRUE(twain_last_error().contains(QLatin1String(c.mentioned))) << twain_last_error().toStdString();
  else if (c.reason)
    EXPECT_EQ(twain_last_error(), QString::fromLatin1(c.reason));
  else
    EXPECT_FALSE(twain_last_error().isEmpty());
  EXPECT_EQ(file_bytes(path_), QByteArray("old picture"));
  EXPECT_TRUE(unexpected.message_boxes().isEmpty());
}

// Every other status takes the same path as these: only SANE's text differs.
Failure status(const char* name, const char* reason) { return {name, {{"read-return-value", name}}, reason}; }

INSTANTIATE_TEST_SUITE_P(
    TestDevice, SaneFailure,
    ::testing::Values(status("SANE_STATUS_IO_ERROR", "Error during device I/O"),
                      status("SANE_STATUS_NO_DOCS", "Document feeder out of documents"),
                      status("SANE_STATUS_DEVICE_BUSY", "Device busy"),
                      status("SANE_STATUS_EOF", nullptr),
                      Failure{"value_not_in_list", {{"mode", "Sepia"}}, nullptr, "mode"},
                      Failure{"unknown_option", {{"no-such-option", "1"}}, nullptr, "no-such-option"},
                      Failure{"inactive_option", {{"mode", "Gray"}, {"three-pass", "yes"}}, nullptr, "three-pass"},
                      Failure{"number_expected", {{"resolution", "fine"}}, nullptr, "resolution"},
                      Failure{"switch_expected", {{"hand-scanner", "maybe"}}, nullptr, "hand-scanner"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SaneTest, DeviceReportingCancelIsACancelWithoutReason) {
  write_bytes(path_, "old picture");
  twain_set_scan_options({{"read-return-value", "SANE_STATUS_CANCELLED"}});
  ModalDriver unexpected;
  EXPECT_EQ(TWAIN_AcquireToFilename(nullptr, path_), kTwainCancelled);
  EXPECT_TRUE(twain_last_error().isEmpty());
  EXPECT_EQ(file_bytes(path_), QByteArray("old picture"));
}

struct MissingLibrary {
  const char* name;
  const char* file;
  const char* reason_part;
};
std::ostream& operator<<(std::ostream& os, const MissingLibrary& c) { return os << c.name; }

class SaneUnavailable : public SaneTest, public ::testing::WithParamInterface<MissingLibrary> {};

// Both calls give the loader's reason; back on the real library, scanning works again.
TEST_P(SaneUnavailable, BothCallsGiveTheLoadersReasonUntilTheLibraryComesBack) {
  const MissingLibrary& c = GetParam();
  write_bytes(path_, "old picture");
  ModalDriver unexpected;
  {
    LibraryNameGuard guard;
    sources::set_sane_library_name(QLatin1String(c.file));
    EXPECT_EQ(TWAIN_SelectImageSource(nullptr), kTwainUnavailable);
    EXPECT_TRUE(twain_last_error().contains(QLatin1String(c.reason_part))) << twain_last_error().toStdString();
    EXPECT_EQ(TWAIN_AcquireToFilename(nullptr, path_), kTwainUnavailable);
    EXPECT_TRUE(twain_last_error().contains(QLatin1String(c.reason_part))) << twain_last_error().toStdString();
    EXPECT_EQ(file_bytes(path_), QByteArray("old picture"));
  }
  EXPECT_TRUE(unexpected.message_boxes().isEmpty());
  EXPECT_EQ(TWAIN_AcquireToFilename(nullptr, path_), kTwainOk) << twain_last_error().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Loader, SaneUnavailable,
    ::testing::Values(MissingLibrary{"no_such_file", "libsane-absent-for-tests.so.1",
                                     "libsane-absent-for-tests.so.1: cannot open shared object file"},
                      MissingLibrary{"not_sane", "libz.so.1", "undefined symbol: sane_init"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
