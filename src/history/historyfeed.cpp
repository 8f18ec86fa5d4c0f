#include "history/historyfeed.h"

#include "core/log.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

namespace velmora {

HistoryFeed::HistoryFeed(QObject *parent) : RecentHistorySource(parent) {}

void HistoryFeed::setRevision(qint64 revision) {
    if (revision == m_revision)
        return;
    m_revision = revision;
    emit revisionChanged();
}

void HistoryFeed::setLibrary(std::shared_ptr<Library> library) {
    m_library = std::move(library);
    setRevision(m_revision + 1);
}

void HistoryFeed::historyWritten() {
    setRevision(m_revision + 1);
}

bool HistoryFeed::isReady() const {
    return m_library && m_library->status().isReady();
}

QCoro::Task<QList<HistoryEntry>> HistoryFeed::entries(std::optional<QSet<WorkspaceTool>> tools,
                                                      std::optional<QString> query, std::optional<int> limit) {
    if (!isReady())
        co_return {};
    // The frame keeps the Library alive while it reads, whatever happens to the feed.
    const std::shared_ptr<Library> library = m_library;
    std::optional<QSet<QString>> names;
    if (tools) {
        names.emplace();
        for (WorkspaceTool tool : std::as_const(*tools))
            names->insert(toString(tool));
    }
    auto reading = library->historyEntries(Library::Tasks, std::move(names), query.value_or(QString()), limit);
    try {
        co_return co_await std::move(reading);
    } catch (...) {
        co_return {};
    }
}

QCoro::Task<QList<WorkspaceTool>> HistoryFeed::recentTools(int limit) {
    if (!isReady())
        co_return {};
    const std::shared_ptr<Library> library = m_library;
    auto reading = library->read([limit](SQLite::Database &db) { return HistoryEntry::fetchRecentTools(db, limit); });
    QStringList names;
    try {
        names = co_await std::move(reading);
    } catch (...) {
        co_return {};
    }
    QList<WorkspaceTool> tools;
    for (const QString &name : std::as_const(names)) {
        if (const std::optional<WorkspaceTool> tool = workspaceToolFromString(name))
            tools.append(*tool);
    }
    co_return tools;
}

QCoro::Task<QList<WorkspaceTool>> HistoryFeed::usedTools() {
    if (!isReady())
        co_return {};
    const std::shared_ptr<Library> library = m_library;
    auto reading = library->read([](SQLite::Database &db) { return HistoryEntry::fetchUsedTools(db); });
    QSet<QString> names;
    try {
        names = co_await std::move(reading);
    } catch (...) {
        co_return {};
    }
    QList<WorkspaceTool> tools;
    for (WorkspaceTool tool : allTools()) {
        if (names.contains(toString(tool)))
            tools.append(tool);
    }
    co_return tools;
}

QCoro::Task<std::optional<HistoryEntryDetail>> HistoryFeed::detail(QUuid id) {
    if (!isReady())
        co_return std::nullopt;
    const std::shared_ptr<Library> library = m_library;
    auto reading = library->read([id](SQLite::Database &db) { return HistoryEntryDetail::fetch(db, id); });
    try {
        co_return co_await std::move(reading);
    } catch (...) {
        co_return std::nullopt;
    }
}

QCoro::Task<> HistoryFeed::deleteEntry(QUuid id) {
    if (!m_library)
        co_return;
    QPointer<HistoryFeed> self(this);
    const std::shared_ptr<Library> library = m_library;
    auto deleting = library->deleteContent(id);
    try {
        co_await std::move(deleting);
    } catch (...) {
        Log::library().error("History delete failed: %{public}s", {Log::errorCode(std::current_exception())});
    }
    // Every page reloads and shows what is really stored, also after a failure.
    if (self)
        self->historyWritten();
}

std::optional<QUrl> HistoryFeed::audioUrl(const QString &path) const {
    if (!m_library)
        return std::nullopt;
    const QString file = QDir(m_library->root()).filePath(path);
    if (!QFileInfo::exists(file))
        return std::nullopt;
    return QUrl::fromLocalFile(file);
}

} // namespace velmora
