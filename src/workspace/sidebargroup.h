#pragma once

#include "workspace/sidebaritem.h"
#include "workspace/workspacetool.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace velmora {

// One group of sidebar rows under a header that collapses it: "pinned" (only while a tool is
// pinned) and the four tool groups.
struct SidebarGroup {
    static constexpr const char *kPinnedId = "pinned";

    QString id;
    QList<SidebarItem> items;

    // The header text in the current interface language.
    QString title() const;

    // The groups in sidebar order for the pinned tools.
    static QList<SidebarGroup> groups(const QList<WorkspaceTool> &pinned);

    // The stored form of the collapsed groups is their ids joined by "," in the order they were
    // collapsed. Empty pieces are dropped; pieces are compared exactly.
    static QStringList collapsedIds(const QString &stored);
    static bool isCollapsed(const QString &id, const QString &stored);
    // The stored form after toggling a group: every occurrence of an id removed, or the id
    // appended; pieces that name no group are kept.
    static QString toggled(const QString &id, const QString &stored);

    // Home, Notes, History, then the rows of every expanded group: what the Go menu's Previous
    // and Next Sidebar Item walk through.
    static QList<SidebarItem> visibleItems(const QList<WorkspaceTool> &pinned, const QString &collapsed);
    // The neighbour of an item in the list, wrapping at both ends; the first item (forward) or the
    // last (backward, also for a step of 0) when the item is not in the list; none for an empty
    // list.
    static std::optional<SidebarItem> step(const SidebarItem &from, int by, const QList<SidebarItem> &items);
};

} // namespace velmora
