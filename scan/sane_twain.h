#pragma once
#include "sane_scan.h"

#include <QString>
#include <vector>

class QWidget;

// The two scanner calls the window makes. Results: 0 on success, otherwise
// one of the codes below; twain_last_error() then tells why.
enum TwainResult : int {
  kTwainOk = 0,
  kTwainCancelled = 1,    // the user stopped; twain_last_error() is empty
  kTwainFailed = 2,       // the device or the file failed
  kTwainNoDevice = 3,     // no scanner found
  kTwainUnavailable = -1  // the SANE library cannot be loaded or started
};

// Shows the scanners in a modal list over `window`; the one chosen is used by
// every later acquisition of this run. With no scanner, says so in a message
// box. Returns kTwainOk when a scanner was chosen.
int TWAIN_SelectImageSource(QWidget* window);

// Scans one page from the chosen scanner (the first one found when none was
// chosen) while a modal progress dialog over `window` offers to cancel, and
// writes it to `path` as a 24-bit Windows bitmap file, replacing any file
// there in one step. Returns kTwainOk only when the file is there.
int TWAIN_AcquireToFilename(QWidget* window, const QString& path);

// Why the last call above did not return kTwainOk.
QString twain_last_error();

// The scanner chosen in this run; empty before any choice.
QString twain_selected_device();
void twain_forget_selected_device();

// Options set on the device before every acquisition (empty by default: the
// device's own settings apply).
void twain_set_scan_options(std::vector<scan::ScanOptionSetting> options);
