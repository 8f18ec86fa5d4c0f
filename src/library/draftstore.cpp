#include "library/draftstore.h"

#include "core/log.h"

namespace velmora {

DraftStoreBase::DraftStoreBase(std::shared_ptr<Library> library, QString tool, QObject *parent)
    : QObject(parent), m_library(std::move(library)), m_tool(std::move(tool)) {
    // A throttle: the first change starts the interval, later ones join it, and the newest
    // value is written when it ends.
    connect(&m_throttle, &Debouncer::fired, this, &DraftStoreBase::saveLatest);
}

DraftStoreBase::~DraftStoreBase() = default;

void DraftStoreBase::setSaveFailed(bool failed) {
    if (m_saveFailed == failed)
        return;
    m_saveFailed = failed;
    emit saveFailedChanged(failed);
}

QCoro::Task<std::optional<LibraryDraft>> DraftStoreBase::fetch(std::shared_ptr<Library> library, QString tool) {
    auto reading = library->read([tool](SQLite::Database &db) { return LibraryDraft::fetch(db, tool); });
    std::optional<LibraryDraft> row = co_await std::move(reading);
    co_return row;
}

QCoro::Task<std::optional<QString>> DraftStoreBase::loadContent() {
    const QString tool = m_tool;
    std::optional<LibraryDraft> row;
    try {
        auto fetching = fetch(m_library, tool);
        row = co_await std::move(fetching);
    } catch (...) {
        Log::library().error("Draft load failed (%{public}s): %{public}s",
                             {tool, Log::errorCode(std::current_exception())});
        co_return std::nullopt;
    }
    if (!row || row->version != kVersion)
        co_return std::nullopt;
    co_return row->content;
}

void DraftStoreBase::logLoadFailure(const std::exception_ptr &error) const {
    Log::library().error("Draft load failed (%{public}s): %{public}s", {m_tool, Log::errorCode(error)});
}

void DraftStoreBase::saveLatest() {
    if (!hasLatest())
        return;
    enqueueWrite(takeLatest());
}

void DraftStoreBase::enqueueWrite(std::function<QString()> encode) {
    const QString tool = m_tool;
    enqueue([tool, encode](std::shared_ptr<Library> library) { return write(std::move(library), tool, encode); });
}

QCoro::Task<> DraftStoreBase::write(std::shared_ptr<Library> library, QString tool, std::function<QString()> encode) {
    // Encoding runs with the write, off the main thread; the time is taken when the write runs.
    auto writing = library->write([tool, encode](SQLite::Database &db) {
        LibraryDraft row{tool, kVersion, encode(), libraryNow()};
        row.save(db);
    });
    co_await std::move(writing);
}

QCoro::Task<> DraftStoreBase::remove(std::shared_ptr<Library> library, QString tool) {
    auto writing = library->write([tool](SQLite::Database &db) { LibraryDraft::remove(db, tool); });
    co_await std::move(writing);
}

void DraftStoreBase::enqueue(Operation operation) {
    QPointer<DraftStoreBase> self(this);
    m_operations.post([self, operation = std::move(operation), library = m_library, tool = m_tool] {
        return runQueued(self, operation, library, tool);
    });
}

QCoro::Task<> DraftStoreBase::runQueued(QPointer<DraftStoreBase> store, Operation operation,
                                        std::shared_ptr<Library> library, QString tool) {
    bool failed = false;
    try {
        auto running = operation(library);
        co_await std::move(running);
    } catch (...) {
        Log::library().error("Draft save failed (%{public}s): %{public}s",
                             {tool, Log::errorCode(std::current_exception())});
        failed = true;
    }
    if (store)
        store->setSaveFailed(failed);
}

void DraftStoreBase::clear() {
    m_throttle.cancel();
    dropLatest();
    const QString tool = m_tool;
    enqueue([tool](std::shared_ptr<Library> library) { return remove(std::move(library), tool); });
}

QCoro::Task<> DraftStoreBase::flush() {
    m_throttle.cancel();
    saveLatest();
    auto draining = m_operations.drain();
    co_await std::move(draining);
}

} // namespace velmora
