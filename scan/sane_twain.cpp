#include "sane_twain.h"

#include "atomic_file.h"
#include "sane_device_dialog.h"
#include "scan_progress_dialog.h"

#include <QMessageBox>

using namespace scan;

namespace {

struct TwainState {
  QString last_error;
  QString selected_device;
  std::vector<ScanOptionSetting> options;
};

TwainState& twain() {
  static TwainState s;
  return s;
}

const QString kNoScanner = QStringLiteral("Aucun scanner n'a été trouvé.");

// What a worker learns about SANE before any dialog of ours can show.
struct Discovery {
  const SaneLibrary* sane = nullptr;
  bool listed = false;
  std::vector<SaneDeviceInfo> devices;
  QString error;
};

void discover(Discovery& d) {
  d.sane = sane_library(&d.error);
  if (d.sane) d.listed = list_sane_devices(*d.sane, &d.devices, &d.error);
}

int fail(int code, QString reason) {
  twain().last_error = std::move(reason);
  return code;
}

}  // namespace

int TWAIN_SelectImageSource(QWidget* window) {
  twain().last_error.clear();
  Discovery d;
  ScanControl control;
  run_with_progress(window, QStringLiteral("Recherche des scanners…"), control, false, 300, [&] { discover(d); });
  if (!d.sane) return fail(kTwainUnavailable, d.error);
  if (!d.listed) return fail(kTwainFailed, d.error);
  if (d.devices.empty()) {
    QMessageBox::information(window, QString(), kNoScanner);
    return fail(kTwainNoDevice, kNoScanner);
  }
  SaneDeviceDialog dialog(window, d.devices, twain().selected_device);
  if (dialog.exec() != QDialog::Accepted || dialog.selected_device().isEmpty()) return kTwainCancelled;
  twain().selected_device = dialog.selected_device();
  return kTwainOk;
}

int TWAIN_AcquireToFilename(QWidget* window, const QString& path) {
  twain().last_error.clear();
  Discovery d;
  ScanOutcome outcome;
  QString device = twain().selected_device;
  const std::vector<ScanOptionSetting> options = twain().options;
  ScanControl control;
  run_with_progress(window, QStringLiteral("Numérisation en cours…"), control, true, 0, [&] {
    if (device.isEmpty()) {
      discover(d);
      if (!d.sane || !d.listed) return;
      if (d.devices.empty()) {
        d.error = kNoScanner;
        return;
      }
      device = d.devices.front().name;
    } else {
      d.sane = sane_library(&d.error);
      if (!d.sane) return;
      d.listed = true;
    }
    outcome = scan_one_page(*d.sane, device, options, control);
  });
  if (!d.sane) return fail(kTwainUnavailable, d.error);
  if (!d.listed) return fail(kTwainFailed, d.error);
  if (device.isEmpty()) return fail(kTwainNoDevice, d.error);
  switch (outcome.status) {
    case ScanOutcome::Status::Cancelled:
      return kTwainCancelled;
    case ScanOutcome::Status::Failed:
      return fail(kTwainFailed, outcome.error);
    case ScanOutcome::Status::Done:
      break;
  }
  QString error;
  if (!storage::replace_file_atomically(path, outcome.bitmap_file.data(), outcome.bitmap_file.size(), &error))
    return fail(kTwainFailed, error);
  return kTwainOk;
}

QString twain_last_error() { return twain().last_error; }
QString twain_selected_device() { return twain().selected_device; }
void twain_forget_selected_device() { twain().selected_device.clear(); }
void twain_set_scan_options(std::vector<ScanOptionSetting> options) { twain().options = std::move(options); }
