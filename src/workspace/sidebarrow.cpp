#include "workspace/sidebarrow.h"

#include "ui/badge.h"
#include "ui/styledlabel.h"
#include "ui/toolicon.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QMenu>

#include <algorithm>

namespace velmora {

SidebarRow::SidebarRow(const QString &symbol, const QString &title, QWidget *parent)
    : SidebarButton(parent), m_icon(new ToolIcon(symbol, ColorName::Accent, ToolIcon::Size::Sidebar, this)),
      m_title(new StyledLabel(title, Typography::Body, this)),
      m_shortcutLabel(new StyledLabel(QString(), Typography::Meta, this)) {
    auto *badge = new Badge(0, this);
    badge->setVisible(false);
    m_badge = badge;
    m_title->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_shortcutLabel->setKeepsIdealWidth(true);
    m_shortcutLabel->setVisible(false);
    m_shortcutLabel->setAccessibleName(QString()); // the key text is for the eye only
    contentLayout()->addWidget(m_icon);
    contentLayout()->addWidget(m_title, 1);
    contentLayout()->addWidget(m_badge);
    contentLayout()->addWidget(m_shortcutLabel);
    updateAccessibility();
}

QString SidebarRow::title() const {
    return m_title->text();
}

void SidebarRow::setTitle(const QString &title) {
    m_title->setText(title);
    updateAccessibility();
}

void SidebarRow::setSymbol(const QString &symbol) {
    m_icon->setSymbol(symbol);
}

void SidebarRow::setIconColor(const QString &name) {
    m_iconColor = name;
    m_icon->setColorName(name);
}

void SidebarRow::setAttentionCount(int count) {
    if (m_attention == count)
        return;
    m_attention = count;
    static_cast<Badge *>(m_badge)->setCount(std::max(count, 0));
    m_badge->setVisible(count >= 1);
    updateAccessibility();
}

void SidebarRow::setShortcutText(const std::optional<QString> &text) {
    m_shortcut = text;
    m_shortcutLabel->setText(text.value_or(QString()));
    m_shortcutLabel->setVisible(text.has_value());
}

QString SidebarRow::accessibleValue() const {
    if (m_attention < 1)
        return {};
    if (m_attention == 1)
        return QCoreApplication::translate("Workspace", "1 item needs attention",
                                           "VoiceOver value for the Settings badge with a count of one");
    return QCoreApplication::translate("Workspace", "%1 items need attention",
                                       "VoiceOver value for the Settings badge; placeholder is the count")
        .arg(m_attention);
}

void SidebarRow::updateAccessibility() {
    setAccessibleName(m_title->text());
    setAccessibleDescription(accessibleValue());
}

QMenu *SidebarRow::createMenu(QWidget *parent) const {
    if (!m_menuBuilder)
        return nullptr;
    auto *menu = new QMenu(parent);
    m_menuBuilder(menu);
    return menu;
}

void SidebarRow::contextMenuEvent(QContextMenuEvent *event) {
    QMenu *menu = createMenu(this);
    if (!menu) {
        event->ignore();
        return;
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void SidebarRow::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LanguageChange)
        updateAccessibility();
    SidebarButton::changeEvent(event);
}

} // namespace velmora
