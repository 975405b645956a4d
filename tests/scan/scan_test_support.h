#pragma once
// What the scanner tests share: a Qt application, a private SANE
// configuration that offers only SANE's "test" devices, pictures produced by
// the command-line scanning program of SANE from the same devices (an
// independent reading of the same frames), and a driver for modal dialogs.
#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "sane_library.h"
#include "sane_scan.h"
#include "sane_twain.h"

namespace scan_test {

// Writes a SANE configuration folder: dll.conf loading only the test backend,
// and the test backend's own settings (without them it sends 1 x 1 pictures).
// No device at all means no backend at all (the test backend cannot be told
// to have none).
inline void write_sane_config(const QString& folder, int devices) {
  QDir().mkpath(folder);
  QFile dll(folder + QStringLiteral("/dll.conf"));
  if (dll.open(QIODevice::WriteOnly)) dll.write(devices > 0 ? "test\n" : "");
  QFile conf(folder + QStringLiteral("/test.conf"));
  if (conf.open(QIODevice::WriteOnly))
    conf.write(QStringLiteral("number_of_devices %1\n"
                              "mode Gray\ndepth 8\nhand-scanner false\nthree-pass false\n"
                              "three-pass-order RGB\nresolution_min 1.0\nresolution_max 1200.0\n"
                              "resolution_quant 1.0\nresolution 50.0\ntest-picture \"Solid black\"\n"
                              "invert-endianess false\nread-limit false\nread-limit-size 1\n"
                              "read-delay false\nread-delay-duration 1000\nread-status-code \"Default\"\n"
                              "fuzzy-parameters false\nppl-loss 0\nnon-blocking false\nselect-fd false\n"
                              "enable-test-options false\ngeometry_min 0.0\ngeometry_max 200.0\n"
                              "geometry_quant 1.0\ntl_x 0.0\ntl_y 0.0\nbr_x 80.0\nbr_y 100.0\n")
                   .arg(devices)
                   .toLatin1());
}

// The application, and SANE pointed at the private configuration before the
// library is first started (SANE reads the variable once). No trailing ':' on
// the variable, so the system's folders are not searched.
inline void ensure_app() {
  if (QCoreApplication::instance()) return;
  static QTemporaryDir config;
  if (!qEnvironmentVariableIsSet("SCAN_TESTS_OWN_SANE_CONFIG")) {
    write_sane_config(config.path(), 2);
    qputenv("SANE_CONFIG_DIR", QFile::encodeName(config.path()));
  }
  static int argc = 1;
  static char name[] = "scan_tests";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
}

// Every test starts a new library session with no device chosen and no
// options set: the test devices keep their options for a whole session.
inline void fresh_scanner_session(std::vector<sources::ScanOptionSetting> options = {}) {
  ensure_app();
  sources::sane_library_shutdown();
  twain_forget_selected_device();
  twain_set_scan_options(std::move(options));
}

// A PNM file (P4, P5, P6; maxval 255 or 65535) as an RGB32 picture; 16-bit
// samples keep their high byte. A null picture when it cannot be read.
inline QImage read_pnm(const QByteArray& data) {
  int at = 0;
  auto token = [&]() -> QByteArray {
    for (;;) {
      while (at < data.size() && std::isspace(static_cast<unsigned char>(data[at]))) ++at;
      if (at < data.size() && data[at] == '#') {
        while (at < data.size() && data[at] != '\n') ++at;
        continue;
      }
      break;
    }
    const int begin = at;
    while (at < data.size() && !std::isspace(static_cast<unsigned char>(data[at]))) ++at;
    return data.mid(begin, at - begin);
  };
  const QByteArray magic = token();
  const int w = token().toInt();
  const int h = token().toInt();
  const int maxval = magic == "P4" ? 1 : token().toInt();
  ++at;  // the one white space before the samples
  if (w <= 0 || h <= 0) return {};
  QImage out(w, h, QImage::Format_RGB32);
  const int bytes = maxval > 255 ? 2 : 1;
  const int channels = magic == "P6" ? 3 : 1;
  const auto* p = reinterpret_cast<const unsigned char*>(data.constData()) + at;
  const qsizetype row_bytes = magic == "P4" ? (w + 7) / 8 : qsizetype(w) * channels * bytes;
  if (data.size() - at < row_bytes * h) return {};
  for (int y = 0; y < h; ++y) {
    const unsigned char* row = p + row_bytes * y;
    for (int x = 0; x < w; ++x) {
      int v[3];
      if (magic == "P4") {
        v[0] = v[1] = v[2] = (row[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;
      } else {
        for (int c = 0; c < 3; ++c) {
          const unsigned char* s = row + (qsizetype(x) * channels + (channels == 3 ? c : 0)) * bytes;
          v[c] = s[0];  // PNM samples are big-endian: the first byte is the high one
        }
      }
      out.setPixel(x, y, qRgb(v[0], v[1], v[2]));
    }
  }
  return out;
}

// What SANE's own command-line scanner reads from `device` with `options`
// ("--mode", "Color", ...), its first `width` columns when not 0. A null
// picture when it fails.
inline QImage reference_scan(const QString& device, const QStringList& options, int width = 0) {
  QProcess process;
  process.start(QStringLiteral("scanimage"),
                QStringList{QStringLiteral("-d"), device, QStringLiteral("--format=pnm")} + options);
  if (!process.waitForFinished(60000) || process.exitCode() != 0) return {};
  const QImage full = read_pnm(process.readAllStandardOutput());
  return width > 0 ? full.copy(0, 0, width, full.height()) : full;
}

// Largest difference of one channel between two pictures of the same size;
// 256 when the sizes differ.
inline int max_channel_diff(const QImage& a, const QImage& b) {
  if (a.isNull() || b.isNull() || a.size() != b.size()) return 256;
  int worst = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                        std::abs(qBlue(p) - qBlue(q))});
    }
  return worst;
}

