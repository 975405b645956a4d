#pragma once
#include "sane_scan.h"

#include <QDialog>
#include <vector>

class QTreeWidget;

namespace scan {

// Modal list of the scanners (vendor, model, name), one row each; OK takes the
// highlighted one, as does a double click.
class SaneDeviceDialog : public QDialog {
    Q_OBJECT
public:
    SaneDeviceDialog(QWidget* parent, const std::vector<SaneDeviceInfo>& devices, const QString& current);

    // The device name of the highlighted row; empty when none is.
    QString selected_device() const;
    // Highlights the row of `name`; false when no row has it.
    bool select_device(const QString& name);

private:
    QTreeWidget* list_;
};

}  // namespace scan
