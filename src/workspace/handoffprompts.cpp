#include "workspace/handoffprompts.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QStandardPaths>

namespace velmora {

void DialogHandoffPrompts::askSavePath(const QString &proposedName, std::function<void(std::optional<QString>)> done) {
    auto *dialog = new QFileDialog(
        QApplication::activeWindow(),
        QCoreApplication::translate("SendTo", "Save as File…", "Send to menu item: saves the text as a .txt file"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setMimeTypeFilters({QStringLiteral("text/plain")});
    dialog->setDefaultSuffix(QStringLiteral("txt"));
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::homePath();
    dialog->setDirectory(folder);
    dialog->selectFile(proposedName);
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
        const QStringList files = dialog->selectedFiles();
        if (result == QDialog::Accepted && !files.isEmpty() && !files.first().isEmpty())
            done(files.first());
        else
            done(std::nullopt);
    });
    dialog->open();
}

void DialogHandoffPrompts::showFailure(const QString &message, const QString &detail) {
    auto *box = new QMessageBox(QMessageBox::Warning, message, message, QMessageBox::Ok, QApplication::activeWindow());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(detail);
    box->open();
}

bool DialogHandoffPrompts::popupAtPointer(QMenu *menu) {
    if (!QApplication::activeWindow()) {
        delete menu;
        return false;
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(QCursor::pos());
    return true;
}

} // namespace velmora
