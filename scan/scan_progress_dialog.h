#pragma once
#include "sane_scan.h"

#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace scan {

// Modal while a scanner works on another thread: shows how far the work is
// (from ScanControl::permille, or a busy bar when the length is unknown) and
// offers "Annuler", which asks the work to stop and waits for it to do so.
// Closes itself when the work is over.
class ScanProgressDialog : public QDialog {
    Q_OBJECT
public:
    ScanProgressDialog(QWidget* parent, const QString& text, ScanControl& control, bool cancellable);

    // Called from the poll timer; the work reports completion through this flag.
    void set_finished_flag(const std::atomic<bool>* finished) { finished_ = finished; }

    void reject() override;  // Escape and the window's close button cancel, never just hide

private:
    void poll();
    void request_cancel();

    ScanControl& control_;
    const std::atomic<bool>* finished_ = nullptr;
    QLabel* label_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    QTimer* timer_;
};

// Runs `work` on a worker thread and returns when it has finished. A modal
// ScanProgressDialog over `parent` shows meanwhile, unless the work ends
// within `quiet_ms` (so quick look-ups do not flash a window).
void run_with_progress(QWidget* parent, const QString& text, ScanControl& control, bool cancellable, int quiet_ms,
                       const std::function<void()>& work);

}  // namespace scan
