// "Acquerir scan" and "TWAIN" end to end on SANE's test devices: the record's
// file becomes the JPEG of the scan, or stays as it was with the right message.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>

#include "picture_loader.h"
#include "sane_twain.h"
#include "scan_flow.h"
#include "scan_test_support.h"

using namespace scan_test;

namespace {

class ScanFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fresh_scanner_session();
    ASSERT_TRUE(dir_.isValid());
    record_ = dir_.filePath(QStringLiteral("123.jpg"));
    staging_ = dir_.filePath(QStringLiteral("tmp.bmp"));
    dialogs_.report_error = [this](const QString& text) { errors_ << text; };
  }
  void TearDown() override { twain_set_scan_options({}); }

  // Nothing of the scan may stay beside the staging file.
  void expect_no_leftovers() {
    EXPECT_FALSE(QFile::exists(staging_));
    const QStringList left = QDir(dir_.path()).entryList({QStringLiteral("tmp.bmp.scan*")}, QDir::Files);
    EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
  }

  QTemporaryDir dir_;
  QString record_;
  QString staging_;
  sources::StoreDialogs dialogs_;
  QStringList errors_;
};

class ScanFlowKinds : public ScanFlowTest, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(ScanFlowKinds, RecordBecomesTheJpegOfTheScan) {
  const ScanCase& c = GetParam();
  // The record held another picture, and an old staging file lies around.
  QImage old(40, 30, QImage::Format_RGB32);
  old.fill(qRgb(10, 200, 30));
  ASSERT_TRUE(old.save(record_, "JPEG"));
  ASSERT_TRUE(old.save(staging_, "BMP"));
  twain_set_scan_options(c.options);
  ModalDriver unexpected;

  const sources::ScanFlowResult result = sources::acquire_flow(nullptr, record_, dialogs_, staging_);
  EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
  ASSERT_TRUE(result.changed);
  const QByteArray stored = file_bytes(record_);
  ASSERT_TRUE(stored.startsWith("\xFF\xD8\xFF")) << "not a JPEG";
  QString error;
  const QImage decoded = sources::load_picture(record_, &error);
  ASSERT_FALSE(decoded.isNull()) << error.toStdString();
  EXPECT_EQ(decoded.size(), c.size);
  EXPECT_EQ(result.picture.size(), c.size);
  EXPECT_LT(mean_channel_diff(result.picture, decoded), 0.01);  // what is shown is what is stored

