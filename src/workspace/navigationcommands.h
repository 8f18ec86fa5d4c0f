#pragma once

#include <QList>
#include <QMenu>
#include <QPointer>

#include <functional>

namespace velmora {

class AppNavigation;
class Defaults;
class PinnedTools;

// The Go menu: Back and Forward, the previous and next sidebar item, the quick switcher and the
// pinned tools (Ctrl+1 to Ctrl+9). The sidebar and pinned-tool items bring up the main window
// first; Back and Forward only move the navigation. Main thread only.
class NavigationCommands : public QMenu {
    Q_OBJECT
public:
    // openMainWindow shows the main window (reopening it when closed) and raises it.
    NavigationCommands(AppNavigation &navigation, PinnedTools &pins, Defaults &defaults,
                       std::function<void()> openMainWindow, QWidget *parent = nullptr);

    QAction *backAction() const { return m_back; }
    QAction *forwardAction() const { return m_forward; }
    QAction *previousSidebarItemAction() const { return m_previous; }
    QAction *nextSidebarItemAction() const { return m_next; }
    // The pinned tools' items, in pinned order.
    const QList<QAction *> &pinnedToolActions() const { return m_pinned; }

    // Places the quick switcher's item (made by its owner) after the sidebar items.
    void setQuickSwitcherAction(QAction *action);

    // Opens the sidebar row step places below (positive) or above the current one, wrapping.
    void goBySidebar(int step);

    // "Back" and "Forward" in the current interface language (also the title bar's tooltips).
    static QString backTitle();
    static QString forwardTitle();

protected:
    void changeEvent(QEvent *event) override;

private:
    void retranslate();
    void updateHistoryItems();
    void rebuildPinnedItems();

    AppNavigation &m_navigation;
    PinnedTools &m_pins;
    Defaults &m_defaults;
    std::function<void()> m_openMainWindow;
    QAction *m_back;
    QAction *m_forward;
    QAction *m_previous;
    QAction *m_next;
    QAction *m_switcherSeparator;
    QPointer<QAction> m_quickSwitcher;
    QAction *m_pinnedSeparator = nullptr;
    QList<QAction *> m_pinned;
};

} // namespace velmora
