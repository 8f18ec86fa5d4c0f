#include "dictation/dictationmeasurements.h"

#include "speech/recordinghistory.h"

#include <QJsonDocument>

#include <cmath>

namespace velmora {

QString DictationMeasurements::toString(Cleanup cleanup) {
    switch (cleanup) {
    case Cleanup::Off: return QStringLiteral("off");
    case Cleanup::Applied: return QStringLiteral("applied");
    case Cleanup::Skipped: return QStringLiteral("skipped");
    }
    return {};
}

QString DictationMeasurements::toString(Delivery delivery) {
    switch (delivery) {
    case Delivery::Pasted: return QStringLiteral("pasted");
    case Delivery::Failed: return QStringLiteral("failed");
    case Delivery::None: return QStringLiteral("none");
    }
    return {};
}

std::optional<DictationMeasurements::Cleanup> DictationMeasurements::cleanupFromString(const QString &raw) {
    for (Cleanup c : {Cleanup::Off, Cleanup::Applied, Cleanup::Skipped})
        if (toString(c) == raw)
            return c;
    return std::nullopt;
}

std::optional<DictationMeasurements::Delivery> DictationMeasurements::deliveryFromString(const QString &raw) {
    for (Delivery d : {Delivery::Pasted, Delivery::Failed, Delivery::None})
        if (toString(d) == raw)
            return d;
    return std::nullopt;
}

QJsonObject DictationMeasurements::toJson() const {
    QJsonObject o;
    auto put = [&o](const char *key, const auto &value) {
        if (value)
            o.insert(QLatin1String(key), *value);
    };
    put("audioSeconds", audioSeconds);
    put("chunks", chunks);
    put("characters", characters);
    put("words", words);
    put("countVersion", countVersion);
    if (cleanup)
        o.insert(QLatin1String("cleanup"), toString(*cleanup));
    put("promptTokens", promptTokens);
    put("completionTokens", completionTokens);
    if (delivery)
        o.insert(QLatin1String("delivery"), toString(*delivery));
    put("micInterrupted", micInterrupted);
    put("transcribeMs", transcribeMs);
    put("cleanupMs", cleanupMs);
    put("speechModel", speechModel);
    put("textModel", textModel);
    return o;
}

namespace {

// Reads one optional field; false when the value is present but of the wrong kind.
bool readDouble(const QJsonObject &o, const char *key, std::optional<double> &out) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return true;
    if (!v.isDouble())
        return false;
    out = v.toDouble();
    return true;
}

bool readInteger(const QJsonObject &o, const char *key, std::optional<qint64> &out) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return true;
    if (!v.isDouble())
        return false;
    const double d = v.toDouble();
    // A whole number within the range a double holds exactly.
    if (!std::isfinite(d) || d != std::trunc(d) || std::fabs(d) > 9007199254740992.0)
        return false;
    out = qint64(d);
    return true;
}

bool readBool(const QJsonObject &o, const char *key, std::optional<bool> &out) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return true;
    if (!v.isBool())
        return false;
    out = v.toBool();
    return true;
}

bool readString(const QJsonObject &o, const char *key, std::optional<QString> &out) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull())
        return true;
    if (!v.isString())
        return false;
    out = v.toString();
    return true;
}

template <typename E, typename Parse>
bool readEnum(const QJsonObject &o, const char *key, std::optional<E> &out, Parse parse) {
    std::optional<QString> raw;
    if (!readString(o, key, raw))
        return false;
    if (!raw)
        return true;
    out = parse(*raw);
    return out.has_value();
}

} // namespace

std::optional<DictationMeasurements> DictationMeasurements::fromJson(const QJsonObject &o) {
    DictationMeasurements m;
    const bool ok =
        readDouble(o, "audioSeconds", m.audioSeconds) && readInteger(o, "chunks", m.chunks) &&
        readInteger(o, "characters", m.characters) && readInteger(o, "words", m.words) &&
        readInteger(o, "countVersion", m.countVersion) && readEnum(o, "cleanup", m.cleanup, &cleanupFromString) &&
        readInteger(o, "promptTokens", m.promptTokens) && readInteger(o, "completionTokens", m.completionTokens) &&
        readEnum(o, "delivery", m.delivery, &deliveryFromString) && readBool(o, "micInterrupted", m.micInterrupted) &&
        readInteger(o, "transcribeMs", m.transcribeMs) && readInteger(o, "cleanupMs", m.cleanupMs) &&
        readString(o, "speechModel", m.speechModel) && readString(o, "textModel", m.textModel);
    if (!ok)
        return std::nullopt;
    return m;
}

QString DictationMeasurements::encoded() const {
    return encodeMeasurements(toJson());
}

std::optional<DictationMeasurements> DictationMeasurements::decode(const QString &json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return fromJson(doc.object());
}

} // namespace velmora
