#pragma once

#include "ui/textsize.h"

#include <QPointer>
#include <QWidget>

namespace velmora {

class AppNavigation;
class Button;
class PageFactory;

// The small row of icon buttons in the band at the top of the window: the sidebar toggle, Back
// and Forward, and on Notes and History the page's list toggle, each lined up with the column it
// belongs to. Only the buttons take clicks; the rest of the band lets them through.
class TitleBarControls : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTopInset = 4;

    // factory supplies the list toggles; it may be null.
    TitleBarControls(AppNavigation &navigation, PageFactory *factory, QWidget *parent = nullptr);

    // "Hide Sidebar" or "Show Sidebar" for the sidebar's current visibility.
    static QString sidebarTitle(const AppNavigation &navigation);
    // The list toggle's title: "Hide History List" / "Show History List" on History, the note
    // list's otherwise, for whether the current page's list is on screen.
    static QString listTitle(const AppNavigation &navigation);

    struct Positions {
        int buttonSize;
        int sidebarToggle;
        int back;
        int forward;
        int listToggle;
    };
    // Where the buttons go for the navigation's layout at a text size, from the window's leading
    // edge.
    static Positions positions(const AppNavigation &navigation, TextSize size);

    Button *sidebarToggle() const { return m_sidebar; }
    Button *backButton() const { return m_back; }
    Button *forwardButton() const { return m_forward; }
    QWidget *listToggle() const { return m_listToggle; }

protected:
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void relayout();
    void retranslate();
    void updateEnabled();
    void updateListToggle();

    AppNavigation &m_navigation;
    PageFactory *m_factory;
    Button *m_sidebar;
    Button *m_back;
    Button *m_forward;
    QPointer<QWidget> m_listToggle;
};

} // namespace velmora
