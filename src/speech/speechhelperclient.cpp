#include "speech/speechhelperclient.h"

#include "core/boottimetimer.h"
#include "core/childprocess.h"
#include "core/defaults.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/uuid.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace velmora {

using Kind = SpeechHelperError::Kind;

namespace {

std::exception_ptr helperError(Kind kind, qint64 status = -1) {
    return std::make_exception_ptr(SpeechHelperError(kind, status));
}

// Writes everything or fails. A helper that has closed its input gives EPIPE; the SIGPIPE this
// raises is held back and discarded, so the write fails instead of ending the program even
// where the signal is not ignored.
bool writeAll(int fd, const QByteArray &data) {
    sigset_t pipeSet, old;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &old);
    bool ok = true;
    int error = 0;
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            error = errno;
            break;
        }
        done += n;
    }
    if (!ok && error == EPIPE && !sigismember(&old, SIGPIPE)) {
        sigset_t pendingSet;
        sigpending(&pendingSet);
        if (sigismember(&pendingSet, SIGPIPE)) {
            const timespec zero{};
            sigtimedwait(&pipeSet, nullptr, &zero);
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok;
}

} // namespace

QString SpeechHelperClient::defaultExecutablePath() {
    return Paths::helpersFolder() + QLatin1Char('/') + QLatin1String(kExecutableName);
}

QString SpeechHelperClient::configuredExecutablePath(const Defaults &defaults) {
    const QString configured = defaults.string(QLatin1String(kExecutablePathKey));
    return configured.isEmpty() ? defaultExecutablePath() : configured;
}

SpeechHelperClient::SpeechHelperClient(QString executablePath, std::chrono::nanoseconds timeout, QObject *parent)
    : SpeechHelping(parent), m_executablePath(std::move(executablePath)), m_timeout(timeout) {
    m_deadline = new BoottimeTimer(this);
    connect(m_deadline, &BoottimeTimer::timeout, this, &SpeechHelperClient::deadlineFired);
}

SpeechHelperClient::~SpeechHelperClient() {
    // Leave no helper behind: it gets no grace once its owner is gone (the process object
    // ends and reaps it).
    closeOutput();
    delete m_process;
    m_process = nullptr;
    releaseExitWaiters(std::move(m_exitWaiters));
}

void SpeechHelperClient::releaseExitWaiters(std::vector<Promise<void>> waiters) {
    if (waiters.empty())
        return;
    // Resumed on a later turn, in arrival order. A stop's waiters only return once resumed, so
    // they may outlive the client (which is why the application, not the client, is the context).
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [waiters = std::move(waiters)]() mutable {
            for (auto &waiter : waiters)
                waiter.resolve();
        },
        Qt::QueuedConnection);
}

qint64 SpeechHelperClient::processId() const {
    return m_process ? m_process->processId() : 0;
}

void SpeechHelperClient::setLoaded(bool loaded) {
    if (m_isLoaded == loaded)
        return;
    m_isLoaded = loaded;
    emit isLoadedChanged(loaded);
}

bool SpeechHelperClient::processRunning() const {
    return m_process && m_process->isRunning();
}

void SpeechHelperClient::closeInput() {
    if (m_process)
        m_process->closeInput();
}

void SpeechHelperClient::closeOutput() {
    if (m_outputNotifier) {
        m_outputNotifier->setEnabled(false);
        delete m_outputNotifier;
        m_outputNotifier = nullptr;
    }
    if (m_process)
        m_process->closeOutput();
}

int SpeechHelperClient::outputFd() const {
    return m_process ? m_process->outputFd() : -1;
}

// ---------------------------------------------------------------------------------------------
// Operations.

QCoro::Task<> SpeechHelperClient::load(QString modelPath, QUuid id) {
    if (m_stopping || m_pending)
        throw SpeechHelperError(Kind::Busy);
    if (m_isLoaded)
        co_return;
    if (!m_process)
        m_generation = QUuid::createUuid();
    const QUuid generation = m_generation;
    const auto started = ContinuousClock::now();
    const QPointer<SpeechHelperClient> self(this);

    std::exception_ptr failure;
    try {
        if (!m_process) {
            co_await launch();
            if (!self)
                throw CancelledError();
        }
        const SpeechHelperResponse reply =
            co_await request(SpeechHelperRequest::load(uuidString(id), modelPath), QStringLiteral("loaded"));
        if (!self || m_generation != generation || m_stopping || !m_process)
            throw CancelledError();
        if (reply.backend != QLatin1String(SpeechHelperProtocol::kBackend))
            throw SpeechHelperError(Kind::ProtocolViolation);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        co_await afterFailure(self, generation, failure, "Speech model load failed: %{public}s");
        std::rethrow_exception(failure);
    }
    setLoaded(true);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(ContinuousClock::now() - started);
    Log::speech().notice("Speech model loaded in %ld ms", {qint64(elapsed.count())});
}