// Where two pictures first differ by more than `tolerance`, for messages.
inline std::string first_difference(const QImage& a, const QImage& b, int tolerance) {
  if (a.size() != b.size()) return "sizes differ";
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      if (std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))}) >
          tolerance)
        return QStringLiteral("at %1,%2: %3 against %4")
            .arg(x)
            .arg(y)
            .arg(p & 0xFFFFFF, 6, 16, QLatin1Char('0'))
            .arg(q & 0xFFFFFF, 6, 16, QLatin1Char('0'))
            .toStdString();
    }
  return "none";
}

// Mean channel difference between the averages of `block` x `block` squares:
// what JPEG keeps of a picture even where its chroma subsampling blurs
// one-pixel detail (partial squares at the edges are left out).
inline double block_mean_diff(const QImage& a, const QImage& b, int block) {
  if (a.isNull() || b.isNull() || a.size() != b.size()) return 256;
  double sum = 0;
  int blocks = 0;
  for (int by = 0; by + block <= a.height(); by += block)
    for (int bx = 0; bx + block <= a.width(); bx += block) {
      double d[3] = {0, 0, 0};
      for (int y = by; y < by + block; ++y)
        for (int x = bx; x < bx + block; ++x) {
          const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
          d[0] += qRed(p) - qRed(q);
          d[1] += qGreen(p) - qGreen(q);
          d[2] += qBlue(p) - qBlue(q);
        }
      sum += (std::abs(d[0]) + std::abs(d[1]) + std::abs(d[2])) / (3.0 * block * block);
      ++blocks;
    }
  return blocks ? sum / blocks : 256;
}

inline double mean_channel_diff(const QImage& a, const QImage& b) {
  if (a.isNull() || b.isNull() || a.size() != b.size()) return 256;
  double sum = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
      sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
    }
  return sum / (3.0 * a.width() * a.height());
}

// Runs `act` once on the first modal widget that `matches`, polling while
// the code under test sits in a dialog's event loop. Message boxes nobody
// expected are answered and their texts kept, so a wrong path shows up as a
// failed check, never as a test that hangs.
class ModalDriver {
 public:
  ModalDriver(std::function<bool(QWidget*)> matches, std::function<void(QWidget*)> act)
      : matches_(std::move(matches)), act_(std::move(act)) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start();
  }
  ModalDriver() : ModalDriver([](QWidget*) { return false; }, [](QWidget*) {}) {}

  bool acted() const { return acted_; }
  const QStringList& message_boxes() const { return boxes_; }

 private:
  void poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    if (!acted_ && matches_(modal)) {
      acted_ = true;
      act_(modal);
      return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      boxes_ << box->text();
      box->done(QMessageBox::Ok);
    }
  }

  std::function<bool(QWidget*)> matches_;
  std::function<void(QWidget*)> act_;
  QTimer timer_;
  bool acted_ = false;
  QStringList boxes_;
};

inline bool is_named(QWidget* w, const char* name) { return w->objectName() == QLatin1String(name); }

// Options that make the test device scan for about ten seconds.
inline std::vector<sources::ScanOptionSetting> slow_scan_options() {
  return {{"mode", "Color"}, {"resolution", "300"}, {"read-delay", "yes"}, {"read-delay-duration", "200000"}};
}

