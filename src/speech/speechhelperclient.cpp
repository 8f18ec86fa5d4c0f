#include "speech/speechhelperclient.h"

#include "core/defaults.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/uuid.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace velmora {

using Kind = SpeechHelperError::Kind;

namespace {

std::exception_ptr helperError(Kind kind, qint64 status = -1) {
    return std::make_exception_ptr(SpeechHelperError(kind, status));
}

void closeIgnoringErrors(int &fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
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

int decodeStatus(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return WTERMSIG(status);
    return status;
}

} // namespace

// A single-shot timer on the clock that keeps counting while the system sleeps.
class SpeechHelperClient::BoottimeTimer {
public:
    explicit BoottimeTimer(std::function<void()> fired) : m_fired(std::move(fired)) {
        m_fd = timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
        if (m_fd < 0)
            throw PosixError(errno);
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
            quint64 expirations = 0;
            if (::read(m_fd, &expirations, sizeof expirations) == sizeof expirations && expirations > 0)
                m_fired();
        });
    }
    ~BoottimeTimer() {
        m_notifier.reset();
        ::close(m_fd);
    }
    // Arms (or re-arms) the timer; a duration of 0 or less fires on the next turn.
    void start(std::chrono::nanoseconds duration) {
        const qint64 ns = std::max<qint64>(duration.count(), 1);
        itimerspec spec{};
        spec.it_value.tv_sec = ns / 1'000'000'000;
        spec.it_value.tv_nsec = ns % 1'000'000'000;
        timerfd_settime(m_fd, 0, &spec, nullptr);
    }

private:
    std::function<void()> m_fired;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

struct SpeechHelperClient::Process {
    pid_t pid = 0;
    int pidfd = -1;
    std::unique_ptr<QSocketNotifier> exitNotifier; // on the pidfd
    std::unique_ptr<QTimer> exitPoll;              // where pidfds are missing
    bool reaped = false;
    int status = 0;

    ~Process() {
        exitNotifier.reset();
        exitPoll.reset();
        if (pidfd >= 0)
            ::close(pidfd);
    }

    void signal(int sig) const {
        if (reaped)
            return;
        if (pidfd >= 0)
            ::syscall(SYS_pidfd_send_signal, pidfd, sig, nullptr, 0);
        else
            ::kill(pid, sig);
    }

    // Whether it has ended (without reaping it, so its id stays reserved until then).
    bool hasEnded() const {
        if (reaped)
            return true;
        siginfo_t info{};
        if (waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
            return true;
        return info.si_pid != 0;
    }

    // Collects the exit status; false while it still runs.
    bool reap() {
        if (reaped)
            return true;
        int raw = 0;
        const pid_t r = waitpid(pid, &raw, WNOHANG);
        if (r == 0)
            return false;
        reaped = true;
        status = r == pid ? decodeStatus(raw) : -1;
        return true;
    }
};

QString SpeechHelperClient::defaultExecutablePath() {
    return Paths::helpersFolder() + QLatin1Char('/') + QLatin1String(kExecutableName);
}

QString SpeechHelperClient::configuredExecutablePath(const Defaults &defaults) {
    const QString configured = defaults.string(QLatin1String(kExecutablePathKey));
    return configured.isEmpty() ? defaultExecutablePath() : configured;
}

SpeechHelperClient::SpeechHelperClient(QString executablePath, std::chrono::nanoseconds timeout, QObject *parent)
    : SpeechHelping(parent), m_executablePath(std::move(executablePath)), m_timeout(timeout) {
    m_deadline = std::make_unique<BoottimeTimer>([this] { deadlineFired(); });
    m_killTimer = std::make_unique<BoottimeTimer>([this] { killTimerFired(); });
}

SpeechHelperClient::~SpeechHelperClient() {
    // Leave no helper behind: it gets no grace once its owner is gone.
    closeInput();
    closeOutput();
    if (m_process && !m_process->reaped) {
        m_process->signal(SIGKILL);
        int raw = 0;
        while (waitpid(m_process->pid, &raw, 0) < 0 && errno == EINTR) {
        }
    }
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
    return m_process ? qint64(m_process->pid) : 0;
}

void SpeechHelperClient::setLoaded(bool loaded) {
    if (m_isLoaded == loaded)
        return;
    m_isLoaded = loaded;
    emit isLoadedChanged(loaded);
}

bool SpeechHelperClient::processRunning() const {
    return m_process && !m_process->hasEnded();
}

void SpeechHelperClient::closeInput() {
    closeIgnoringErrors(m_input);
}

void SpeechHelperClient::closeOutput() {
    if (m_outputNotifier) {
        m_outputNotifier->setEnabled(false);
        delete m_outputNotifier;
        m_outputNotifier = nullptr;
    }
    closeIgnoringErrors(m_output);
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

    std::exception_ptr failure;
    try {
        if (!m_process)
            co_await launch();
        const SpeechHelperResponse reply =
            co_await request(SpeechHelperRequest::load(uuidString(id), modelPath), QStringLiteral("loaded"));
        if (m_generation != generation || m_stopping || !m_process)
            throw CancelledError();
        if (reply.backend != QLatin1String(SpeechHelperProtocol::kBackend))
            throw SpeechHelperError(Kind::ProtocolViolation);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        if (!isCancellation(failure))
            Log::speech().error("Speech model load failed: %{public}s", {Log::errorCode(failure)});
        if (m_generation == generation)
            co_await terminate();
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
        if (!isCancellation(failure))
            Log::speech().error("Transcription failed: %{public}s", {Log::errorCode(failure)});
        if (m_generation == generation)
            co_await terminate();
        std::rethrow_exception(failure);
    }
    if (reply.type == QLatin1String("error"))
        Log::speech().error("Transcription incomplete: engine status %ld", {*reply.status});
    co_return SpeechTranscription{reply.text.value_or(QString()), *reply.complete, *reply.status};
}

QCoro::Task<> SpeechHelperClient::terminate() {
    if (!m_process)
        co_return;
    if (!m_stopping) {
        m_stopping = true;
        setLoaded(false);
        resolve(std::nullopt, std::make_exception_ptr(CancelledError()));
        closeInput(); // the helper reads the end of its input
        if (processRunning())
            m_process->signal(SIGTERM);
        m_killGeneration = m_generation;
        m_killTimer->start(m_killGrace);
    }
    Promise<void> exited;
    m_exitWaiters.push_back(exited);
    co_await exited;
}

void SpeechHelperClient::killTimerFired() {
    if (m_generation == m_killGeneration && processRunning())
        m_process->signal(SIGKILL);
}

// ---------------------------------------------------------------------------------------------
// Launch and requests.

QCoro::Task<> SpeechHelperClient::launch() {
    const QUuid generation = m_generation;
    m_buffer.clear();
    m_scanned = 0;
    m_stopping = false;

    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    Promise<SpeechHelperResponse> ready;
    m_pending = ready;
    m_expectedId.reset();
    m_expectedType = QStringLiteral("ready");
    emit isBusyChanged(true);
    startTimer();

    bool started = false;
    if (::pipe2(in, O_CLOEXEC) == 0 && ::pipe2(out, O_CLOEXEC) == 0) {
        // Room for the largest request, so the write on the main thread never waits for the helper.
        ::fcntl(in[1], F_SETPIPE_SZ, 1 << 20);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        // The helper starts with default signal handling, whatever this process ignores or blocks.
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t defaults, none;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGTERM);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        const QByteArray path = QFile::encodeName(m_executablePath);
        char *argv[] = {const_cast<char *>(path.constData()), nullptr};
        pid_t pid = 0;
        started = !path.isEmpty() && posix_spawn(&pid, path.constData(), &actions, &attr, argv, environ) == 0;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        if (started) {
            m_process = std::make_unique<Process>();
            m_process->pid = pid;
            m_process->pidfd = int(::syscall(SYS_pidfd_open, pid, 0));
        }
    }
    closeIgnoringErrors(in[0]);
    closeIgnoringErrors(out[1]);
    if (!started) {
        closeIgnoringErrors(in[1]);
        closeIgnoringErrors(out[0]);
        resolve(std::nullopt, helperError(Kind::Unavailable));
        co_await ready;
        co_return;
    }

