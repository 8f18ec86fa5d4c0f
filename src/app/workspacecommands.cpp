#include "app/workspacecommands.h"

#include "app/appcommands.h"
#include "workspace/appnavigation.h"
#include "workspace/navigationcommands.h"
#include "workspace/titlebarcontrols.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>

namespace velmora {

WorkspaceCommands::WorkspaceCommands(AppCommands &commands, AppNavigation &navigation, PinnedTools &pins,
                                     Defaults &defaults, std::function<void()> openMainWindow, QObject *parent)
    : QObject(parent), m_navigation(navigation), m_openMainWindow(std::move(openMainWindow)) {
    QMenu *view = commands.viewMenu();
    // The sidebar group leads the View menu, ahead of whatever others put there.
    QAction *first = view->actions().value(0);
    m_sidebar = new QAction(view);
    m_sidebar->setObjectName(QStringLiteral("toggleSidebar"));
    m_sidebar->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    connect(m_sidebar, &QAction::triggered, this, [this] { m_navigation.toggleSidebar(); });
    m_list = new QAction(view);
    m_list->setObjectName(QStringLiteral("toggleList"));
    m_list->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_B));
    connect(m_list, &QAction::triggered, this, [this] { m_navigation.toggleList(); });
    view->insertActions(first, {m_sidebar, m_list});
    if (first)
        view->insertSeparator(first);

    QMenu *edit = commands.editMenu();
    edit->addSeparator();
    m_settings = edit->addAction(QString(), this, [this] { openSettings(m_navigation, m_openMainWindow); });
    m_settings->setObjectName(QStringLiteral("settings"));
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));

    auto *bar = qobject_cast<QMenuBar *>(commands.helpMenu()->parentWidget());
    m_go = new NavigationCommands(navigation, pins, defaults, m_openMainWindow, bar);
    m_go->setObjectName(QStringLiteral("goMenu"));
    if (bar)
        bar->insertMenu(commands.helpMenu()->menuAction(), m_go);

    for (auto signal :
         {&AppNavigation::pageChanged, &AppNavigation::sidebarHiddenChanged, &AppNavigation::sidebarFitsChanged,
          &AppNavigation::listFitsChanged, &AppNavigation::slideOverChanged, &AppNavigation::noteListHiddenChanged,
          &AppNavigation::historyListHiddenChanged})
        connect(&navigation, signal, this, &WorkspaceCommands::refresh);
    connect(view, &QMenu::aboutToShow, this, &WorkspaceCommands::refresh);
    view->installEventFilter(this);
    refresh();
}

void WorkspaceCommands::openSettings(AppNavigation &navigation, const std::function<void()> &openMainWindow) {
    navigation.open(WorkspacePage::settings(), false);
    if (openMainWindow)
        openMainWindow();
}

bool WorkspaceCommands::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        refresh();
    return QObject::eventFilter(watched, event);
}

void WorkspaceCommands::refresh() {
    m_sidebar->setText(TitleBarControls::sidebarTitle(m_navigation));
    m_list->setText(TitleBarControls::listTitle(m_navigation));
    const WorkspacePage page = m_navigation.page();
    m_list->setEnabled(page == WorkspacePage::notes() || page == WorkspacePage::history());
    m_settings->setText(
        QCoreApplication::translate("Localizable", "Settings…", "Menu item that opens the Settings page"));
}

} // namespace velmora
