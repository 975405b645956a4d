#pragma once
#include "result.h"
#include "sane_scan.h"

#include <QString>
#include <vector>

class QWidget;

// The two scanner calls, named as the program has always called them although
// they drive SANE: 0 on success, otherwise one of the codes below. Nothing in
// the program calls them any more: the window and the record's scan use
// scan::select_source and scan::acquire_to_file below, which say why they
// failed.
enum TwainResult : int {
    kTwainOk = 0,
    kTwainCancelled = 1,    // the user stopped, or there was no scanner to choose
    kTwainFailed = 2,       // the device or the file failed
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

namespace scan {

// What lies behind the two calls, with the reasons: true when a scanner was
// chosen, or when the page is in the file; false when the user stopped (or,
// choosing, when no scanner was found).
core::Result<bool> select_source(QWidget* window);
core::Result<bool> acquire_to_file(QWidget* window, const QString& path);

// The scanner chosen in this run; empty before any choice.
QString selected_device();
void forget_selected_device();

// Options set on the device before every acquisition (empty by default: the
// device's own settings apply).
void set_scan_options(std::vector<ScanOptionSetting> options);

}  // namespace scan
