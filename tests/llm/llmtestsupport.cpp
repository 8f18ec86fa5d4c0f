#include "llmtestsupport.h"

#include <QFile>
#include <QJsonDocument>

#include <cerrno>
#include <csignal>

namespace velmora::test {

StandIn::StandIn(QJsonObject script)
    : m_model(m_dir.path() + QStringLiteral("/writer.model")), m_draft(m_dir.path() + QStringLiteral("/draft.model")),
      m_record(m_dir.path() + QStringLiteral("/record")) {
    writeFile(m_draft, "draft");
    setScript(std::move(script));
}

void StandIn::setScript(QJsonObject script) {
    script.insert(QStringLiteral("recordTo"), m_record);
    writeFile(m_model, QJsonDocument(script).toJson());
}

QList<QJsonObject> StandIn::launches() const {
    QList<QJsonObject> out;
    QFile file(m_record + QStringLiteral(".launches"));
    if (!file.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            out.append(QJsonDocument::fromJson(line).object());
    }
    return out;
}

QList<QByteArray> StandIn::requests() const {
    QList<QByteArray> out;
    QFile file(m_record + QStringLiteral(".requests"));
    if (!file.open(QIODevice::ReadOnly))
        return out;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            out.append(line);
    }
    return out;
}

LLMServerTimings fastTimings() {
    LLMServerTimings t;
    t.pollInterval = std::chrono::milliseconds(20);
    t.healthTimeout = std::chrono::milliseconds(500);
    t.killGrace = std::chrono::milliseconds(200);
    t.requestTimeout = std::chrono::milliseconds(5000);
    return t;
}

QString helperProgram() {
    return helperPath(QString::fromLatin1(LLMServer::kExecutableName));
}

bool processGone(qint64 pid) {
    return pid > 0 && ::kill(pid_t(pid), 0) == -1 && errno == ESRCH;
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
