#include "scan_flow.h"

#include "DIWriteJpg.h"
#include "picture_loader.h"
#include "sane_twain.h"
#include "staging_file.h"

#include <QCoreApplication>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace record {
namespace {

constexpr int kScanQuality = 80;

void report(const StoreDialogs& dialogs, const QString& message, const QString& reason) {
  if (dialogs.report_error) dialogs.report_error(message + QStringLiteral(": ") + reason);
}

bool readable(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly);
}

}  // namespace

void twain_select_flow(QWidget* window, const StoreDialogs& dialogs) {
  const int result = TWAIN_SelectImageSource(window);
  if ((result == kTwainUnavailable || result == kTwainFailed) && dialogs.report_error)
    dialogs.report_error(kTwainSelectErrorPrefix + twain_last_error());
}

ScanFlowResult acquire_flow(QWidget* window, const QString& record_path, const StoreDialogs& dialogs) {
  QString error;
  const QString staging = storage::staging_path(&error);
  if (staging.isEmpty()) {
    report(dialogs, kScanUnknownError, error);
    return {};
  }
  return acquire_flow(window, record_path, dialogs, staging);
}

ScanFlowResult acquire_flow(QWidget* window, const QString& record_path, const StoreDialogs& dialogs,
                            const QString& staging) {
  // The scan lands in a file of this process's own beside the staging file,
  // and becomes the staging file only under the staging lock: a scan can take
  // minutes, and other copies of the program must be able to save meanwhile.
  const QString scan_file =
      staging + QStringLiteral(".scan-%1").arg(QCoreApplication::applicationPid());
  QFile::remove(scan_file);

  const int result = TWAIN_AcquireToFilename(window, scan_file);
  if (result != kTwainOk) {
    QFile::remove(scan_file);
    report(dialogs, result == kTwainUnavailable ? kScanUnknownError : kScanTwainError, twain_last_error());
    return {};
  }

  QString error;
  {
    storage::StagingLock lock(staging);
    if (!lock.acquire(&error)) {
      QFile::remove(scan_file);
      report(dialogs, kScanUnknownError, error);
      return {};
    }
    if (std::rename(QFile::encodeName(scan_file).constData(), QFile::encodeName(staging).constData()) != 0) {
      error = QStringLiteral("%1 : %2").arg(staging, QString::fromLocal8Bit(std::strerror(errno)));
      QFile::remove(scan_file);
      report(dialogs, kScanUnknownError, error);
      return {};
    }
    // The record's file is replaced in one step by the writer, never deleted
    // first: if the conversion fails, the old picture stays.
    int written = kDIWriteJpgNoStaging;
    if (readable(staging)) written = storage::write_jpeg_from_bitmap(staging, record_path, kScanQuality, &error);
    else error = QStringLiteral("%1 : fichier du scan absent").arg(staging);
    QFile::remove(staging);
    if (written != kDIWriteJpgOk) {
      report(dialogs, kScanUnknownError, error);
      return {};
    }
  }

  ScanFlowResult out;
  out.picture = sources::load_picture(record_path, &error);
  if (out.picture.isNull()) {
    report(dialogs, kScanUnknownError, error);
    return {};
  }
  out.changed = true;
  return out;
}

}  // namespace record
