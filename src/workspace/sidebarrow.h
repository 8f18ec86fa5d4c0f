#pragma once

#include "ui/namedcolors.h"
#include "workspace/sidebarbutton.h"

#include <functional>
#include <optional>

class QMenu;

namespace velmora {

class StyledLabel;
class ToolIcon;

// A sidebar row that opens a page: the page's icon, its title on one line, then the attention
// badge and the key-equivalent text at the trailing edge.
class SidebarRow : public SidebarButton {
    Q_OBJECT
public:
    SidebarRow(const QString &symbol, const QString &title, QWidget *parent = nullptr);

    QString title() const;
    void setTitle(const QString &title);
    void setSymbol(const QString &symbol);
    // The icon's colour by resource name ("Accent", "PinTint3"…).
    void setIconColor(const QString &name);
    QString iconColor() const { return m_iconColor; }

    int attentionCount() const { return m_attention; }
    // 1 or more shows the badge and the accessible value; 0 or less shows neither.
    void setAttentionCount(int count);
    std::optional<QString> shortcutText() const { return m_shortcut; }
    void setShortcutText(const std::optional<QString> &text);

    // The screen reader's value: "%n items need attention" or empty.
    QString accessibleValue() const;

    // Fills the row's right-click menu; without one the row has none.
    void setMenuBuilder(std::function<void(QMenu *)> builder) { m_menuBuilder = std::move(builder); }
    // A menu with the row's items (for tests and the context menu); null without a builder.
    QMenu *createMenu(QWidget *parent = nullptr) const;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateAccessibility();

    ToolIcon *m_icon;
    StyledLabel *m_title;
    QWidget *m_badge = nullptr;
    StyledLabel *m_shortcutLabel;
    QString m_iconColor = QStringLiteral("Accent");
    int m_attention = 0;
    std::optional<QString> m_shortcut;
    std::function<void(QMenu *)> m_menuBuilder;
};

} // namespace velmora
