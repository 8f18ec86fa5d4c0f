#pragma once

// The figures of one finished Translate run, stored as JSON with the run's History event.
// Every field is optional; the session fills all but the token counts and the first-text time
// whenever it records a run.

#include "tools/translate/translatetone.h"

#include <QJsonObject>
#include <QString>

#include <optional>

namespace velmora {

struct TranslateMeasurements {
    static constexpr qint64 kVersion = 1;

    std::optional<QString> sourceLanguage;
    std::optional<QString> targetLanguage;
    std::optional<bool> detected;
    std::optional<TranslateTone> tone;
    std::optional<qint64> sourceCharacters;
    std::optional<qint64> resultCharacters;
    std::optional<qint64> resultWords;
    std::optional<qint64> countVersion;
    std::optional<qint64> promptTokens;
    std::optional<qint64> completionTokens;
    std::optional<qint64> translateMs;
    std::optional<qint64> firstTextMs;
    std::optional<QString> textModel;

    bool operator==(const TranslateMeasurements &) const = default;

    // Keys are the field names; absent fields are left out.
    QJsonObject toJson() const;
    // Any subset of the keys (missing or null: absent); none when a value has the wrong type or
    // the tone is not one of the three.
    static std::optional<TranslateMeasurements> fromJson(const QJsonObject &object);
    // The stored form: compact, keys sorted.
    QString encoded() const;
    static std::optional<TranslateMeasurements> decode(const QString &json);
};

} // namespace velmora
