#pragma once

#include <QAction>
#include <QMenu>
#include <QStringList>

namespace velmora::test {

// A menu's item titles in order, "—" for a separator.
inline QStringList menuTitles(const QMenu &menu) {
    QStringList result;
    for (QAction *action : menu.actions())
        result.append(action->isSeparator() ? QStringLiteral("—") : action->text());
    return result;
}

// The same without the hidden items.
inline QStringList visibleMenuTitles(const QMenu &menu) {
    QStringList result;
    for (QAction *action : menu.actions()) {
        if (action->isVisible())
            result.append(action->isSeparator() ? QStringLiteral("—") : action->text());
    }
    return result;
}

// The menu's item with this title, or null.
inline QAction *menuItemTitled(const QMenu &menu, const QString &title) {
    for (QAction *action : menu.actions()) {
        if (action->text() == title)
            return action;
    }
    return nullptr;
}

} // namespace velmora::test
