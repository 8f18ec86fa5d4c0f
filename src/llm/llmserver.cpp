#include "llm/llmserver.h"

#include "core/childprocess.h"
#include "core/defaults.h"
#include "core/log.h"
#include "core/paths.h"
#include "llm/llmsettings.h"
#include "platform/networkreply.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRandomGenerator>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace velmora {

namespace {

// Four 64-bit values from the system's secure generator, each in lower-case hex without
// leading zeros, joined.
QString makeApiKey() {
    QString key;
    for (int i = 0; i < 4; ++i)
        key += QString::number(QRandomGenerator::system()->generate64(), 16);
    return key;
}

qint64 elapsedMs(ContinuousClock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(ContinuousClock::now() - since).count();
}

} // namespace

QString LLMServer::defaultExecutablePath() {
    return Paths::helpersFolder() + QLatin1Char('/') + QLatin1StringView(kExecutableName);
}

QString LLMServer::executablePath(const Defaults &defaults) {
    const QString configured = defaults.get(kLLMServerPath);
    return configured.isEmpty() ? defaultExecutablePath() : configured;
}

LLMServer::LLMServer(QString executablePath, LLMServerTimings timings, QObject *parent)
    : QObject(parent), m_executablePath(std::move(executablePath)), m_timings(timings),
      m_network(new QNetworkAccessManager(this)) {
    // Loopback traffic never goes through a system proxy, and nothing is cached.
    m_network->setProxy(QNetworkProxy::NoProxy);
    m_network->setCache(nullptr);
}

LLMServer::~LLMServer() {
    ++m_generation;
    if (m_process) {
        // Never leave the server running behind us: the supervisor kills and reaps it.
        m_process->disconnect(this);
        delete m_process;
        m_process = nullptr;
    }
}

qint64 LLMServer::processId() const {
    return m_process ? m_process->processId() : 0;
}

quint64 LLMServer::currentSerial() const {
    return m_process ? m_processSerial : 0;
}

void LLMServer::setReady(bool ready) {
    if (m_ready == ready)
        return;
    m_ready = ready;
    emit readyChanged(ready);
}

QCoro::Task<> LLMServer::start(QString model, QString draft) {
    QPointer<LLMServer> self(this);
    while (m_stopping) {
        Promise<void> exited;
        m_exitWaiters.push_back(exited);
        co_await exited;
        if (!self)
            throw CancelledError();
    }
    if (m_ready)
        co_return;
    if (m_starting) {
        const SharedTask<void> running = *m_starting;
        co_await running;
        co_return;
    }
    const qint64 generation = m_generation;
    m_starting.emplace(load(std::move(model), std::move(draft), generation));
    m_loading = *m_starting;
    const SharedTask<void> running = *m_starting;
    std::exception_ptr error;
    try {
        co_await running;
    } catch (...) {
        error = std::current_exception();
    }
    if (self && m_generation == generation && m_starting)
        m_starting.reset();
    if (error)
        std::rethrow_exception(error);
}

QCoro::Task<> LLMServer::load(QString model, QString draft, qint64 generation) {
    const auto began = ContinuousClock::now();
    QPointer<LLMServer> self(this);
    bool retry = false;
    try {
        co_await launch(model, draft, generation);
    } catch (const LLMServerError &e) {
        if (e.kind() != LLMServerError::Kind::Exited || !self || m_generation != generation)
            throw;
        retry = true;
    }
    if (retry) {
        Log::llm().notice("LLM exited while loading; retrying on a new port");
        co_await launch(model, draft, generation);
    }
    Log::llm().notice("LLM ready in %ld ms", {elapsedMs(began)});
}

