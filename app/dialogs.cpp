#include "dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QSettings>
#include <QTemporaryDir>
#include <QStringList>

namespace app {

namespace {

// The spellings a pattern stands for, so that the dialog shows a picture
// whatever the letter case of its extension.
QStringList spellings(const QString& pattern) {
    if (pattern == QLatin1String("*.*") || pattern == QLatin1String("*")) return {QStringLiteral("*")};
    QStringList out;
    auto add = [&](const QString& p) {
        if (!out.contains(p)) out << p;
    };
    const QString lower = pattern.toLower();
    QStringList bases{lower};
    if (lower == QLatin1String("*.jpg") || lower == QLatin1String("*.jpeg")) bases = {"*.jpg", "*.jpeg"};
    for (const QString& b : bases) {
        add(b);
        add(b.toUpper());
    }
    return out;
}

// Qt's open-file dialog keeps the folders it visited in the user's
// configuration (QtProject.conf), whatever it is asked. This program keeps no
// settings, so from the first dialog on Qt's user settings go to a private
// folder that goes when the program ends.
void keep_settings_private() {
    static const QTemporaryDir folder(QDir::temp().filePath(QStringLiteral("selection_image-XXXXXX")));
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, folder.path());
}

}  // namespace

QStringList name_filters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            for (const QString& s : spellings(p.trimmed()))
                if (!patterns.contains(s)) patterns << s;
        out << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return out;
}

WindowDialogs system_dialogs() {
    WindowDialogs d;
    d.inform = [](QWidget* owner, const QString& text, QMessageBox::Icon icon) {
        QMessageBox box(icon, QApplication::applicationDisplayName(), text, QMessageBox::Ok, owner);
        box.exec();
    };
    d.ask = [](QWidget* owner, const QString& text, QMessageBox::StandardButtons buttons, QMessageBox::Icon icon) {
        QMessageBox box(icon, QApplication::applicationDisplayName(), text, buttons, owner);
        return static_cast<QMessageBox::StandardButton>(box.exec());
    };
    d.open_file = [](QWidget* owner, const QString& title, const QString& start_folder, const QString& filter,
                     const QString& default_name) {
        keep_settings_private();
        QFileDialog dialog(owner, title, start_folder);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setNameFilters(name_filters(filter));
        dialog.setDefaultSuffix(QStringLiteral("JPG"));
        if (!default_name.isEmpty()) dialog.selectFile(default_name);
        if (dialog.exec() != QDialog::Accepted) return QString();
        const QStringList chosen = dialog.selectedFiles();
        return chosen.isEmpty() ? QString() : chosen.first();
    };
    return d;
}

}  // namespace app
