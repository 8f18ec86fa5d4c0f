#include "library/draftstore.h"

#include "core/log.h"

namespace velmora {

DraftStoreBase::DraftStoreBase(std::shared_ptr<Library> library, QString tool, QObject *parent)
    : QObject(parent), m_library(std::move(library)), m_tool(std::move(tool)) {}

DraftStoreBase::~DraftStoreBase() {
    cancelTimer();
}

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

void DraftStoreBase::cancelTimer() {
    if (m_timer) {
        m_timer->cancel();
        m_timer.reset();
    }
}

void DraftStoreBase::startTimer() {
    if (m_timer)
        return; // a throttle: the running timer writes the newest value
    m_timer.emplace();
    saveAfterInterval(QPointer(this), m_timer->token()); // runs on by itself
}

QCoro::Task<> DraftStoreBase::saveAfterInterval(QPointer<DraftStoreBase> store, CancellationToken token) {
    try {
        co_await sleepFor(kInterval, token);
    } catch (...) {
    }
    if (!store || token.isCancelled())
        co_return;
    store->m_timer.reset();
    store->saveLatest();
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
    m_tail = SharedTask<void>(runQueued(QPointer(this), m_tail, std::move(operation), m_library, m_tool));
}

QCoro::Task<> DraftStoreBase::runQueued(QPointer<DraftStoreBase> store, SharedTask<void> predecessor,
                                        Operation operation, std::shared_ptr<Library> library, QString tool) {
    if (predecessor.isValid())
        co_await predecessor;
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
    cancelTimer();
    dropLatest();
    const QString tool = m_tool;
    enqueue([tool](std::shared_ptr<Library> library) { return remove(std::move(library), tool); });
}

QCoro::Task<> DraftStoreBase::flush() {
    cancelTimer();
    saveLatest();
    SharedTask<void> tail = m_tail;
    if (tail.isValid())
        co_await tail;
}

} // namespace velmora
