#pragma once

#include "ui/textsize.h"
#include "workspace/workspacepage.h"

#include <QPointer>
#include <QWidget>

class QVariantAnimation;

namespace velmora {

class AppNavigation;
class Defaults;
class PageFactory;
class PinnedTools;
class SettingsAttention;
class Sidebar;
class SlideOverPanel;
class TitleBarControls;

// The content of the main window: the sidebar column beside the current page, the sidebar
// sliding over the page when the window is too narrow, the title-bar controls in the band at
// the top (the window keeps its window manager's title bar) and an overlay above everything (the
// quick switcher). It names the window after the page and keeps the navigation's layout inputs,
// the width and the text size, up to date. Main thread only.
class WorkspaceView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinimumWidth = 700;
    static constexpr int kMinimumHeight = 568;

    // factory makes the pages (null: every page is a placeholder); attention feeds the Settings
    // badge and may be null.
    WorkspaceView(AppNavigation &navigation, PinnedTools &pins, Defaults &defaults, PageFactory *factory,
                  SettingsAttention *attention, QWidget *parent = nullptr);
    ~WorkspaceView() override;

    // A widget laid over the whole view (the quick switcher); the view takes ownership.
    void setOverlay(QWidget *overlay);

    // The page's distance from the top of the window at a text size: below the band that holds
    // the title-bar controls, lined up with the page's title.
    static int topInset(TextSize size);

    QWidget *page() const { return m_page; }
    Sidebar *sidebar() const { return m_sidebar; }
    Sidebar *slidingSidebar() const;
    SlideOverPanel *sidebarPanel() const { return m_panel; }
    TitleBarControls *titleBar() const { return m_titleBar; }
    // The width the sidebar column takes now, its rule included (0 when absent).
    int sidebarColumnWidth() const;

protected:
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void showPage();
    void updateColumn(bool animated);
    void updateTitle();
    void updateTextSize();
    void relayout();
    QWidget *createPage(const WorkspacePage &page);

    AppNavigation &m_navigation;
    PinnedTools &m_pins;
    PageFactory *m_factory;
    Sidebar *m_sidebar;
    QWidget *m_rule;
    QWidget *m_pageArea;
    QPointer<QWidget> m_page;
    SlideOverPanel *m_panel;
    TitleBarControls *m_titleBar;
    QPointer<QWidget> m_overlay;
    QVariantAnimation *m_columnAnimation;
    qreal m_column = 0; // 0 to 1: how far the sidebar column is in
};

} // namespace velmora