// Clicks the progress dialog's "Annuler" once it has been up for `after_ms`.
inline std::unique_ptr<ModalDriver> cancel_progress_after(int after_ms) {
  auto shown = std::make_shared<QElapsedTimer>();
  return std::make_unique<ModalDriver>(
      [shown, after_ms](QWidget* w) {
        if (!is_named(w, "scan_progress_dialog")) return false;
        if (!shown->isValid()) shown->start();
        return shown->elapsed() >= after_ms;
      },
      [](QWidget* w) { w->findChild<QPushButton*>(QStringLiteral("cancel"))->click(); });
}

}  // namespace scan_test

namespace scan_test {

// One way of scanning the test device, with how SANE's command-line scanner
// is told the same, and what the picture is known to hold.
struct ScanCase {
  const char* name;
  std::vector<sources::ScanOptionSetting> options;
  QStringList reference_options;  // empty: SANE's scanner cannot read this kind
  int reference_width;            // columns of the reference compared (0: all)
  int tolerance;  // largest channel difference to the reference (16-bit rounding)
  QSize size;
  std::vector<std::pair<QPoint, QRgb>> colours;
};

inline std::ostream& operator<<(std::ostream& os, const ScanCase& c) { return os << c.name; }

inline std::vector<ScanCase> scan_cases() {
  const QRgb grey = qRgb(85, 85, 85);
  const QSize page(157, 196);  // 80 x 100 mm at 50 dpi
  using O = sources::ScanOptionSetting;
  const O pattern{"test-picture", "Color pattern"};
  const O grid{"test-picture", "Grid"};
  const QStringList ref_pattern{"--test-picture", "Color pattern"};
  const QStringList ref_grid{"--test-picture", "Grid"};
  const std::vector<std::pair<QPoint, QRgb>> colour_marks{{{0, 0}, grey},
                                                          {{12, 28}, qRgb(0, 0, 253)},
                                                          {{12, 98}, qRgb(253, 0, 0)},
                                                          {{12, 168}, qRgb(0, 253, 0)}};
  const std::vector<std::pair<QPoint, QRgb>> grid_marks{
      {{0, 0}, qRgb(255, 255, 255)}, {{25, 5}, qRgb(0, 0, 0)}, {{25, 25}, qRgb(255, 255, 255)}};
  return {
      {"gray8", {{"mode", "Gray"}, {"depth", "8"}, pattern},
       QStringList{"--mode", "Gray", "--depth", "8"} + ref_pattern, 0, 0, page,
       {{{0, 0}, grey}, {{12, 14}, qRgb(2, 2, 2)}, {{12, 28}, qRgb(253, 253, 253)}}},
      {"color8", {{"mode", "Color"}, {"depth", "8"}, pattern},
       QStringList{"--mode", "Color", "--depth", "8"} + ref_pattern, 0, 0, page, colour_marks},
      {"color16", {{"mode", "Color"}, {"depth", "16"}, pattern},
       QStringList{"--mode", "Color", "--depth", "16"} + ref_pattern, 0, 1, page, {{{0, 0}, grey}}},
      {"lineart", {{"mode", "Gray"}, {"depth", "1"}, grid},
       QStringList{"--mode", "Gray", "--depth", "1"} + ref_grid, 0, 0, page, grid_marks},
      // In colour, a set bit is full intensity: white squares stay white.
      {"color1", {{"mode", "Color"}, {"depth", "1"}, grid}, {}, 0, 0, page, grid_marks},
      {"three_pass", {{"mode", "Color"}, {"three-pass", "yes"}, pattern},
       QStringList{"--mode", "Color", "--three-pass=yes"} + ref_pattern, 0, 0, page, colour_marks},
      {"three_pass_bgr", {{"mode", "Color"}, {"three-pass", "yes"}, {"three-pass-order", "BGR"}, pattern},
       QStringList{"--mode", "Color"} + ref_pattern, 0, 0, page, colour_marks},
      {"hand_scanner", {{"mode", "Color"}, {"hand-scanner", "yes"}, pattern},
       QStringList{"--mode", "Color", "--hand-scanner=yes"} + ref_pattern, 0, 0, QSize(216, 334),
       {{{0, 0}, grey}}},
      // Lines carry 7 unused pixels at their end (SANE's command-line scanner
      // writes them into the picture, so the reference is the full-width
      // scan's first 150 columns), and reads return odd amounts.
      {"padded_lines_small_reads",
       {{"mode", "Color"}, {"ppl-loss", "7"}, {"read-limit", "yes"}, {"read-limit-size", "997"}, pattern},
       QStringList{"--mode", "Color"} + ref_pattern, 150, 0, QSize(150, 196), colour_marks},
  };
}

// Restores the loader's library name when a test that changed it ends.
struct LibraryNameGuard {
  QString saved = sources::sane_library_name();
  ~LibraryNameGuard() { sources::set_sane_library_name(saved); }
};

inline QByteArray file_bytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void write_bytes(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write(bytes);
}

}  // namespace scan_test
