#include "sane_device_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace scan {

SaneDeviceDialog::SaneDeviceDialog(QWidget* parent, const std::vector<SaneDeviceInfo>& devices, const QString& current)
    : QDialog(parent) {
    setObjectName(QStringLiteral("sane_device_dialog"));
    setWindowTitle(QStringLiteral("Choix du scanner"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("devices"));
    list_->setRootIsDecorated(false);
    list_->setColumnCount(3);
    list_->setHeaderLabels({QStringLiteral("Fabricant"), QStringLiteral("Modèle"), QStringLiteral("Nom")});
    for (const SaneDeviceInfo& device : devices) {
        auto* item = new QTreeWidgetItem(list_, {device.vendor, device.model, device.name});
        item->setToolTip(1, device.type);
    }
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    if (!select_device(current) && list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Annuler"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_);
    layout->addWidget(buttons);
    resize(480, 240);
}

QString SaneDeviceDialog::selected_device() const {
    const QTreeWidgetItem* item = list_->currentItem();
    return item ? item->text(2) : QString();
}

bool SaneDeviceDialog::select_device(const QString& name) {
    if (name.isEmpty()) return false;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        if (list_->topLevelItem(i)->text(2) == name) {
            list_->setCurrentItem(list_->topLevelItem(i));
            return true;
        }
    }
    return false;
}

}  // namespace scan
