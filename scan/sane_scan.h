#pragma once
#include "sane_library.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "result.h"

namespace scan {

struct SaneDeviceInfo {
    QString name;  // what sane_open takes
    QString vendor;
    QString model;
    QString type;
};

// The devices the library finds now; an empty list is no failure.
core::Result<std::vector<SaneDeviceInfo>> list_sane_devices(const SaneLibrary& sane);

// An option of the device set before scanning, by its SANE name ("mode",
// "depth", "resolution", ...). The value is text: a word for lists and text
// options, yes/no (or true/false, 1/0) for switches, a number otherwise.
struct ScanOptionSetting {
    QString name;
    QString value;
};

// Shared between the thread that scans and the one that shows the progress.
struct ScanControl {
    std::atomic<bool> cancel_requested{false};
    std::atomic<int> permille{-1};  // -1: the length of the scan is not known
};

// One scanned page: a 24-bit Windows bitmap file.
using ScannedPage = std::vector<std::uint8_t>;

// Opens `device`, sets `options` in their order, scans one page (every frame
// of it) and closes the device. Blocks until done; meant for a worker thread.
// Stops between two reads once control.cancel_requested is set: no page then.
core::Result<std::optional<ScannedPage>> scan_one_page(const SaneLibrary& sane, const QString& device,
                                                       const std::vector<ScanOptionSetting>& options,
                                                       ScanControl& control);

}  // namespace scan
