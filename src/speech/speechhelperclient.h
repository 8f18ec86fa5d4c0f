#pragma once

// The application's one owner of the speech helper process: starts it when a model load needs
// it, runs one request at a time against a deadline, checks every reply line, notices the
// helper's exit and stops it (input closed, SIGTERM, SIGKILL after a grace period).
// Keep it for the program's lifetime: destroying it kills the helper at once, and an operation
// still pending then never completes.

#include "core/continuousclock.h"
#include "core/error.h"
#include "core/promise.h"
#include "speech/speechhelperprotocol.h"
#include "speech/speechhelping.h"

#include <QObject>
#include <QPointer>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;

namespace velmora {

class BoottimeTimer;
class ChildProcess;
class Defaults;

class SpeechHelperClient : public SpeechHelping {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds kDefaultTimeout{120};
    static constexpr std::chrono::milliseconds kDefaultKillGrace{500};
    // Defaults key (and "-speechHelperPath path" launch argument) naming another helper program.
    static constexpr const char *kExecutablePathKey = "speechHelperPath";
    static constexpr const char *kExecutableName = "velmora-speech-helper";

    // The program installed beside Velmora.
    static QString defaultExecutablePath();
    // The configured program, or the default one.
    static QString configuredExecutablePath(const Defaults &defaults);

    SpeechHelperClient(QString executablePath, std::chrono::nanoseconds timeout = kDefaultTimeout,
                       QObject *parent = nullptr);
    ~SpeechHelperClient() override;

    // The deadline of the waits that begin from now on (the start-up wait and each request).
    void setTimeout(std::chrono::nanoseconds timeout) { m_timeout = timeout; }
    // How long a stopped helper may take to exit after SIGTERM before it gets SIGKILL.
    void setKillGrace(std::chrono::nanoseconds grace) { m_killGrace = grace; }

    const QString &executablePath() const { return m_executablePath; }
    std::chrono::nanoseconds timeout() const { return m_timeout; }
    // The running helper's process id; 0 when none runs.
    qint64 processId() const;

    bool isLoaded() const override { return m_isLoaded; }
    bool isBusy() const override { return m_pending.has_value(); }

    QCoro::Task<> load(QString modelPath, QUuid id) override;
    QCoro::Task<SpeechTranscription> transcribe(QString sampleFile, qint64 offset, qint64 samples, QString language,
                                                QUuid id) override;
    QCoro::Task<> terminate() override;

signals:
    void isLoadedChanged(bool loaded);
    void isBusyChanged(bool busy);

private:
    QCoro::Task<> launch();
    QCoro::Task<SpeechHelperResponse> request(SpeechHelperRequest request, QString expectedType);
    // Logs an operation's failure and stops the helper that caused it.
    static QCoro::Task<> afterFailure(QPointer<SpeechHelperClient> self, QUuid generation, std::exception_ptr failure,
                                      const char *message);
    void receive(const QByteArray &bytes, const QUuid &generation);
    // Reads a bounded amount; true when more may be waiting.
    bool readAvailable(const QUuid &generation);
    void resolve(std::optional<SpeechHelperResponse> response, std::exception_ptr error);
    void startTimer();
    void deadlineFired();
    void protocolViolation();
    void exitNotified(const QUuid &generation, int status);
    void handleExit(int status, const QUuid &generation);
    bool processRunning() const;
    void closeInput();
    void closeOutput();
    int outputFd() const;
    void setLoaded(bool loaded);
    static void releaseExitWaiters(std::vector<Promise<void>> waiters);

    bool m_isLoaded = false;
    const QString m_executablePath;
    ChildProcess *m_process = nullptr;
    QSocketNotifier *m_outputNotifier = nullptr;
    QUuid m_generation = QUuid::createUuid();
    QByteArray m_buffer;
    qsizetype m_scanned = 0; // bytes of m_buffer already searched for a line feed
    std::optional<Promise<SpeechHelperResponse>> m_pending;
    std::optional<QString> m_expectedId;
    std::optional<QString> m_expectedType;
    bool m_stopping = false;
    std::vector<Promise<void>> m_exitWaiters;
    qint64 m_requestNumber = 0;
    std::chrono::nanoseconds m_timeout;
    std::chrono::nanoseconds m_killGrace = kDefaultKillGrace;
    BoottimeTimer *m_deadline = nullptr;
    qint64 m_deadlineNumber = 0;
};

} // namespace velmora
