#pragma once

// One per tool session: runs the session's History writes one after another in call order,
// keeps saveFailed for the most recent write, and writes edits of a shown result's text one
// edit delay after the last edit of that run.

#include "core/cancellationtoken.h"
#include "core/continuousclock.h"
#include "core/debouncer.h"
#include "core/serialqueue.h"
#include "core/sharedtask.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <chrono>
#include <functional>
#include <optional>

namespace velmora {

class HistoryWriteQueue : public QObject {
    Q_OBJECT
public:
    // Writes a run's new output text; false when the run has nothing to update any more.
    using UpdateOutput = std::function<QCoro::Task<bool>(QUuid taskId, QString text)>;

    HistoryWriteQueue(UpdateOutput updateOutput, std::chrono::milliseconds editDelay, QObject *parent = nullptr);
    ~HistoryWriteQueue() override;

    bool saveFailed() const { return m_saveFailed; }

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
    // After every write that succeeded.
    void changed();
    // A delayed edit found its run gone: missing, its content deleted, or without an output text.
    void missing(QUuid taskId);

private:
    template <typename T>
    SharedTask<std::optional<T>> queue(std::function<QCoro::Task<T>()> operation);
    template <typename T>
    static QCoro::Task<std::optional<T>> runWrite(QPointer<HistoryWriteQueue> queue,
                                                  std::function<QCoro::Task<T>()> operation);
    static QCoro::Task<> reportMissing(QPointer<HistoryWriteQueue> queue, SharedTask<std::optional<bool>> write,
                                       QUuid taskId);
    void setSaveFailed(bool failed);

    bool m_saveFailed = false;
    UpdateOutput m_updateOutput;
    std::optional<std::pair<QUuid, QString>> m_pendingEdit;
    Debouncer m_editDelay;
    SerialQueue m_writes;
};

} // namespace velmora
