#pragma once

#include "llm/llmerror.h"
#include "llm/llmserver.h"
#include "support/testsupport.h"

#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <exception>
#include <functional>

namespace velmora::test {

// A stand-in server's "model" file with its script, the draft file beside it, and what the
// stand-in recorded of its launches and requests.
class StandIn {
public:
    explicit StandIn(QJsonObject script = {});

    const QString &model() const { return m_model; }
    const QString &draft() const { return m_draft; }
    QStringList files() const { return {m_model, m_draft}; }
    // Rewrites the script (read at the next launch).
    void setScript(QJsonObject script);

    // One object per launch: "arguments" and "environment".
    QList<QJsonObject> launches() const;
    // The request bodies, in arrival order.
    QList<QByteArray> requests() const;

private:
    QTemporaryDir m_dir;
    QString m_model, m_draft, m_record;
};

// Short timings so every path of the supervisor runs quickly.
LLMServerTimings fastTimings();
QString helperProgram();

// Whether no process with this id exists any more (it was reaped).
bool processGone(qint64 pid);

// Runs the task and returns the error it failed with (or none).
template <typename T>
std::exception_ptr failureOf(QCoro::Task<T> &&task) {
    try {
        run(std::move(task));
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

// The LLMServerError kind in error, or nothing when it is another error or none.
std::optional<LLMServerError> serverError(const std::exception_ptr &error);

} // namespace velmora::test
