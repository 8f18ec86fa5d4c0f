#include "app/menubarcontent.h"

#include "app/applanguage.h"
#include "app/appsettings.h"
#include "core/defaults.h"
#include "core/log.h"

#include <QCoreApplication>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>

namespace velmora {

MenuBarContent::MenuBarContent(AppLanguage &language, Defaults &defaults, Actions actions, QObject *parent)
    : QObject(parent), m_language(language), m_defaults(defaults), m_actions(std::move(actions)), m_menu(new QMenu()),
      m_tray(new QSystemTrayIcon(this)) {
    m_menu->setObjectName(QStringLiteral("trayMenu"));
    m_open = m_menu->addAction(QString(), this, [this] { m_actions.openMainWindow(); });
    m_settings = m_menu->addAction(QString(), this, [this] { m_actions.openSettings(); });
    m_copyLastTranscript = m_menu->addAction(QString(), this, [this] {
        if (m_actions.copyLastTranscript)
            m_actions.copyLastTranscript();
    });
    m_freeUpMemory = m_menu->addAction(QString(), this, [this] { m_actions.freeUpMemory(); });
    m_menu->addSeparator();
    m_quit = m_menu->addAction(QString(), this, [this] { m_actions.quit(); });
    m_open->setObjectName(QStringLiteral("openVelmora"));
    m_settings->setObjectName(QStringLiteral("settings"));
    m_copyLastTranscript->setObjectName(QStringLiteral("copyLastTranscript"));
    m_freeUpMemory->setObjectName(QStringLiteral("freeUpMemory"));
    m_quit->setObjectName(QStringLiteral("quitVelmora"));
    connect(m_menu, &QMenu::aboutToShow, this, &MenuBarContent::refresh);
    refresh();

    m_tray->setIcon(QIcon(QStringLiteral(":/icons/velmora.svg")));
    m_tray->setToolTip(QStringLiteral("Velmora"));
    m_tray->setContextMenu(m_menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_actions.openMainWindow();
    });
    connect(&m_defaults, &Defaults::changed, this, [this](const QString &key) {
        if (key == kShowInMenuBar.name)
            follow();
    });
    follow();
}

MenuBarContent::~MenuBarContent() {
    delete m_menu;
}

bool MenuBarContent::isTrayAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool MenuBarContent::isShown() const {
    return m_tray->isVisible();
}

void MenuBarContent::follow() {
    const bool wanted = m_defaults.get(kShowInMenuBar);
    if (wanted && !isTrayAvailable() && !m_noTrayLogged) {
        m_noTrayLogged = true;
        Log::app().notice("No system tray: the tray menu is not shown");
    }
    m_tray->setVisible(wanted);
}

void MenuBarContent::refresh() {
    // A system-language preference follows a change of the system's language.
    m_language.refreshLocale();
    m_open->setText(
        QCoreApplication::translate("MenuBar", "Open Velmora", "Tray menu item that shows the main window"));
    m_settings->setText(
        QCoreApplication::translate("Localizable", "Settings…", "Menu item that opens the Settings page"));
    m_copyLastTranscript->setText(QCoreApplication::translate(
        "Dictation", "Copy Last Transcript", "Tray menu item that copies the last dictated text to the clipboard"));
    m_copyLastTranscript->setEnabled(m_actions.hasLatestTranscript && m_actions.hasLatestTranscript());
    m_freeUpMemory->setText(QCoreApplication::translate(
        "MenuBar", "Free Up Memory", "Tray menu item that unloads the idle speech and writing models"));
    m_quit->setText(QCoreApplication::translate("MenuBar", "Quit Velmora", "Menu item that quits the program"));
    m_freeUpMemory->setEnabled(m_actions.hasLoadedModels());
}

} // namespace velmora
