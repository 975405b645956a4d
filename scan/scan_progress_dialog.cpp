#include "scan_progress_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>
#include <thread>

namespace scan {

ScanProgressDialog::ScanProgressDialog(QWidget* parent, const QString& text, ScanControl& control, bool cancellable)
    : QDialog(parent), control_(control) {
    setObjectName(QStringLiteral("scan_progress_dialog"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    if (!cancellable) setWindowFlag(Qt::WindowCloseButtonHint, false);
    label_ = new QLabel(text, this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 1000);
    bar_->setTextVisible(false);
    cancel_ = new QPushButton(QStringLiteral("Annuler"), this);
    cancel_->setObjectName(QStringLiteral("cancel"));
    cancel_->setVisible(cancellable);
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &ScanProgressDialog::request_cancel);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    layout->addLayout(buttons);
    setMinimumWidth(320);

    timer_ = new QTimer(this);
    timer_->setInterval(40);
    connect(timer_, &QTimer::timeout, this, &ScanProgressDialog::poll);
    timer_->start();
}

void ScanProgressDialog::poll() {
    if (finished_ && finished_->load()) {
        timer_->stop();
        accept();
        return;
    }
    const int permille = control_.permille.load();
    if (permille < 0) {
        if (bar_->maximum() != 0) bar_->setRange(0, 0);
    } else {
        if (bar_->maximum() == 0) bar_->setRange(0, 1000);
        bar_->setValue(permille);
    }
}

void ScanProgressDialog::request_cancel() {
    if (!cancel_->isVisible() || control_.cancel_requested) return;
    control_.cancel_requested = true;
    cancel_->setEnabled(false);
    label_->setText(QStringLiteral("Annulation en cours…"));
}

void ScanProgressDialog::reject() { request_cancel(); }

void run_with_progress(QWidget* parent, const QString& text, ScanControl& control, bool cancellable, int quiet_ms,
                       const std::function<void()>& work) {
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        work();
        finished = true;
    });
    const auto quiet_end = std::chrono::steady_clock::now() + std::chrono::milliseconds(quiet_ms);
    while (!finished && std::chrono::steady_clock::now() < quiet_end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (!finished) {
        ScanProgressDialog dialog(parent, text, control, cancellable);
        dialog.set_finished_flag(&finished);
        dialog.exec();
    }
    // The dialog only ends by itself once the work is over; if something else
    // ended it, the work must not run on unseen.
    if (!finished && cancellable) control.cancel_requested = true;
    worker.join();
}

}  // namespace scan
