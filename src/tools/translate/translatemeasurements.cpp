#include "tools/translate/translatemeasurements.h"

#include "core/jsonfield.h"
#include "library/texttaskhistory.h"

#include <QJsonDocument>

namespace velmora {

using namespace jsonfield;

QJsonObject TranslateMeasurements::toJson() const {
    QJsonObject o;
    const auto put = [&o](const char *key, const auto &value) { jsonfield::write(o, QLatin1StringView(key), value); };
    put("sourceLanguage", sourceLanguage);
    put("targetLanguage", targetLanguage);
    put("detected", detected);
    if (tone)
        o.insert(QLatin1StringView("tone"), toString(*tone));
    put("sourceCharacters", sourceCharacters);
    put("resultCharacters", resultCharacters);
    put("resultWords", resultWords);
    put("countVersion", countVersion);
    put("promptTokens", promptTokens);
    put("completionTokens", completionTokens);
    put("translateMs", translateMs);
    put("firstTextMs", firstTextMs);
    put("textModel", textModel);
    return o;
}

std::optional<TranslateMeasurements> TranslateMeasurements::fromJson(const QJsonObject &o) {
    TranslateMeasurements m;
    const Read reads[] = {
        readString(o, QLatin1StringView("sourceLanguage"), m.sourceLanguage),
        readString(o, QLatin1StringView("targetLanguage"), m.targetLanguage),
        readBool(o, QLatin1StringView("detected"), m.detected),
        readRaw(o, QLatin1StringView("tone"), m.tone, &translateToneFromString),
        readInteger(o, QLatin1StringView("sourceCharacters"), m.sourceCharacters),
        readInteger(o, QLatin1StringView("resultCharacters"), m.resultCharacters),
        readInteger(o, QLatin1StringView("resultWords"), m.resultWords),
        readInteger(o, QLatin1StringView("countVersion"), m.countVersion),
        readInteger(o, QLatin1StringView("promptTokens"), m.promptTokens),
        readInteger(o, QLatin1StringView("completionTokens"), m.completionTokens),
        readInteger(o, QLatin1StringView("translateMs"), m.translateMs),
        readInteger(o, QLatin1StringView("firstTextMs"), m.firstTextMs),
        readString(o, QLatin1StringView("textModel"), m.textModel),
    };
    for (Read read : reads)
        if (read == Read::WrongType)
            return std::nullopt;
    return m;
}

QString TranslateMeasurements::encoded() const {
    return measurementsJson(toJson());
}

std::optional<TranslateMeasurements> TranslateMeasurements::decode(const QString &json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return fromJson(document.object());
}

} // namespace velmora
