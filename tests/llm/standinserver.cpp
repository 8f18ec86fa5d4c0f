#include "standinserver.h"

#include <QFile>
#include <QJsonDocument>

#include <cerrno>
#include <csignal>

namespace velmora::test {

StandIn::StandIn(QJsonObject script, Recording recording)
    : m_model(m_dir.path() + QStringLiteral("/writer.model")), m_draft(m_dir.path() + QStringLiteral("/draft.model")),
      m_record(m_dir.path() + QStringLiteral("/record")), m_recording(recording) {
    writeFile(m_draft, "draft");
    setScript(std::move(script));
}

void StandIn::setScript(QJsonObject script) {
    if (m_recording == Recording::On)
        script.insert(QStringLiteral("recordTo"), m_record);
    writeFile(m_model, QJsonDocument(script).toJson());
}

QList<QByteArray> StandIn::recorded(const char *suffix) const {
    QList<QByteArray> out;
    QFile file(m_record + QLatin1StringView(suffix));
    if (!file.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            out.append(line);
    }
    return out;
}

QList<QJsonObject> StandIn::launches() const {
    QList<QJsonObject> out;
    for (const QByteArray &line : recorded(".launches"))
        out.append(QJsonDocument::fromJson(line).object());
    return out;
}

QList<QByteArray> StandIn::requests() const {
    return recorded(".requests");
}

QList<QJsonObject> StandIn::requestObjects() const {
    QList<QJsonObject> out;
    for (const QByteArray &line : requests())
        out.append(QJsonDocument::fromJson(line).object());
    return out;
}

int StandIn::piecesSent() const {
    return int(recorded(".pieces").size());
}

int StandIn::abortedStreams() const {
    return int(recorded(".aborts").size());
}

LLMServerTimings fastTimings() {
    LLMServerTimings t;
    t.loadTimeout = std::chrono::seconds(10);
    t.pollInterval = std::chrono::milliseconds(20);
    t.healthTimeout = std::chrono::milliseconds(500);
    t.killGrace = std::chrono::milliseconds(200);
    t.requestTimeout = std::chrono::milliseconds(5000);
    return t;
}

LLMServerTimings runTimings() {
    LLMServerTimings t = fastTimings();
    t.loadTimeout = std::chrono::seconds(20);
    t.healthTimeout = LLMServerTimings{}.healthTimeout;
    t.requestTimeout = LLMServerTimings{}.requestTimeout;
    return t;
}

QString helperProgram() {
    return helperPath(QString::fromLatin1(LLMServer::kExecutableName));
}

std::unique_ptr<LLMServer> standInServer(LLMServerTimings timings) {
    return std::make_unique<LLMServer>(helperProgram(), timings);
}

std::unique_ptr<LLMRuntime> standInRuntime(LLMServer &server, const StandIn &standIn, std::function<bool()> ready,
                                           std::function<std::optional<double>()> unloadSeconds) {
    if (!unloadSeconds)
        unloadSeconds = [] { return std::nullopt; };
    return std::make_unique<LLMRuntime>(
        server,
        [&standIn, ready = std::move(ready)]() -> std::optional<QStringList> {
            if (!ready())
                return std::nullopt;
            return standIn.files();
        },
        std::move(unloadSeconds));
}

bool processGone(qint64 pid) {
    return pid > 0 && ::kill(pid_t(pid), 0) == -1 && errno == ESRCH;
}

void terminateAndExpectGone(LLMServer &server) {
    const qint64 pid = server.processId();
    run(server.terminate());
    EXPECT_FALSE(server.isReady());
    EXPECT_TRUE(pid == 0 || processGone(pid));
}

int countLlmLines(const LogCapture &log, const QString &prefix) {
    int n = 0;
    for (const auto &line : log.lines())
        n += line.category == QStringLiteral("llm") && line.message.startsWith(prefix);
    return n;
}

void RuntimeTest::make(QJsonObject script, LLMServerTimings timings) {
    standIn = std::make_unique<StandIn>(std::move(script));
    server = standInServer(timings);
    QObject::connect(server.get(), &LLMServer::readyChanged, [this](bool ready) {
        if (ready)
            pids.append(server->processId());
    });
    runtime = standInRuntime(
        *server, *standIn, [this] { return filesReady; }, [this] { return unloadSeconds; });
}

bool RuntimeTest::allGone() const {
    for (qint64 pid : pids) {
        if (!processGone(pid))
            return false;
    }
    return true;
}

void RuntimeTest::TearDown() {
    if (runtime) {
        run(runtime->prepareToQuit());
        EXPECT_TRUE(allGone());
    }
}

std::optional<LLMServerError> serverError(const std::exception_ptr &error) {
    if (!error)
        return std::nullopt;
    try {
        std::rethrow_exception(error);
    } catch (const LLMServerError &e) {
        return e;
    } catch (...) {
        return std::nullopt;
    }
}

} // namespace velmora::test