QCoro::Task<> LLMServer::launch(QString model, QString draft, qint64 generation) {
    if (m_generation != generation)
        throw CancelledError();
    const quint16 port = freePort();
    const QString key = makeApiKey();

    ChildProcess::Options options;
    options.program = QFileInfo(m_executablePath).absoluteFilePath();
    options.arguments = arguments(model, draft, port);
    // Exactly these two variables: nothing of our own environment reaches the server.
    options.environment =
        QStringList{QStringLiteral("LLAMA_API_KEY=") + key, QStringLiteral("LLAMA_SERVER_ROUTER_PORT=0")};
    // Its input is a pipe that stays open while we live, so the server sees our end.
    options.input = ChildProcess::Stream::Pipe;
    ChildProcess *process = nullptr;
    try {
        process = new ChildProcess(options, this);
    } catch (const PosixError &) {
        throw LLMServerError::unavailable();
    }
    const quint64 serial = ++m_launches;
    connect(process, &ChildProcess::exited, this,
            [this, process, serial](int status) { handleExit(process, serial, status); });

    m_process = process;
    m_processSerial = serial;
    m_apiKey = key;
    m_baseUrl = QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
    const QUrl base = m_baseUrl;
    const auto deadline = ContinuousClock::now() + m_timings.loadTimeout;
    QPointer<LLMServer> self(this);

    for (;;) {
        const bool healthy = co_await isHealthy(base);
        if (!self)
            throw CancelledError();
        if (healthy) {
            if (m_generation == generation && currentSerial() == serial) {
                setReady(true);
                co_return;
            }
            throw LLMServerError::exited();
        }
        if (m_generation != generation)
            throw CancelledError();
        if (currentSerial() != serial)
            throw LLMServerError::exited();
        if (ContinuousClock::now() < deadline) {
            try {
                co_await sleepFor(m_timings.pollInterval);
            } catch (...) {
            }
            if (!self)
                throw CancelledError();
            continue;
        }
        co_await stopProcess();
        throw LLMServerError::timeout();
    }
}

quint16 LLMServer::freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        throw LLMServerError::unavailable();
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    if (::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr) != 1)
        throw LLMServerError::unavailable();
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        throw LLMServerError::unavailable();
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        throw LLMServerError::unavailable();
    return ntohs(address.sin_port);
}

QStringList LLMServer::arguments(const QString &model, const QString &draft, quint16 port) {
    return {QStringLiteral("--model"),
            model,
            QStringLiteral("--spec-draft-model"),
            draft,
            QStringLiteral("--spec-type"),
            QStringLiteral("draft-mtp"),
            QStringLiteral("--spec-draft-n-max"),
            QStringLiteral("3"),
            QStringLiteral("--ctx-size"),
            QStringLiteral("16384"),
            QStringLiteral("--parallel"),
            QStringLiteral("1"),
            QStringLiteral("--temp"),
            QStringLiteral("1.0"),
            QStringLiteral("--top-k"),
            QStringLiteral("64"),
            QStringLiteral("--top-p"),
            QStringLiteral("0.95"),
            QStringLiteral("--n-gpu-layers"),
            QStringLiteral("999"),
            QStringLiteral("--reasoning"),
            QStringLiteral("off"),
            QStringLiteral("--jinja"),
            QStringLiteral("--host"),
            QStringLiteral("127.0.0.1"),
            QStringLiteral("--port"),
            QString::number(port),
            QStringLiteral("--no-webui"),
            QStringLiteral("--no-slots")};
}

QCoro::Task<bool> LLMServer::isHealthy(QUrl base) {
    QNetworkRequest request(QUrl(base.toString() + QStringLiteral("/health")));
    request.setTransferTimeout(int(m_timings.healthTimeout.count()));
    QPointer<QNetworkReply> reply = m_network->get(request);
    co_await replyFinished(reply);
    if (!reply)
        co_return false;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    reply->deleteLater();
    co_return status.isValid() && status.toInt() == 200;
}

QCoro::Task<> LLMServer::terminate() {
    const SharedTask<void> loading = std::exchange(m_loading, {});
    co_await stopProcess();
    // The overtaken load notices at its next poll; waiting for it means no load outlives a quit.
    if (loading.isValid() && !loading.isDone()) {
        try {
            co_await loading;
        } catch (...) {
        }
    }
}

QCoro::Task<> LLMServer::stopProcess() {
    ++m_generation;
    m_starting.reset();
    setReady(false);
    if (!m_process)
        co_return;
    if (!m_stopping) {
        m_stopping = true;
        m_process->terminate(m_timings.killGrace);
    }
    Promise<void> exited;
    m_exitWaiters.push_back(exited);
    co_await exited;
}

void LLMServer::handleExit(ChildProcess *process, quint64 serial, int status) {
    if (currentSerial() != serial) {
        process->deleteLater();
        return;
    }
    if (!m_stopping)
        Log::llm().error("LLM helper exited unexpectedly with status %d", {status});
    m_process->deleteLater();
    m_process = nullptr;
    m_processSerial = 0;
    m_baseUrl.clear();
    setReady(false);
    m_stopping = false;
    auto waiters = std::move(m_exitWaiters);
    m_exitWaiters.clear();
    for (auto &waiter : waiters)
        waiter.resolve();
}

} // namespace velmora
