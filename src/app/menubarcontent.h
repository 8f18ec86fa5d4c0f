#pragma once

#include <QObject>

#include <functional>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace velmora {

class AppLanguage;
class Defaults;

// The tray item and its menu: open the window, open Settings, free model memory, quit. Shown while
// The tray item and its menu: open the window, copy the last dictation, free model memory, quit. Shown while
// "showInMenuBar" is true; the titles are built in the in-app language each time the menu
// opens. Without a tray on the desktop nothing is shown and the program works on.
class MenuBarContent : public QObject {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> openMainWindow;
        // Opens the main window on the Settings page.
        std::function<void()> openSettings;
        std::function<bool()> hasLatestTranscript;
        std::function<void()> copyLastTranscript;
        std::function<bool()> hasLoadedModels;
        std::function<void()> freeUpMemory;
        std::function<void()> quit;
    };

    MenuBarContent(AppLanguage &language, Defaults &defaults, Actions actions, QObject *parent = nullptr);
    ~MenuBarContent() override;

    // The menu as it is shown (tests open it without a tray).
    QMenu *menu() const { return m_menu; }
    // Rebuilds titles and enabled states, as when the menu is about to show.
    void refresh();
    bool isTrayAvailable() const;
    bool isShown() const;

private:
    void follow();

    AppLanguage &m_language;
    Defaults &m_defaults;
    Actions m_actions;
    QMenu *m_menu;
    QSystemTrayIcon *m_tray;
    QAction *m_open;
    QAction *m_settings;
    QAction *m_copyLastTranscript;
    QAction *m_freeUpMemory;
    QAction *m_quit;
    bool m_noTrayLogged = false;
};

} // namespace velmora
