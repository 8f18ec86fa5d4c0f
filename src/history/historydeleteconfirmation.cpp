#include "history/historydeleteconfirmation.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

namespace velmora {

QMessageBox *HistoryDeleteConfirmation::open(QWidget *parent, const HistoryEntry &entry,
                                             std::function<void(const HistoryEntry &)> perform) {
    auto *box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setWindowModality(Qt::WindowModal);
    const QString title =
        QCoreApplication::translate("Workspace", "Delete this entry?", "Delete History entry confirmation");
    box->setWindowTitle(title);
    box->setText(title);
    box->setInformativeText(
        QCoreApplication::translate("Workspace", "This can't be undone.", "Delete History entry confirmation message"));
    QPushButton *remove = box->addButton(QCoreApplication::translate("Workspace", "Delete", "History entry button"),
                                         QMessageBox::DestructiveRole);
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    QObject::connect(remove, &QPushButton::clicked, box, [entry, perform = std::move(perform)] { perform(entry); });
    box->open();
    return box;
}

} // namespace velmora