  // Against SANE's own reading of the device: equal but for JPEG's losses,
  // compared on 16 x 16 averages since the test picture's one-pixel colour
  // lines do not survive chroma subsampling one by one.
  if (!c.reference_options.isEmpty()) {
    const QImage reference = reference_scan(QStringLiteral("test:0"), c.reference_options, c.reference_width);
    ASSERT_FALSE(reference.isNull());
    EXPECT_LT(block_mean_diff(decoded, reference, 16), 3.0);
  } else {
    // Known colours of large flat squares stay within JPEG's ringing.
    for (const auto& [at, colour] : c.colours) {
      const QRgb p = decoded.pixel(at);
      EXPECT_LE(std::max({std::abs(qRed(p) - qRed(colour)), std::abs(qGreen(p) - qGreen(colour)),
                          std::abs(qBlue(p) - qBlue(colour))}),
                40)
          << "at " << at.x() << "," << at.y();
    }
  }
  expect_no_leftovers();
  EXPECT_TRUE(unexpected.message_boxes().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(TestDevice, ScanFlowKinds, ::testing::ValuesIn(scan_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScanFlowTest, FirstScanCreatesTheRecordsFile) {
  twain_set_scan_options({{"mode", "Color"}, {"test-picture", "Color pattern"}});
  const sources::ScanFlowResult result = sources::acquire_flow(nullptr, record_, dialogs_, staging_);
  EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
  EXPECT_TRUE(result.changed);
  QString error;
  EXPECT_EQ(sources::load_picture(record_, &error).size(), QSize(157, 196));
  expect_no_leftovers();
}

// Every way a scan can end without a picture leaves the record byte for byte.
struct Failure {
  const char* name;
  std::vector<sources::ScanOptionSetting> options;
  bool cancel;
  bool unloadable;
  const char* message;  // exact text, or the start of it when `exact` is false
  bool exact;
};
std::ostream& operator<<(std::ostream& os, const Failure& c) { return os << c.name; }

class ScanFlowFailure : public ScanFlowTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(ScanFlowFailure, LeavesTheRecordAndSaysWhy) {
  const Failure& c = GetParam();
  write_bytes(record_, "the old picture");
  twain_set_scan_options(c.options);
  LibraryNameGuard guard;
  if (c.unloadable) sources::set_sane_library_name(QStringLiteral("libsane-absent-for-tests.so.1"));
  std::unique_ptr<ModalDriver> canceller = c.cancel ? cancel_progress_after(200) : std::make_unique<ModalDriver>();

  const sources::ScanFlowResult result = sources::acquire_flow(nullptr, record_, dialogs_, staging_);
  EXPECT_FALSE(result.changed);
  EXPECT_TRUE(result.picture.isNull());
  ASSERT_EQ(errors_.size(), 1);
  if (c.exact)
    EXPECT_EQ(errors_[0], QString::fromUtf8(c.message));
  else
    EXPECT_TRUE(errors_[0].startsWith(QString::fromUtf8(c.message))) << errors_[0].toStdString();
  EXPECT_EQ(file_bytes(record_), QByteArray("the old picture"));
  expect_no_leftovers();
}

INSTANTIATE_TEST_SUITE_P(
    TestDevice, ScanFlowFailure,
    ::testing::Values(
        Failure{"cancelled", slow_scan_options(), true, false, "erreur TWAIN lors du scan: ", true},
        Failure{"device_io_error", {{"read-return-value", "SANE_STATUS_IO_ERROR"}}, false, false,
                "erreur TWAIN lors du scan: Error during device I/O", true},
        Failure{"feeder_jammed", {{"read-return-value", "SANE_STATUS_JAMMED"}}, false, false,
                "erreur TWAIN lors du scan: Document feeder jammed", true},
        Failure{"device_cancelled", {{"read-return-value", "SANE_STATUS_CANCELLED"}}, false, false,
                "erreur TWAIN lors du scan: ", true},
        Failure{"sane_missing", {}, false, true,
                "erreur inconnue lors du scan: libsane-absent-for-tests.so.1: cannot open shared object file", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScanFlowTest, RecordThatCannotBeWrittenKeepsNothingBehind) {
  const QString record = dir_.filePath(QStringLiteral("no-such-folder/123.jpg"));
  const sources::ScanFlowResult result = sources::acquire_flow(nullptr, record, dialogs_, staging_);
  EXPECT_FALSE(result.changed);
  ASSERT_EQ(errors_.size(), 1);
  EXPECT_TRUE(errors_[0].startsWith(QStringLiteral("erreur inconnue lors du scan: "))) << errors_[0].toStdString();
  EXPECT_GT(errors_[0].size(), QStringLiteral("erreur inconnue lors du scan: ").size());
  EXPECT_FALSE(QFile::exists(record));
  expect_no_leftovers();
}

TEST_F(ScanFlowTest, SourceButtonReportsAMissingLibrary) {
  LibraryNameGuard guard;
  sources::set_sane_library_name(QStringLiteral("libsane-absent-for-tests.so.1"));
  sources::twain_select_flow(nullptr, dialogs_);
  ASSERT_EQ(errors_.size(), 1);
  EXPECT_EQ(errors_[0], QStringLiteral("err_twain_select: libsane-absent-for-tests.so.1: cannot open shared "
                                       "object file: No such file or directory"));
}

TEST_F(ScanFlowTest, SourceButtonIsQuietWhenTheUserChooses) {
  ModalDriver choose([](QWidget* w) { return is_named(w, "sane_device_dialog"); },
                     [](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
  sources::twain_select_flow(nullptr, dialogs_);
  EXPECT_TRUE(choose.acted());
  EXPECT_TRUE(errors_.isEmpty());
  EXPECT_EQ(twain_selected_device(), QStringLiteral("test:0"));
  EXPECT_TRUE(choose.message_boxes().isEmpty());
}

// With no scanner at all. SANE reads its configuration once per process, so
// this runs the test program again with a configuration offering none.
TEST_F(ScanFlowTest, NoScannerIsSaidByBothButtons) {
  QTemporaryDir none;
  write_sane_config(none.path(), 0);
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("SANE_CONFIG_DIR"), none.path());
  env.insert(QStringLiteral("SCAN_TESTS_OWN_SANE_CONFIG"), QStringLiteral("1"));
  child.setProcessEnvironment(env);
  child.start(QCoreApplication::applicationFilePath(),
              {QStringLiteral("--gtest_filter=ScanFlowNoScanner.InChildProcess")});
  ASSERT_TRUE(child.waitForFinished(60000));
  const QString output = QString::fromLocal8Bit(child.readAllStandardOutput());
  EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
  EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
}

TEST(ScanFlowNoScanner, InChildProcess) {
  if (!qEnvironmentVariableIsSet("SCAN_TESTS_OWN_SANE_CONFIG"))
    GTEST_SKIP() << "run by NoScannerIsSaidByBothButtons with a configuration without devices";
  ensure_app();
  QStringList errors;
  sources::StoreDialogs dialogs;
  dialogs.report_error = [&](const QString& text) { errors << text; };
  ModalDriver boxes;
  sources::twain_select_flow(nullptr, dialogs);
  EXPECT_EQ(boxes.message_boxes(), QStringList{QStringLiteral("Aucun scanner n'a été trouvé.")});
  EXPECT_TRUE(errors.isEmpty());

  QTemporaryDir dir;
  const QString record = dir.filePath(QStringLiteral("1.jpg"));
  write_bytes(record, "old");
  const sources::ScanFlowResult result =
      sources::acquire_flow(nullptr, record, dialogs, dir.filePath(QStringLiteral("tmp.bmp")));
  EXPECT_FALSE(result.changed);
  EXPECT_EQ(errors, QStringList{QStringLiteral("erreur TWAIN lors du scan: Aucun scanner n'a été trouvé.")});
  EXPECT_EQ(file_bytes(record), QByteArray("old"));
}

}  // namespace
