#pragma once

#include <QCoro/QCoroTask>
#include <QString>

#include <optional>

namespace velmora {

// What the text hand-off needs of the Summarize session, which implements it. The hand-off
// waits for a running summary to end before it replaces the text.
class SummarizeHandoffTarget {
public:
    virtual ~SummarizeHandoffTarget() = default;

    // True while a run is going, and in the "running" preview state.
    virtual bool isRunning() const = 0;
    // Cancels the current run and gives a task that completes once that run has gone through
    // its own end; none when the session is running without a run task (the preview state).
    virtual std::optional<QCoro::Task<>> cancelRun() = 0;
    // Flushes the session's History write queue, when it has one, so a pending edit of the old
    // result is written before the result is cleared.
    virtual void flushHistory() = 0;
    // Replaces the text (clearing the task id and detecting the language again when it differs).
    virtual void setText(const QString &text) = 0;
    virtual void setResult(const QString &result) = 0;
    // No result style, not edited, not failed.
    virtual void resetResult() = 0;
    // Starts a summary when the session's own conditions hold.
    virtual void start() = 0;
};

} // namespace velmora
