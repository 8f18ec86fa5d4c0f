#include "library/historywritequeue.h"

namespace velmora {

HistoryWriteQueue::HistoryWriteQueue(UpdateOutput updateOutput, std::chrono::milliseconds editDelay, QObject *parent)
    : QObject(parent), m_updateOutput(std::move(updateOutput)), m_editDelay(Debouncer::Mode::Sliding, editDelay) {
    // Each edit restarts the delay: a run's text is written once its edits pause.
    connect(&m_editDelay, &Debouncer::fired, this, &HistoryWriteQueue::flush);
}

HistoryWriteQueue::~HistoryWriteQueue() = default;

void HistoryWriteQueue::setSaveFailed(bool failed) {
    if (m_saveFailed == failed)
        return;
    m_saveFailed = failed;
    emit saveFailedChanged(failed);
}

template <typename T>
QCoro::Task<std::optional<T>> HistoryWriteQueue::runWrite(QPointer<HistoryWriteQueue> queue,
                                                          std::function<QCoro::Task<T>()> operation) {
    std::optional<T> result;
    bool failed = false;
    try {
        auto running = operation();
        result = co_await std::move(running);
    } catch (...) {
        // The owner shows saveFailed; the error itself goes no further.
        failed = true;
    }
    if (queue) {
        queue->setSaveFailed(failed);
        if (!failed)
            emit queue->changed();
    }
    co_return result;
}

template <typename T>
SharedTask<std::optional<T>> HistoryWriteQueue::queue(std::function<QCoro::Task<T>()> operation) {
    QPointer<HistoryWriteQueue> self(this);
    return SharedTask<std::optional<T>>(
        m_writes.run<std::optional<T>>([self, operation] { return runWrite<T>(self, operation); }));
}

SharedTask<std::optional<bool>> HistoryWriteQueue::enqueue(std::function<QCoro::Task<bool>()> operation) {
    return queue<bool>(std::move(operation));
}

SharedTask<std::optional<QUuid>> HistoryWriteQueue::record(std::function<QCoro::Task<QUuid>()> operation) {
    return queue<QUuid>(std::move(operation));
}

void HistoryWriteQueue::scheduleEdit(QUuid taskId, QString text) {
    if (m_pendingEdit && m_pendingEdit->first != taskId)
        flush();
    m_pendingEdit = std::make_pair(taskId, std::move(text));
    m_editDelay.trigger();
}

QCoro::Task<> HistoryWriteQueue::reportMissing(QPointer<HistoryWriteQueue> queue, SharedTask<std::optional<bool>> write,
                                               QUuid taskId) {
    const std::optional<bool> written = co_await write;
    if (written == false && queue)
        emit queue->missing(taskId);
}

void HistoryWriteQueue::flush() {
    m_editDelay.cancel();
    if (!m_pendingEdit)
        return;
    auto [taskId, text] = std::move(*m_pendingEdit);
    m_pendingEdit.reset();
    UpdateOutput update = m_updateOutput;
    auto write = enqueue([update, taskId, text]() { return update(taskId, text); });
    reportMissing(QPointer(this), write, taskId);
}

QCoro::Task<> HistoryWriteQueue::flushAndWait() {
    flush();
    auto draining = m_writes.drain();
    co_await std::move(draining);
}

} // namespace velmora
