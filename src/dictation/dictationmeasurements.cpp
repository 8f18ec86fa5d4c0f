#include "dictation/dictationmeasurements.h"

#include "core/jsonfield.h"
#include "speech/recordinghistory.h"

#include <QJsonDocument>

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

// A field that is absent or null leaves its value empty; only a value of the wrong kind fails.
template <typename T>
bool readField(const QJsonObject &o, const char *key, std::optional<T> &out) {
    return jsonfield::read(o, QLatin1StringView(key), out) != jsonfield::Read::WrongType;
}

template <typename E, typename Parse>
bool readEnum(const QJsonObject &o, const char *key, std::optional<E> &out, Parse parse) {
    return jsonfield::readRaw(o, QLatin1StringView(key), out, parse) != jsonfield::Read::WrongType;
}

} // namespace

std::optional<DictationMeasurements> DictationMeasurements::fromJson(const QJsonObject &o) {
    DictationMeasurements m;
    const bool ok =
        readField(o, "audioSeconds", m.audioSeconds) && readField(o, "chunks", m.chunks) &&
        readField(o, "characters", m.characters) && readField(o, "words", m.words) &&
        readField(o, "countVersion", m.countVersion) && readEnum(o, "cleanup", m.cleanup, &cleanupFromString) &&
        readField(o, "promptTokens", m.promptTokens) && readField(o, "completionTokens", m.completionTokens) &&
        readEnum(o, "delivery", m.delivery, &deliveryFromString) && readField(o, "micInterrupted", m.micInterrupted) &&
        readField(o, "transcribeMs", m.transcribeMs) && readField(o, "cleanupMs", m.cleanupMs) &&
        readField(o, "speechModel", m.speechModel) && readField(o, "textModel", m.textModel);
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
