#pragma once

#include "workspace/sidebarbutton.h"

namespace velmora {

class StyledLabel;

// The header of a sidebar group: its title, and a chevron (right when collapsed, down when
// expanded) that shows only while the pointer is over the header. A click toggles the group.
// Never drawn as selected.
class SidebarGroupHeader : public SidebarButton {
    Q_OBJECT
public:
    SidebarGroupHeader(const QString &title, bool collapsed, QWidget *parent = nullptr);

    QString title() const;
    void setTitle(const QString &title);
    bool isCollapsed() const { return m_collapsed; }
    void setCollapsed(bool collapsed);
    // The chevron's symbol and its opacity now.
    QString chevronSymbol() const;
    qreal chevronOpacity() const;
    // The chevron's point size at the current text size: 10, 12, 13, 15.
    int chevronPointSize() const;

protected:
    void changeEvent(QEvent *event) override;
    void textSizeChanged() override;

private:
    void updateAccessibility();

    StyledLabel *m_title;
    QWidget *m_chevron;
    bool m_collapsed;
};

} // namespace velmora
