#pragma once

#include <QObject>

#include <functional>

class QAction;

namespace velmora {

class AppCommands;
class AppNavigation;
class Defaults;
class NavigationCommands;
class PinnedTools;

// The workspace's commands in the main window's menus: the sidebar and list toggles in View,
// "Settings…" at the end of Edit, and the Go menu before Help. Titles and enabled states follow
// the navigation and the interface language. Main thread only.
class WorkspaceCommands : public QObject {
    Q_OBJECT
public:
    // openMainWindow shows the main window (reopening it when closed) and raises it.
    WorkspaceCommands(AppCommands &commands, AppNavigation &navigation, PinnedTools &pins, Defaults &defaults,
                      std::function<void()> openMainWindow, QObject *parent = nullptr);

    NavigationCommands *goMenu() const { return m_go; }
    QAction *toggleSidebarAction() const { return m_sidebar; }
    QAction *toggleListAction() const { return m_list; }
    QAction *settingsAction() const { return m_settings; }

    // Opens the Settings page on the category it showed last, then the window.
    static void openSettings(AppNavigation &navigation, const std::function<void()> &openMainWindow);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refresh();

    AppNavigation &m_navigation;
    std::function<void()> m_openMainWindow;
    NavigationCommands *m_go;
    QAction *m_sidebar;
    QAction *m_list;
    QAction *m_settings;
};

} // namespace velmora