QCoro::Task<SpeechTranscription> SpeechHelperClient::transcribe(QString sampleFile, qint64 offset, qint64 samples,
                                                                QString language, QUuid id) {
    if (!m_isLoaded || offset < 0 || samples < 1 || samples > SpeechHelperProtocol::kMaxSamples)
        throw SpeechHelperError(Kind::Unavailable);
    // Refused like a load: the helper and the request it is working on are not ours to stop.
    if (m_pending || m_stopping)
        throw SpeechHelperError(Kind::Busy);
    const QUuid generation = m_generation;
    const QPointer<SpeechHelperClient> self(this);

    std::exception_ptr failure;
    SpeechHelperResponse reply;
    try {
        reply = co_await request(SpeechHelperRequest::transcribe(uuidString(id), sampleFile, offset, samples, language),
                                 QStringLiteral("result"));
        // A reply is only ever taken from the current helper while no stop runs, so it stands
        // even when a later line of the same read stops the helper before this resumes.
        const bool isResult = reply.type == QLatin1String("result");
        if (!reply.status || !reply.complete || *reply.complete != (*reply.status == 0) || *reply.complete != isResult)
            throw SpeechHelperError(Kind::ProtocolViolation);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        co_await afterFailure(self, generation, failure, "Transcription failed: %{public}s");
        std::rethrow_exception(failure);
    }
    if (reply.type == QLatin1String("error"))
        Log::speech().error("Transcription incomplete: engine status %ld", {*reply.status});
    co_return SpeechTranscription{reply.text.value_or(QString()), *reply.complete, *reply.status};
}

QCoro::Task<> SpeechHelperClient::afterFailure(QPointer<SpeechHelperClient> self, QUuid generation,
                                               std::exception_ptr failure, const char *message) {
    if (!isCancellation(failure))
        Log::speech().error(message, {Log::errorCode(failure)});
    // The helper that failed the operation is stopped, unless it has been replaced since.
    if (self && self->m_generation == generation)
        co_await self->terminate();
}

QCoro::Task<> SpeechHelperClient::terminate() {
    if (!m_process)
        co_return;
    if (!m_stopping) {
        m_stopping = true;
        setLoaded(false);
        resolve(std::nullopt, std::make_exception_ptr(CancelledError()));
        closeInput(); // the helper reads the end of its input
        m_process->terminate(m_killGrace);
    }
    Promise<void> exited;
    m_exitWaiters.push_back(exited);
    co_await exited;
}

// ---------------------------------------------------------------------------------------------
// Launch and requests.

QCoro::Task<> SpeechHelperClient::launch() {
    const QUuid generation = m_generation;
    m_buffer.clear();
    m_scanned = 0;
    m_stopping = false;

    // Only the client holds the promise: dropping the client ends the wait with CancelledError.
    m_pending.emplace();
    auto ready = m_pending->waiter();
    m_expectedId.reset();
    m_expectedType = QStringLiteral("ready");
    emit isBusyChanged(true);
    startTimer();

    ChildProcess::Options options;
    options.program = m_executablePath;
    options.input = ChildProcess::Stream::Pipe;
    options.output = ChildProcess::Stream::Pipe;
    // Room for the largest request, so the write on the main thread never waits for the helper.
    options.inputCapacity = 1 << 20;
    try {
        m_process = new ChildProcess(options, this);
    } catch (...) {
        resolve(std::nullopt, helperError(Kind::Unavailable));
    }
    if (!m_process) {
        co_await ready;
        co_return;
    }
    m_outputNotifier = new QSocketNotifier(m_process->outputFd(), QSocketNotifier::Read, this);
    connect(m_outputNotifier, &QSocketNotifier::activated, this, [this, generation] { readAvailable(generation); });
    connect(m_process, &ChildProcess::exited, this,
            [this, generation](int status) { exitNotified(generation, status); });
    co_await ready;
}

QCoro::Task<SpeechHelperResponse> SpeechHelperClient::request(SpeechHelperRequest request, QString expectedType) {
    if (m_pending || m_stopping)
        throw SpeechHelperError(Kind::Busy);
    if (!m_process || m_process->inputFd() < 0 || !processRunning())
        throw SpeechHelperError(Kind::Exited);
    QByteArray line = request.encode();
    if (line.size() > SpeechHelperProtocol::kMaxRequestBytes)
        throw SpeechHelperError(Kind::ProtocolViolation);
    line.append('\n');

    m_pending.emplace();
    auto reply = m_pending->waiter();
    m_expectedId = request.id;
    m_expectedType = expectedType;
    emit isBusyChanged(true);
    startTimer();
    if (!writeAll(m_process->inputFd(), line))
        resolve(std::nullopt, helperError(Kind::Exited));
    co_return co_await reply;
}

void SpeechHelperClient::resolve(std::optional<SpeechHelperResponse> response, std::exception_ptr error) {
    if (!m_pending)
        return;
    Promise<SpeechHelperResponse> pending = *m_pending;
    m_pending.reset();
    m_expectedId.reset();
    m_expectedType.reset();
    emit isBusyChanged(false);
    // The waiting operation resumes on a later turn (the kit queues every resumption), so every
    // line of the current delivery is judged against the state it arrived in.
    if (error)
        pending.reject(error);
    else
        pending.resolve(std::move(*response));
}

