#pragma once
#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

namespace app {

// The window's modal questions, messages and its open-file dialog, as
// replaceable functions: the program uses the system's, tests answer them
// without a modal loop.
struct WindowDialogs {
    // A message with the OK button only; the box has no title of its own
    // (the application's name is shown).
    std::function<void(QWidget* owner, const QString& text, QMessageBox::Icon icon)> inform;
    // A question; returns the button the user chose.
    std::function<QMessageBox::StandardButton(QWidget* owner, const QString& text, QMessageBox::StandardButtons buttons,
                                              QMessageBox::Icon icon)>
        ask;
    // The open-file dialog: `filter` is "Description|pattern|Description|pattern...".
    // Returns the chosen file's full path, or an empty string (cancelled).
    std::function<QString(QWidget* owner, const QString& title, const QString& start_folder, const QString& filter,
                          const QString& default_name)>
        open_file;
};

// The system's message boxes and open-file dialog.
WindowDialogs system_dialogs();

// "JPEG|*.jpg|Bitmap|*.BMP|DICOM|*.dcm|Tous|*.*" as the dialog's name filters. Extensions
// match in any letter case ("*.jpg" also shows .JPG, .jpeg and .JPEG; "*.BMP"
// also shows .bmp), and "*.*" shows every file, with or without a dot.
QStringList name_filters(const QString& filter);

}  // namespace app
