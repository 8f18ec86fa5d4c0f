#include "library/historywritequeue.h"

namespace velmora {

HistoryWriteQueue::HistoryWriteQueue(UpdateOutput updateOutput, std::chrono::milliseconds editDelay,
                                     std::function<void()> changed, QObject *parent)
    : QObject(parent), m_updateOutput(std::move(updateOutput)), m_editDelay(editDelay), m_changed(std::move(changed)) {}

HistoryWriteQueue::~HistoryWriteQueue() {
    cancelTimer();
}

void HistoryWriteQueue::setSaveFailed(bool failed) {
    if (m_saveFailed == failed)
        return;
    m_saveFailed = failed;
    emit saveFailedChanged(failed);
}

template <typename T>
QCoro::Task<std::optional<T>> HistoryWriteQueue::runWrite(QPointer<HistoryWriteQueue> queue,
                                                          SharedTask<void> predecessor,
                                                          std::function<QCoro::Task<T>()> operation) {
    if (predecessor.isValid())
        co_await predecessor;
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
        if (!failed && queue->m_changed)
            queue->m_changed();
    }
    co_return result;
}

template <typename T>
QCoro::Task<> HistoryWriteQueue::completion(SharedTask<std::optional<T>> write) {
    co_await write;
}

template <typename T>
SharedTask<std::optional<T>> HistoryWriteQueue::queue(std::function<QCoro::Task<T>()> operation) {
    SharedTask<std::optional<T>> write(runWrite<T>(QPointer(this), m_tail, std::move(operation)));
    m_tail = SharedTask<void>(completion<T>(write));
    return write;
}

SharedTask<std::optional<bool>> HistoryWriteQueue::enqueue(std::function<QCoro::Task<bool>()> operation) {
    return queue<bool>(std::move(operation));
}

SharedTask<std::optional<QUuid>> HistoryWriteQueue::record(std::function<QCoro::Task<QUuid>()> operation) {
    return queue<QUuid>(std::move(operation));
}

void HistoryWriteQueue::cancelTimer() {
    if (m_editTimer) {
        m_editTimer->cancel();
        m_editTimer.reset();
    }
}

QCoro::Task<> HistoryWriteQueue::editTimer(QPointer<HistoryWriteQueue> queue, std::chrono::milliseconds delay,
                                           CancellationToken token) {
    try {
        co_await sleepFor(delay, token);
    } catch (...) {
        co_return;
    }
    if (token.isCancelled() || !queue)
        co_return;
    queue->flush();
}

void HistoryWriteQueue::scheduleEdit(QUuid taskId, QString text) {
    if (m_pendingEdit && m_pendingEdit->first != taskId)
        flush();
    m_pendingEdit = std::make_pair(taskId, std::move(text));
    cancelTimer();
    m_editTimer.emplace();
    editTimer(QPointer(this), m_editDelay, m_editTimer->token()); // runs on by itself
}

QCoro::Task<> HistoryWriteQueue::reportMissing(QPointer<HistoryWriteQueue> queue, SharedTask<std::optional<bool>> write,
                                               QUuid taskId) {
    const std::optional<bool> written = co_await write;
    if (written == false && queue)
        queue->m_onMissing(taskId);
}

void HistoryWriteQueue::flush() {
    cancelTimer();
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
    SharedTask<void> tail = m_tail;
    if (tail.isValid())
        co_await tail;
}

} // namespace velmora
