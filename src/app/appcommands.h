#pragma once

#include <QObject>

#include <functional>

class QAction;
class QMainWindow;
class QMenu;

namespace velmora {

class Updater;

// The main window's menus: the standard text-editing commands, Quit, About and the update
// items. Subsystems that own a command add it to the menu the command belongs to. Titles are
// re-read in the in-app language whenever it changes.
class AppCommands : public QObject {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> quit;
        std::function<void()> about;
    };

    AppCommands(QMainWindow &window, Updater &updater, Actions actions, QObject *parent = nullptr);

    QMenu *fileMenu() const { return m_file; }
    QMenu *editMenu() const { return m_edit; }
    // Filled by the subsystems whose commands belong there (text size, sidebar, lists).
    QMenu *viewMenu() const { return m_view; }
    QMenu *helpMenu() const { return m_help; }

    QAction *checkForUpdatesAction() const { return m_checkForUpdates; }
    QAction *automaticChecksAction() const { return m_automaticChecks; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void retranslate();
    void followUpdater();
    void refreshEditing();

    QMainWindow &m_window;
    Updater &m_updater;
    Actions m_actions;
    QMenu *m_file;
    QMenu *m_edit;
    QMenu *m_view;
    QMenu *m_help;
    QAction *m_quit;
    QAction *m_undo;
    QAction *m_redo;
    QAction *m_cut;
    QAction *m_copy;
    QAction *m_paste;
    QAction *m_delete;
    QAction *m_selectAll;
    QAction *m_about;
    QAction *m_checkForUpdates;
    QAction *m_automaticChecks;
};

} // namespace velmora
