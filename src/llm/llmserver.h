#pragma once

#include "core/async.h"
#include "llm/chatwire.h"
#include "llm/eventstream.h"
#include "llm/llmerror.h"

#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <optional>
#include <vector>

class QNetworkAccessManager;
class QProcess;

namespace velmora {

class Defaults;

// Timings that tests shorten; the defaults are the program's.
struct LLMServerTimings {
    std::chrono::milliseconds pollInterval{100};   // between two health checks while loading
    std::chrono::milliseconds healthTimeout{1000}; // one health check
    std::chrono::milliseconds killGrace{500};      // SIGTERM to SIGKILL
    std::chrono::milliseconds requestTimeout{60'000};
};

// Starts, watches and stops the local language-model server, and talks to it over loopback
// HTTP. Lives on the main thread for the whole run.
class LLMServer : public QObject {
    Q_OBJECT
public:
    // The defaults key (also a launch argument: -llmServerPath /path) naming the server program.
    static constexpr const char *kExecutablePathKey = "llmServerPath";
    static constexpr const char *kExecutableName = "llm-helper";

    // The program installed beside Velmora's own.
    static QString defaultExecutablePath();
    // The configured program, or the installed one.
    static QString executablePath(const Defaults &defaults);

    LLMServer(QString executablePath, std::chrono::milliseconds loadTimeout, LLMServerTimings timings = {},
              QObject *parent = nullptr);
    ~LLMServer() override;

    bool isReady() const { return m_ready; }

    // Returns once the server runs and is healthy; a call during another start joins it.
    // Throws LLMServerError (unavailable, exited, timeout) or CancelledError when a terminate()
    // overtook the load.
    QCoro::Task<> start(QString model, QString draft);
    // Stops the server (SIGTERM, then SIGKILL after the grace) and returns once its exit was
    // handled.
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
    qint64 generation() const { return m_generation; }
    const QString &program() const { return m_executablePath; }

signals:
    void readyChanged(bool ready);

private:
    QCoro::Task<> load(QString model, QString draft, qint64 generation);
    QCoro::Task<> launch(QString model, QString draft, qint64 generation);
    void handleExit(QProcess *process, quint64 serial, int status);
    void setReady(bool ready);
    quint64 currentSerial() const;
    static QCoro::Task<> killAfterGrace(QPointer<LLMServer> self, quint64 serial, qint64 pid,
                                        std::chrono::milliseconds grace, CancellationToken token);

    QString m_executablePath;
    std::chrono::milliseconds m_loadTimeout;
    LLMServerTimings m_timings;
    QNetworkAccessManager *m_network;

    bool m_ready = false;
    QProcess *m_process = nullptr;
    quint64 m_processSerial = 0; // identity of m_process; launches are numbered from 1
    quint64 m_launches = 0;
    QUrl m_baseUrl;
    QString m_apiKey;
    std::optional<SharedTask<void>> m_starting;
    qint64 m_generation = 0;
    bool m_stopping = false;
    std::vector<Promise<void>> m_exitWaiters;
    CancellationSource m_killTimer; // ends the SIGKILL timer once the exit is handled
};

} // namespace velmora
