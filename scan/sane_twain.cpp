#include "sane_twain.h"

#include "atomic_file.h"
#include "sane_device_dialog.h"
#include "scan_progress_dialog.h"

#include <QMessageBox>

namespace scan {

namespace {

struct TwainState {
    QString selected_device;
    std::vector<ScanOptionSetting> options;
};

TwainState& twain() {
    static TwainState s;
    return s;
}

const QString kNoScanner = QStringLiteral("Aucun scanner n'a été trouvé.");

// The library and its devices, looked up on a worker thread: both can take
// seconds (network scanners), while the window stays drawn.
core::Result<std::vector<SaneDeviceInfo>> find_devices() {
    const auto sane = sane_library();
    if (!sane) return core::fail(sane.error());
    return list_sane_devices(**sane);
}

}  // namespace

core::Result<bool> select_source(QWidget* window) {
    core::Result<std::vector<SaneDeviceInfo>> devices = core::fail("");
    ScanControl control;
    run_with_progress(window, QStringLiteral("Recherche des scanners…"), control, false, 300,
                      [&] { devices = find_devices(); });
    if (!devices) return core::fail(devices.error());
    if (devices->empty()) {
        QMessageBox::information(window, QString(), kNoScanner);
        return false;
    }
    SaneDeviceDialog dialog(window, *devices, twain().selected_device);
    if (dialog.exec() != QDialog::Accepted || dialog.selected_device().isEmpty()) return false;
    twain().selected_device = dialog.selected_device();
    return true;
}

core::Result<bool> acquire_to_file(QWidget* window, const QString& path) {
    core::Result<std::optional<ScannedPage>> page = core::fail("");
    const QString chosen = twain().selected_device;
    const std::vector<ScanOptionSetting> options = twain().options;
    ScanControl control;
    run_with_progress(window, QStringLiteral("Numérisation en cours…"), control, true, 0, [&] {
        const auto sane = sane_library();
        if (!sane) {
            page = core::fail(sane.error());
            return;
        }
        QString device = chosen;
        if (device.isEmpty()) {
            const auto devices = list_sane_devices(**sane);
            if (!devices || devices->empty()) {
                page = core::fail(devices ? core::Failure(kNoScanner) : devices.error());
                return;
            }
            device = devices->front().name;
        }
        page = scan_one_page(**sane, device, options, control);
    });
    if (!page) return core::fail(page.error());
    if (!*page) return false;
    const ScannedPage& file = **page;
    if (auto written = storage::replace_file_atomically(path, file.data(), file.size()); !written)
        return core::fail(written.error());
    return true;
}

QString selected_device() { return twain().selected_device; }
void forget_selected_device() { twain().selected_device.clear(); }
void set_scan_options(std::vector<ScanOptionSetting> options) { twain().options = std::move(options); }

}  // namespace scan

namespace {

int twain_code(const core::Result<bool>& done) {
    if (!scan::sane_library()) return kTwainUnavailable;
    return !done ? kTwainFailed : *done ? kTwainOk : kTwainCancelled;
}

}  // namespace

int TWAIN_SelectImageSource(QWidget* window) { return twain_code(scan::select_source(window)); }

int TWAIN_AcquireToFilename(QWidget* window, const QString& path) {
    return twain_code(scan::acquire_to_file(window, path));
}
