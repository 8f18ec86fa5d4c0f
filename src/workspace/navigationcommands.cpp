#include "workspace/navigationcommands.h"

#include "core/defaults.h"
#include "workspace/appnavigation.h"
#include "workspace/pinnedtools.h"
#include "workspace/sidebargroup.h"
#include "workspace/workspacesettings.h"

#include <QCoreApplication>
#include <QEvent>

namespace velmora {

NavigationCommands::NavigationCommands(AppNavigation &navigation, PinnedTools &pins, Defaults &defaults,
                                       std::function<void()> openMainWindow, QWidget *parent)
    : QMenu(parent), m_navigation(navigation), m_pins(pins), m_defaults(defaults),
      m_openMainWindow(std::move(openMainWindow)) {
    m_back = addAction(QString(), this, [this] { m_navigation.goBack(); });
    m_back->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_BracketLeft));
    m_forward = addAction(QString(), this, [this] { m_navigation.goForward(); });
    m_forward->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_BracketRight));
    addSeparator();
    m_previous = addAction(QString(), this, [this] { goBySidebar(-1); });
    m_previous->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
    m_next = addAction(QString(), this, [this] { goBySidebar(1); });
    m_next->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Down));
    m_switcherSeparator = addSeparator();
    m_switcherSeparator->setVisible(false);

    connect(&navigation, &AppNavigation::historyChanged, this, &NavigationCommands::updateHistoryItems);
    connect(&pins, &PinnedTools::toolsChanged, this, &NavigationCommands::rebuildPinnedItems);
    retranslate();
    updateHistoryItems();
    rebuildPinnedItems();
}

QString NavigationCommands::backTitle() {
    return QCoreApplication::translate("Workspace", "Back", "Go menu item and title bar button: previous page or item");
}

QString NavigationCommands::forwardTitle() {
    return QCoreApplication::translate("Workspace", "Forward", "Go menu item and title bar button: next page or item");
}

void NavigationCommands::setQuickSwitcherAction(QAction *action) {
    if (m_quickSwitcher)
        removeAction(m_quickSwitcher);
    m_quickSwitcher = action;
    if (action)
        insertAction(m_pinnedSeparator, action);
    m_switcherSeparator->setVisible(action != nullptr);
}

void NavigationCommands::goBySidebar(int step) {
    const SidebarItem current{m_navigation.page(), m_navigation.fromPinned()};
    const auto items = SidebarGroup::visibleItems(m_pins.tools(), m_defaults.get(kCollapsedSidebarGroups));
    const auto target = SidebarGroup::step(current, step, items);
    if (!target)
        return;
    if (m_openMainWindow)
        m_openMainWindow();
    m_navigation.open(target->page, target->pinned);
}

void NavigationCommands::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QMenu::changeEvent(event);
}

void NavigationCommands::retranslate() {
    setTitle(QCoreApplication::translate("Workspace", "&Go", "Menu title: Back and Forward"));
    m_back->setText(backTitle());
    m_forward->setText(forwardTitle());
    m_previous->setText(QCoreApplication::translate("Workspace", "Previous Sidebar Item",
                                                    "Go menu: open the sidebar row above the current one"));
    m_next->setText(QCoreApplication::translate("Workspace", "Next Sidebar Item",
                                                "Go menu: open the sidebar row below the current one"));
    const auto &tools = m_pins.tools();
    for (int i = 0; i < m_pinned.size() && i < tools.size(); ++i)
        m_pinned[i]->setText(toolName(tools[i]));
}

void NavigationCommands::updateHistoryItems() {
    m_back->setEnabled(!m_navigation.history().backSteps().isEmpty());
    m_forward->setEnabled(!m_navigation.history().forwardSteps().isEmpty());
}

void NavigationCommands::rebuildPinnedItems() {
    for (QAction *action : std::as_const(m_pinned))
        delete action;
    m_pinned.clear();
    delete m_pinnedSeparator;
    m_pinnedSeparator = nullptr;
    const auto &tools = m_pins.tools();
    if (tools.isEmpty())
        return;
    m_pinnedSeparator = addSeparator();
    for (int i = 0; i < tools.size() && i < PinnedTools::kMaxPins; ++i) {
        const WorkspaceTool tool = tools[i];
        QAction *action = addAction(toolName(tool), this, [this, tool] {
            if (m_openMainWindow)
                m_openMainWindow();
            m_navigation.open(WorkspacePage::tool(tool), true);
        });
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + i)));
        m_pinned.append(action);
    }
}

} // namespace velmora
