#pragma once

#include "library/history.h"
#include "library/library.h"
#include "workspace/recenthistorysource.h"
#include "workspace/workspacetool.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>

namespace velmora {

// The one way pages read and delete History runs. It keeps no copy of History: only the Library
// and the revision, which every History writer raises by one after writing so that every reader
// reads again. Reads never fail: they answer empty (or none) while there is no ready Library or
// when the Library fails. Main thread only.
class HistoryFeed : public RecentHistorySource {
    Q_OBJECT
public:
    explicit HistoryFeed(QObject *parent = nullptr);

    // 0 until the Library is handed over.
    qint64 revision() const override { return m_revision; }
    // Stores and tells the readers only when the value differs.
    void setRevision(qint64 revision);

    const std::shared_ptr<Library> &library() const { return m_library; }
    // Raises the revision on every call, also for the same or an unavailable Library.
    void setLibrary(std::shared_ptr<Library> library);

    // Runs of the given tools (none: every tool; an empty set matches nothing), searched by
    // query, newest first, at most limit.
    QCoro::Task<QList<HistoryEntry>> entries(std::optional<QSet<WorkspaceTool>> tools, std::optional<QString> query,
                                             std::optional<int> limit) override;
    // The tools with the newest visible runs, newest first; stored names of no tool are left out.
    QCoro::Task<QList<WorkspaceTool>> recentTools(int limit);
    // The tools that have a visible run, in catalogue order.
    QCoro::Task<QList<WorkspaceTool>> usedTools();
    // None when the run is missing, still active, deleted or unreadable.
    QCoro::Task<std::optional<HistoryEntryDetail>> detail(QUuid id);
    // Deletes the run's content, then raises the revision whether or not that worked (a failure
    // is logged). Without a Library nothing happens.
    QCoro::Task<> deleteEntry(QUuid id);
    // The kept recording at a Library-relative path; none without a Library or when the file
    // is gone.
    std::optional<QUrl> audioUrl(const QString &path) const;

public slots:
    // A History writer has written: a recording saved, a text run or an edit stored.
    void historyWritten();

private:
    bool isReady() const;

    qint64 m_revision = 0;
    std::shared_ptr<Library> m_library;
};

} // namespace velmora
