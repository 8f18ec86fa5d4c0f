#pragma once

#include "library/history.h"
#include "workspace/workspacetool.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>
#include <QPointer>

namespace velmora {

class AppNavigation;
class RecentHistorySource;

// The newest History entries of one tool, as its page's Recent section shows them: loaded while
// the section is shown and again whenever History changes. Main thread only.
class ToolRecentEntries : public QObject {
    Q_OBJECT
public:
    static constexpr int kLimit = 12;

    ToolRecentEntries(WorkspaceTool tool, RecentHistorySource &source, AppNavigation &navigation,
                      QObject *parent = nullptr);

    WorkspaceTool tool() const { return m_tool; }
    const QList<HistoryEntry> &entries() const { return m_entries; }

    // The section is shown: loads now and after every change of History.
    void start();
    // The section is hidden: a load under way is dropped and History changes are ignored.
    void stop();
    bool isActive() const { return m_active; }

    // Opens History on this tool's entries, with any search cleared.
    void seeAll();

signals:
    void entriesChanged();

private:
    void load();
    static QCoro::Task<> loadEntries(QPointer<ToolRecentEntries> self, quint64 generation);

    WorkspaceTool m_tool;
    RecentHistorySource &m_source;
    AppNavigation &m_navigation;
    QList<HistoryEntry> m_entries;
    bool m_active = false;
    quint64 m_generation = 0;
};

} // namespace velmora
