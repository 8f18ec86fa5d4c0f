#pragma once

#include "core/cancellationtoken.h"
#include "core/continuousclock.h"
#include "core/error.h"
#include "core/promise.h"
#include "core/sharedtask.h"
#include "llm/chatwire.h"
#include "llm/llmeventstream.h"
#include "llm/llmservererror.h"

#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <optional>
#include <vector>

class QNetworkAccessManager;

namespace velmora {

class ChildProcess;
class Defaults;

// Timings that tests shorten; the defaults are the program's.
struct LLMServerTimings {
    std::chrono::milliseconds loadTimeout{60'000};    // one launch until it answers healthy
    std::chrono::milliseconds pollInterval{100};      // between two health checks while loading
    std::chrono::milliseconds healthTimeout{1000};    // one health check
    std::chrono::milliseconds killGrace{500};         // SIGTERM to SIGKILL
    std::chrono::milliseconds requestTimeout{60'000}; // one chat request

    friend bool operator==(const LLMServerTimings &, const LLMServerTimings &) = default;
};

// Starts, watches and stops the local language-model server, and talks to it over loopback
// HTTP. Lives on the main thread for the whole run.
class LLMServer : public QObject {
    Q_OBJECT
public:
    static constexpr const char *kExecutableName = "llm-helper";

    // The program installed beside Velmora's own.
    static QString defaultExecutablePath();
    // The configured program (kLLMServerPath), or the installed one.
    static QString executablePath(const Defaults &defaults);

    explicit LLMServer(QString executablePath, LLMServerTimings timings = {}, QObject *parent = nullptr);
    ~LLMServer() override;

    bool isReady() const { return m_ready; }

    // Returns once the server runs and is healthy; a call during another start joins it.
    // Throws LLMServerError (unavailable, exited, timeout) or CancelledError when a terminate()
    // overtook the load.
    QCoro::Task<> start(QString model, QString draft);
    // Stops the server (SIGTERM, then SIGKILL after the grace) and returns once its exit was
    // handled and a load it overtook has ended.
    QCoro::Task<> terminate();

    // A plain chat request. Throws LLMServerError or CancelledError.
    QCoro::Task<LLMChatReply> complete(LLMChatRequest request, CancellationToken token = {});
    // A streamed chat request; failures arrive through the stream.
    LLMEventStream stream(LLMChatRequest request);

    struct PreparedRequest {
        QNetworkRequest request;
        QByteArray body;
    };
    // The authorised HTTP request for a chat; throws LLMServerError::unavailable when not ready.
    PreparedRequest chatRequest(const LLMChatRequest &request) const;

    // A loopback port that is free at this moment; throws LLMServerError::unavailable.
    static quint16 freePort();
    // The server's command line.
    static QStringList arguments(const QString &model, const QString &draft, quint16 port);
    // Whether GET health at base answers 200.
    QCoro::Task<bool> isHealthy(QUrl base);
    // The error a failed transfer reports.
    static std::exception_ptr mapTransportError(std::exception_ptr error, const CancellationToken &token = {});

    // The running server, for the supervisor's own checks and diagnostics.
    qint64 processId() const;
    QUrl baseUrl() const { return m_baseUrl; }
    QString apiKey() const { return m_apiKey; }
    const LLMServerTimings &timings() const { return m_timings; }

signals:
    void readyChanged(bool ready);

private:
    QCoro::Task<> load(QString model, QString draft, qint64 generation);
    QCoro::Task<> launch(QString model, QString draft, qint64 generation);
    QCoro::Task<> stopProcess();
    void handleExit(ChildProcess *process, quint64 serial, int status);
    void setReady(bool ready);
    quint64 currentSerial() const;

    QString m_executablePath;
    LLMServerTimings m_timings;
    QNetworkAccessManager *m_network;

    bool m_ready = false;
    ChildProcess *m_process = nullptr;
    quint64 m_processSerial = 0; // identity of m_process; launches are numbered from 1
    quint64 m_launches = 0;
    QUrl m_baseUrl;
    QString m_apiKey;
    std::optional<SharedTask<void>> m_starting;
    SharedTask<void> m_loading; // the latest load, awaited by terminate()
    qint64 m_generation = 0;
    bool m_stopping = false;
    std::vector<Promise<void>> m_exitWaiters;
};

} // namespace velmora
