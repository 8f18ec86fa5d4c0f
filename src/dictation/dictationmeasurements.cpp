#include "dictation/dictationmeasurements.h"

#include "core/enumname.h"
#include "core/jsonfield.h"
#include "speech/recordinghistory.h"

#include <QJsonDocument>

namespace velmora {

QJsonObject DictationMeasurements::toJson() const {
    QJsonObject o;
    const auto put = [&o](const char *key, const auto &value) { jsonfield::write(o, QLatin1StringView(key), value); };
    put("audioSeconds", audioSeconds);
    put("chunks", chunks);
    put("characters", characters);
    put("words", words);
    put("countVersion", countVersion);
    if (cleanup)
        o.insert(QLatin1String("cleanup"), enumName(*cleanup));
    put("promptTokens", promptTokens);
    put("completionTokens", completionTokens);
    if (delivery)
        o.insert(QLatin1String("delivery"), enumName(*delivery));
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
        readField(o, "countVersion", m.countVersion) && readEnum(o, "cleanup", m.cleanup, &enumFromName<Cleanup>) &&
        readField(o, "promptTokens", m.promptTokens) && readField(o, "completionTokens", m.completionTokens) &&
        readEnum(o, "delivery", m.delivery, &enumFromName<Delivery>) &&
        readField(o, "micInterrupted", m.micInterrupted) && readField(o, "transcribeMs", m.transcribeMs) &&
        readField(o, "cleanupMs", m.cleanupMs) && readField(o, "speechModel", m.speechModel) &&
        readField(o, "textModel", m.textModel);
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
