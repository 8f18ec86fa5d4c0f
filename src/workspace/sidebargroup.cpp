#include "workspace/sidebargroup.h"

#include "workspace/toolgroup.h"

#include <QCoreApplication>

namespace velmora {

QString SidebarGroup::title() const {
    if (id == QLatin1String(kPinnedId))
        return QCoreApplication::translate("Workspace", "Pinned", "Sidebar group of tools the user pinned");
    for (ToolGroup group : allToolGroups()) {
        if (toolGroupId(group) == id)
            return toolGroupTitle(group);
    }
    return id;
}

QList<SidebarGroup> SidebarGroup::groups(const QList<WorkspaceTool> &pinned) {
    QList<SidebarGroup> result;
    if (!pinned.isEmpty()) {
        SidebarGroup group{QString::fromLatin1(kPinnedId), {}};
        for (WorkspaceTool tool : pinned)
            group.items.append({WorkspacePage::tool(tool), true});
        result.append(group);
    }
    for (ToolGroup toolGroup : allToolGroups()) {
        SidebarGroup group{toolGroupId(toolGroup), {}};
        for (WorkspaceTool tool : toolGroupTools(toolGroup))
            group.items.append({WorkspacePage::tool(tool), false});
        result.append(group);
    }
    return result;
}

QStringList SidebarGroup::collapsedIds(const QString &stored) {
    return stored.split(u',', Qt::SkipEmptyParts);
}

bool SidebarGroup::isCollapsed(const QString &id, const QString &stored) {
    return collapsedIds(stored).contains(id);
}

QString SidebarGroup::toggled(const QString &id, const QString &stored) {
    QStringList ids = collapsedIds(stored);
    if (ids.contains(id))
        ids.removeAll(id);
    else
        ids.append(id);
    return ids.join(u',');
}

QList<SidebarItem> SidebarGroup::visibleItems(const QList<WorkspaceTool> &pinned, const QString &collapsed) {
    QList<SidebarItem> items = {
        {WorkspacePage::home(), false}, {WorkspacePage::notes(), false}, {WorkspacePage::history(), false}};
    const QStringList collapsedGroups = collapsedIds(collapsed);
    for (const SidebarGroup &group : groups(pinned)) {
        if (!collapsedGroups.contains(group.id))
            items.append(group.items);
    }
    return items;
}

std::optional<SidebarItem> SidebarGroup::step(const SidebarItem &from, int by, const QList<SidebarItem> &items) {
    if (items.isEmpty())
        return std::nullopt;
    const qsizetype i = items.indexOf(from);
    if (i < 0)
        return by > 0 ? items.first() : items.last();
    const qsizetype n = items.size();
    return items.at(((i + by) % n + n) % n);
}

} // namespace velmora
