#include "workspace/toolrecententries.h"

#include "workspace/appnavigation.h"
#include "workspace/recenthistorysource.h"

namespace velmora {

ToolRecentEntries::ToolRecentEntries(WorkspaceTool tool, RecentHistorySource &source, AppNavigation &navigation,
                                     QObject *parent)
    : QObject(parent), m_tool(tool), m_source(source), m_navigation(navigation) {
    connect(&source, &RecentHistorySource::revisionChanged, this, [this] {
        if (m_active)
            load();
    });
}

void ToolRecentEntries::start() {
    m_active = true;
    load();
}

void ToolRecentEntries::stop() {
    m_active = false;
    ++m_generation; // a load under way is dropped when it ends
}

void ToolRecentEntries::load() {
    loadEntries(QPointer(this), ++m_generation); // runs on by itself
}

QCoro::Task<> ToolRecentEntries::loadEntries(QPointer<ToolRecentEntries> self, quint64 generation) {
    auto task = self->m_source.entries(QSet<WorkspaceTool>{self->m_tool}, std::nullopt, kLimit);
    QList<HistoryEntry> entries = co_await std::move(task);
    // A newer load, or the section going away, replaces this one.
    if (!self || self->m_generation != generation)
        co_return;
    if (entries == self->m_entries)
        co_return;
    self->m_entries = std::move(entries);
    emit self->entriesChanged();
}

void ToolRecentEntries::seeAll() {
    m_navigation.open(WorkspacePage::history(), false);
    m_navigation.setHistoryQuery(QString());
    m_navigation.setHistoryTools({m_tool});
}

} // namespace velmora
