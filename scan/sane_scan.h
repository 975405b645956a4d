#pragma once
#include "sane_library.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <vector>

namespace scan {

struct SaneDeviceInfo {
  QString name;  // what sane_open takes
  QString vendor;
  QString model;
  QString type;
};

// The devices the library finds now. Returns false with the reason on failure;
// an empty list is no failure.
bool list_sane_devices(const SaneLibrary& sane, std::vector<SaneDeviceInfo>* devices, QString* error);

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

struct ScanOutcome {
  enum class Status { Done, Cancelled, Failed };
  Status status = Status::Failed;
  std::vector<std::uint8_t> bitmap_file;  // a 24-bit Windows bitmap file, when Done
  QString error;                          // why, when Failed
};

// Opens `device`, sets `options` in their order, scans one page (every frame
// of it) and closes the device. Blocks until done; meant for a worker thread.
// Stops between two reads once control.cancel_requested is set.
ScanOutcome scan_one_page(const SaneLibrary& sane, const QString& device,
                          const std::vector<ScanOptionSetting>& options, ScanControl& control);

}  // namespace scan
