#pragma once

// One per tool session: runs the session's History writes one after another in call order,
// keeps saveFailed for the most recent write, and writes edits of a shown result's text one
// edit delay after the last edit of that run.

#include "core/async.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace velmora {

class HistoryWriteQueue : public QObject {
    Q_OBJECT
public:
    // Writes a run's new output text; false when the run has nothing to update any more.
    using UpdateOutput = std::function<QCoro::Task<bool>(QUuid taskId, QString text)>;

    HistoryWriteQueue(UpdateOutput updateOutput, std::chrono::milliseconds editDelay, std::function<void()> changed,
                      QObject *parent = nullptr);
    ~HistoryWriteQueue() override;

    bool saveFailed() const { return m_saveFailed; }
    // Called with a run's id when its delayed edit found nothing to update.
    void setOnMissing(std::function<void(QUuid)> onMissing) { m_onMissing = std::move(onMissing); }

    // Queues a write behind every earlier one; the handle yields its value, or none when it failed.
    SharedTask<std::optional<bool>> enqueue(std::function<QCoro::Task<bool>()> operation);
    SharedTask<std::optional<QUuid>> record(std::function<QCoro::Task<QUuid>()> operation);

    void scheduleEdit(QUuid taskId, QString text);
    // Queues a pending edit at once; does not wait.
    void flush();
    // flush(), then waits for every write queued so far.
    QCoro::Task<> flushAndWait();

signals:
    void saveFailedChanged(bool saveFailed);

private:
    template <typename T>
    SharedTask<std::optional<T>> queue(std::function<QCoro::Task<T>()> operation);
    template <typename T>
    static QCoro::Task<std::optional<T>> runWrite(QPointer<HistoryWriteQueue> queue, SharedTask<void> predecessor,
                                                  std::function<QCoro::Task<T>()> operation);
    template <typename T>
    static QCoro::Task<> completion(SharedTask<std::optional<T>> write);
    static QCoro::Task<> editTimer(QPointer<HistoryWriteQueue> queue, std::chrono::milliseconds delay,
                                   CancellationToken token);
    static QCoro::Task<> reportMissing(QPointer<HistoryWriteQueue> queue, SharedTask<std::optional<bool>> write,
                                       QUuid taskId);
    void setSaveFailed(bool failed);
    void cancelTimer();

    bool m_saveFailed = false;
    UpdateOutput m_updateOutput;
    std::chrono::milliseconds m_editDelay;
    std::function<void()> m_changed;
    std::function<void(QUuid)> m_onMissing = [](QUuid) {};
    std::optional<std::pair<QUuid, QString>> m_pendingEdit;
    std::optional<CancellationSource> m_editTimer;
    SharedTask<void> m_tail;
};

} // namespace velmora
