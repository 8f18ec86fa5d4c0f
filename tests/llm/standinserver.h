#pragma once

#include "core/log.h"
#include "llm/llmruntime.h"
#include "llm/llmserver.h"
#include "llm/llmservererror.h"
#include "support/testsupport.h"

#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace velmora::test {

// A stand-in server's "model" file with its script, the draft file beside it, and what the
// stand-in recorded of its launches and requests.
class StandIn {
public:
    // Off for benchmarks: writing down every streamed piece would be measured too.
    enum class Recording { On, Off };

    explicit StandIn(QJsonObject script = {}, Recording recording = Recording::On);

    const QString &model() const { return m_model; }
    const QString &draft() const { return m_draft; }
    QStringList files() const { return {m_model, m_draft}; }
    // Rewrites the script (read at the next launch).
    void setScript(QJsonObject script);

    // One object per launch: "arguments" and "environment".
    QList<QJsonObject> launches() const;
    // The request bodies, in arrival order.
    QList<QByteArray> requests() const;
    // The same, decoded.
    QList<QJsonObject> requestObjects() const;
    // Streamed pieces sent so far, over all requests.
    int piecesSent() const;
    // Streams whose client went away before their end.
    int abortedStreams() const;

private:
    QList<QByteArray> recorded(const char *suffix) const;

    QTemporaryDir m_dir;
    QString m_model, m_draft, m_record;
    Recording m_recording;
};

// Short timings so every path of the supervisor runs quickly.
LLMServerTimings fastTimings();
// For a tool's whole runs: a load may take long on a busy machine, and the tool's own budget,
// not the transfer timeout, cuts a stalled reply off.
LLMServerTimings runTimings();
QString helperProgram();

// The stand-in server program under the timings.
std::unique_ptr<LLMServer> standInServer(LLMServerTimings timings = fastTimings());
// A runtime over server that loads the stand-in's files while ready() holds. The stand-in and
// the callbacks' captures must outlive it.
std::unique_ptr<LLMRuntime> standInRuntime(LLMServer &server, const StandIn &standIn, std::function<bool()> ready,
                                           std::function<std::optional<double>()> unloadSeconds = {});

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

// Stops the server and expects its process (if it had one) to be gone.
void terminateAndExpectGone(LLMServer &server);

// How many lines of the "llm" log begin with prefix.
int countLlmLines(const LogCapture &log, const QString &prefix);

// A runtime over a stand-in server, with the id of every server process that became ready.
class RuntimeTest : public ::testing::Test {
protected:
    void make(QJsonObject script = {}, LLMServerTimings timings = fastTimings());
    bool allGone() const;
    // Quits the runtime, which must leave no server process behind.
    void TearDown() override;

    TempHome home;
    LogCapture log;
    std::unique_ptr<StandIn> standIn;
    std::unique_ptr<LLMServer> server;
    std::unique_ptr<LLMRuntime> runtime;
    bool filesReady = true;
    std::optional<double> unloadSeconds; // never, unless a test sets it
    QList<qint64> pids;
};

} // namespace velmora::test
