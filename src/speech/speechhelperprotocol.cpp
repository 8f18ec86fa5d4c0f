#include "speech/speechhelperprotocol.h"

#include "core/jsonfield.h"
#include "speech/speechhelping.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>

namespace velmora {

SpeechHelperError::SpeechHelperError(Kind kind, qint64 engineStatus)
    : Error(QString::fromLatin1(kDomain), qint64(kind), toString(kind)), m_kind(kind),
      m_engineStatus(kind == Kind::Engine ? engineStatus : 0) {}

QString SpeechHelperError::toString(Kind kind) {
    switch (kind) {
    case Kind::Engine: return QStringLiteral("engine");
    case Kind::Unavailable: return QStringLiteral("unavailable");
    case Kind::ProtocolViolation: return QStringLiteral("protocolViolation");
    case Kind::Exited: return QStringLiteral("exited");
    case Kind::Busy: return QStringLiteral("busy");
    case Kind::TimedOut: return QStringLiteral("timedOut");
    }
    return {};
}

SpeechHelperRequest SpeechHelperRequest::load(const QString &id, const QString &modelPath) {
    SpeechHelperRequest r;
    r.type = QStringLiteral("load");
    r.id = id;
    r.path = modelPath;
    return r;
}

SpeechHelperRequest SpeechHelperRequest::transcribe(const QString &id, const QString &sampleFile, qint64 offset,
                                                    qint64 samples, const QString &language) {
    SpeechHelperRequest r;
    r.type = QStringLiteral("transcribe");
    r.id = id;
    r.path = sampleFile;
    r.offset = offset;
    r.samples = samples;
    r.language = language;
    return r;
}

void appendJsonString(QByteArray &out, const QString &s) {
    static const char hex[] = "0123456789abcdef";
    const QByteArray utf8 = s.toUtf8();
    out.reserve(out.size() + utf8.size() + 2);
    out.append('"');
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '/': out.append("\\/"); break;
        case '\b': out.append("\\b"); break;
        case '\f': out.append("\\f"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        default:
            if (c < 0x20) {
                out.append("\\u00");
                out.append(hex[c >> 4]);
                out.append(hex[c & 0xF]);
            } else {
                out.append(ch);
            }
        }
    }
    out.append('"');
}

QByteArray SpeechHelperRequest::encode() const {
    QByteArray out;
    out.reserve(128 + (path ? path->size() * 2 : 0));
    out.append("{\"v\":").append(QByteArray::number(v));
    out.append(",\"type\":");
    appendJsonString(out, type);
    out.append(",\"id\":");
    appendJsonString(out, id);
    if (path) {
        out.append(",\"path\":");
        appendJsonString(out, *path);
    }
    if (offset)
        out.append(",\"offset\":").append(QByteArray::number(*offset));
    if (samples)
        out.append(",\"samples\":").append(QByteArray::number(*samples));
    if (language) {
        out.append(",\"language\":");
        appendJsonString(out, *language);
    }
    out.append('}');
    return out;
}

using namespace Qt::StringLiterals;
using jsonfield::Read;
using jsonfield::readBool;
using jsonfield::readInteger;
using jsonfield::readString;

std::optional<SpeechHelperResponse> SpeechHelperResponse::decode(QByteArrayView line) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(line.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    SpeechHelperResponse r;
    std::optional<qint64> v;
    std::optional<QString> type;
    if (readInteger(o, "v"_L1, v) != Read::Value || readString(o, "type"_L1, type) != Read::Value)
        return std::nullopt;
    r.v = *v;
    r.type = *type;
    if (readString(o, "id"_L1, r.id) == Read::WrongType || readString(o, "backend"_L1, r.backend) == Read::WrongType ||
        readInteger(o, "status"_L1, r.status) == Read::WrongType ||
        readString(o, "text"_L1, r.text) == Read::WrongType ||
        readBool(o, "complete"_L1, r.complete) == Read::WrongType)
        return std::nullopt;
    return r;
}

} // namespace velmora
