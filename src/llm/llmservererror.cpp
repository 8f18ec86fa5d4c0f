#include "llm/llmservererror.h"

namespace velmora {

namespace {
QString describe(LLMServerError::Kind kind, int status) {
    switch (kind) {
    case LLMServerError::Kind::Http: return QStringLiteral("HTTP status %1").arg(status);
    case LLMServerError::Kind::Unavailable: return QStringLiteral("language-model server unavailable");
    case LLMServerError::Kind::Exited: return QStringLiteral("language-model server went away");
    case LLMServerError::Kind::Timeout: return QStringLiteral("language-model server did not become ready");
    case LLMServerError::Kind::ProtocolViolation: return QStringLiteral("language-model server broke the protocol");
    }
    return {};
}
} // namespace

LLMServerError::LLMServerError(Kind kind, int status)
    : Error(QString::fromLatin1(kDomain), qint64(kind), describe(kind, status)), m_kind(kind),
      m_status(kind == Kind::Http ? status : 0) {}

} // namespace velmora