void SpeechHelperClient::startTimer() {
    m_deadlineNumber = ++m_requestNumber;
    m_deadline->start(m_timeout);
}

void SpeechHelperClient::deadlineFired() {
    // Only the most recently armed deadline exists; it acts only while something waits.
    if (m_deadlineNumber != m_requestNumber || !m_pending || m_stopping)
        return;
    Log::speech().error("Speech helper timed out");
    resolve(std::nullopt, helperError(Kind::TimedOut));
    emit failed();
    QCoro::connect(terminate(), this, [] {});
}

void SpeechHelperClient::protocolViolation() {
    resolve(std::nullopt, helperError(Kind::ProtocolViolation));
    emit failed();
    QCoro::connect(terminate(), this, [] {});
}

// ---------------------------------------------------------------------------------------------
// Reading.

bool SpeechHelperClient::readAvailable(const QUuid &generation) {
    // A bounded amount per turn, so a helper that floods its output cannot hold the main thread
    // (the notifier fires again for the rest).
    char chunk[65536];
    int reads = int(SpeechHelperProtocol::kMaxReplyBytes / qsizetype(sizeof chunk)) + 1;
    while (outputFd() >= 0 && generation == m_generation && reads-- > 0) {
        if (m_stopping) {
            // Nothing more is wanted from a helper being stopped.
            if (m_outputNotifier)
                m_outputNotifier->setEnabled(false);
            break;
        }
        const ssize_t n = ::read(outputFd(), chunk, sizeof chunk);
        if (n > 0) {
            receive(QByteArray(chunk, n), generation);
            continue;
        }
        if (n == 0 && m_outputNotifier)
            m_outputNotifier->setEnabled(false); // end of stream: the exit follows
        if (n < 0 && errno == EINTR)
            continue;
        return false;
    }
    return reads < 0 && outputFd() >= 0 && !m_stopping && generation == m_generation;
}

void SpeechHelperClient::receive(const QByteArray &bytes, const QUuid &generation) {
    if (generation != m_generation || !m_process || m_stopping || bytes.isEmpty())
        return;
    m_buffer.append(bytes);
    constexpr qsizetype limit = SpeechHelperProtocol::kMaxReplyBytes;
    qsizetype start = 0;
    while (true) {
        const qsizetype newline = m_buffer.indexOf('\n', std::max(start, m_scanned));
        if (newline < 0) {
            m_scanned = m_buffer.size();
            if (m_buffer.size() - start > limit)
                protocolViolation();
            break;
        }
        const qsizetype length = newline - start;
        if (length > limit) {
            protocolViolation();
            break;
        }
        const auto reply = SpeechHelperResponse::decode(QByteArrayView(m_buffer).sliced(start, length));
        if (!reply || reply->v != SpeechHelperProtocol::kVersion || !m_pending || reply->id != m_expectedId) {
            protocolViolation();
            break;
        }
        start = newline + 1;
        m_scanned = start;
        if (reply->type == QLatin1String("working")) {
            if (!m_expectedId) {
                protocolViolation();
                break;
            }
            continue;
        }
        if (reply->type != m_expectedType && reply->type != QLatin1String("error")) {
            protocolViolation();
            break;
        }
        if (reply->type == QLatin1String("error") && m_expectedType != QLatin1String("result"))
            resolve(std::nullopt, helperError(Kind::Engine, reply->status.value_or(-1)));
        else
            resolve(*reply, nullptr);
    }
    if (generation == m_generation && start > 0) {
        m_buffer.remove(0, start);
        m_scanned = std::max<qsizetype>(m_scanned - start, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Exit.

void SpeechHelperClient::exitNotified(const QUuid &generation, int status) {
    if (generation != m_generation || !m_process)
        return;
    // Whatever the helper wrote before it ended is still in the pipe: read it first (a finite
    // amount, as the writer is gone).
    while (readAvailable(generation)) {
    }
    handleExit(status, generation);
}

void SpeechHelperClient::handleExit(int status, const QUuid &generation) {
    if (generation != m_generation || !m_process)
        return;
    const bool wanted = m_stopping;
    if (!wanted)
        Log::speech().error("Speech helper exited unexpectedly with status %d", {status});
    setLoaded(false);
    closeOutput();
    closeInput();
    // The process object is the sender of this call: delete it later.
    m_process->disconnect(this);
    m_process->deleteLater();
    m_process = nullptr;
    m_buffer.clear();
    m_scanned = 0;
    const bool unanswered = m_pending.has_value();
    resolve(std::nullopt, helperError(Kind::Exited));
    auto waiters = std::move(m_exitWaiters);
    m_exitWaiters.clear();
    m_stopping = false;
    releaseExitWaiters(std::move(waiters));
    if (wanted)
        return;
    if (unanswered) {
        // Reported before the request hears that it failed.
        emit failed();
        return;
    }
    // An answer read just before the exit is still on its way to its caller: report the exit
    // behind it, through the same queue.
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation == m_generation)
                emit failed();
        },
        Qt::QueuedConnection);
}

} // namespace velmora