    m_input = in[1];
    m_output = out[0];
    ::fcntl(m_output, F_SETFL, ::fcntl(m_output, F_GETFL) | O_NONBLOCK);
    m_outputNotifier = new QSocketNotifier(m_output, QSocketNotifier::Read, this);
    connect(m_outputNotifier, &QSocketNotifier::activated, this, [this, generation] { readAvailable(generation); });
    if (m_process->pidfd >= 0) {
        m_process->exitNotifier = std::make_unique<QSocketNotifier>(m_process->pidfd, QSocketNotifier::Read);
        connect(m_process->exitNotifier.get(), &QSocketNotifier::activated, this,
                [this, generation] { exitNotified(generation); });
    } else {
        m_process->exitPoll = std::make_unique<QTimer>();
        connect(m_process->exitPoll.get(), &QTimer::timeout, this, [this, generation] { exitNotified(generation); });
        m_process->exitPoll->start(20);
    }
    co_await ready;
}

QCoro::Task<SpeechHelperResponse> SpeechHelperClient::request(SpeechHelperRequest request, QString expectedType) {
    if (m_pending || m_stopping)
        throw SpeechHelperError(Kind::Busy);
    if (m_input < 0 || !m_process || !processRunning())
        throw SpeechHelperError(Kind::Exited);
    QByteArray line = request.encode();
    if (line.size() > SpeechHelperProtocol::kMaxRequestBytes)
        throw SpeechHelperError(Kind::ProtocolViolation);
    line.append('\n');

    Promise<SpeechHelperResponse> reply;
    m_pending = reply;
    m_expectedId = request.id;
    m_expectedType = expectedType;
    emit isBusyChanged(true);
    startTimer();
    if (!writeAll(m_input, line))
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
    while (m_output >= 0 && generation == m_generation && reads-- > 0) {
        if (m_stopping) {
            // Nothing more is wanted from a helper being stopped.
            if (m_outputNotifier)
                m_outputNotifier->setEnabled(false);
            break;
        }
        const ssize_t n = ::read(m_output, chunk, sizeof chunk);
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
    return reads < 0 && m_output >= 0 && !m_stopping && generation == m_generation;
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

void SpeechHelperClient::exitNotified(const QUuid &generation) {
    if (generation != m_generation || !m_process || !m_process->reap())
        return;
    if (m_process->exitNotifier)
        m_process->exitNotifier->setEnabled(false);
    if (m_process->exitPoll)
        m_process->exitPoll->stop();
    // Whatever the helper wrote before it ended is still in the pipe: read it first (a finite
    // amount, as the writer is gone).
    while (readAvailable(generation)) {
    }
    handleExit(m_process ? m_process->status : -1, generation);
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
    // The notifiers of the process may be the very senders of this call: delete them later.
    if (m_process->exitNotifier)
        m_process->exitNotifier.release()->deleteLater();
    if (m_process->exitPoll)
        m_process->exitPoll.release()->deleteLater();
    m_process.reset();
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
