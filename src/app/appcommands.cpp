#include "app/appcommands.h"

#include "app/updater.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace velmora {

namespace {
// The focused text widget's editing slot, when it has one ("undo", "copy", …).
bool focusCan(const char *slot) {
    QWidget *focus = QApplication::focusWidget();
    if (!focus)
        return false;
    const QByteArray signature = QByteArray(slot) + "()";
    return focus->metaObject()->indexOfSlot(signature.constData()) >= 0;
}

void sendToFocus(const char *slot) {
    if (QWidget *focus = QApplication::focusWidget(); focus && focusCan(slot))
        QMetaObject::invokeMethod(focus, slot);
}

// Deletes the selection of the focused text field.
void deleteSelection() {
    QWidget *focus = QApplication::focusWidget();
    if (auto *line = qobject_cast<QLineEdit *>(focus))
        line->del();
    else if (auto *text = qobject_cast<QTextEdit *>(focus))
        text->textCursor().removeSelectedText();
    else if (auto *plain = qobject_cast<QPlainTextEdit *>(focus))
        plain->textCursor().removeSelectedText();
}

bool focusIsReadOnly() {
    QWidget *focus = QApplication::focusWidget();
    if (auto *line = qobject_cast<QLineEdit *>(focus))
        return line->isReadOnly();
    if (auto *text = qobject_cast<QTextEdit *>(focus))
        return text->isReadOnly();
    if (auto *plain = qobject_cast<QPlainTextEdit *>(focus))
        return plain->isReadOnly();
    return true;
}
} // namespace

AppCommands::AppCommands(QMainWindow &window, Updater &updater, Actions actions, QObject *parent)
    : QObject(parent), m_window(window), m_updater(updater), m_actions(std::move(actions)) {
    QMenuBar *bar = window.menuBar();
    m_file = bar->addMenu(QString());
    m_file->setObjectName(QStringLiteral("fileMenu"));
    m_quit = m_file->addAction(QString(), this, [this] { m_actions.quit(); });
    m_quit->setShortcut(QKeySequence::Quit);
    m_quit->setObjectName(QStringLiteral("quit"));

    m_edit = bar->addMenu(QString());
    m_edit->setObjectName(QStringLiteral("editMenu"));
    m_undo = m_edit->addAction(QString(), this, [] { sendToFocus("undo"); });
    m_undo->setShortcut(QKeySequence::Undo);
    m_redo = m_edit->addAction(QString(), this, [] { sendToFocus("redo"); });
    m_redo->setShortcut(QKeySequence::Redo);
    m_edit->addSeparator();
    m_cut = m_edit->addAction(QString(), this, [] { sendToFocus("cut"); });
    m_cut->setShortcut(QKeySequence::Cut);
    m_copy = m_edit->addAction(QString(), this, [] { sendToFocus("copy"); });
    m_copy->setShortcut(QKeySequence::Copy);
    m_paste = m_edit->addAction(QString(), this, [] { sendToFocus("paste"); });
    m_paste->setShortcut(QKeySequence::Paste);
    m_delete = m_edit->addAction(QString(), this, [] { deleteSelection(); });
    m_edit->addSeparator();
    m_selectAll = m_edit->addAction(QString(), this, [] { sendToFocus("selectAll"); });
    m_selectAll->setShortcut(QKeySequence::SelectAll);
    // The text widgets answer these keys themselves; the menu shows them and serves clicks.
    for (QAction *a : {m_undo, m_redo, m_cut, m_copy, m_paste, m_selectAll})
        a->setShortcutContext(Qt::WidgetShortcut);
    connect(m_edit, &QMenu::aboutToShow, this, &AppCommands::refreshEditing);

    m_view = bar->addMenu(QString());
    m_view->setObjectName(QStringLiteral("viewMenu"));

    m_help = bar->addMenu(QString());
    m_help->setObjectName(QStringLiteral("helpMenu"));
    m_about = m_help->addAction(QString(), this, [this] { m_actions.about(); });
    m_help->addSeparator();
    m_checkForUpdates = m_help->addAction(QString(), this, [this] { m_updater.checkForUpdates(); });
    m_checkForUpdates->setObjectName(QStringLiteral("checkForUpdates"));
    m_automaticChecks = m_help->addAction(QString());
    m_automaticChecks->setObjectName(QStringLiteral("automaticallyCheckForUpdates"));
    m_automaticChecks->setCheckable(true);
    connect(m_automaticChecks, &QAction::triggered, this,
            [this](bool on) { m_updater.setAutomaticallyChecksForUpdates(on); });
    connect(&m_updater, &Updater::changed, this, &AppCommands::followUpdater);
    followUpdater();

    window.installEventFilter(this);
    retranslate();
}

bool AppCommands::eventFilter(QObject *watched, QEvent *event) {
    if (watched == &m_window && event->type() == QEvent::LanguageChange)
        retranslate();
    return QObject::eventFilter(watched, event);
}

void AppCommands::followUpdater() {
    m_checkForUpdates->setEnabled(m_updater.canCheckForUpdates());
    m_automaticChecks->setEnabled(m_updater.hasController());
    // The toggle shows what the framework reports, not what was clicked.
    m_automaticChecks->setChecked(m_updater.automaticallyChecksForUpdates());
}

void AppCommands::refreshEditing() {
    const bool editable = !focusIsReadOnly();
    m_undo->setEnabled(editable && focusCan("undo"));
    m_redo->setEnabled(editable && focusCan("redo"));
    m_cut->setEnabled(editable && focusCan("cut"));
    m_copy->setEnabled(focusCan("copy"));
    m_paste->setEnabled(editable && focusCan("paste"));
    m_delete->setEnabled(editable && focusCan("cut"));
    m_selectAll->setEnabled(focusCan("selectAll"));
}

void AppCommands::retranslate() {
    m_file->setTitle(QCoreApplication::translate("MenuBar", "&File", "Menu title"));
    m_quit->setText(QCoreApplication::translate("MenuBar", "Quit Velmora", "Menu item that quits the program"));
    m_edit->setTitle(QCoreApplication::translate("MenuBar", "&Edit", "Menu title"));
    m_undo->setText(QCoreApplication::translate("MenuBar", "Undo", "Edit menu item"));
    m_redo->setText(QCoreApplication::translate("MenuBar", "Redo", "Edit menu item"));
    m_cut->setText(QCoreApplication::translate("MenuBar", "Cut", "Edit menu item"));
    m_copy->setText(QCoreApplication::translate("MenuBar", "Copy", "Edit menu item"));
    m_paste->setText(QCoreApplication::translate("MenuBar", "Paste", "Edit menu item"));
    m_delete->setText(QCoreApplication::translate("MenuBar", "Delete", "Edit menu item"));
    m_selectAll->setText(QCoreApplication::translate("MenuBar", "Select All", "Edit menu item"));
    m_view->setTitle(QCoreApplication::translate("MenuBar", "&View", "Menu title"));
    m_help->setTitle(QCoreApplication::translate("MenuBar", "&Help", "Menu title"));
    m_about->setText(QCoreApplication::translate("MenuBar", "About Velmora", "Help menu item"));
    m_checkForUpdates->setText(
        QCoreApplication::translate("Localizable", "Check for Updates…", "Menu item that checks for a newer version"));
    m_automaticChecks->setText(QCoreApplication::translate("Localizable", "Automatically Check for Updates",
                                                           "Menu toggle for scheduled update checks"));
}

} // namespace velmora
