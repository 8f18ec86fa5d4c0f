#pragma once

// The figures of one dictation run, stored as JSON with the run's History event. Every field is
// optional so that a run that ended early stores only what it reached.

#include <QJsonObject>
#include <QObject>
#include <QString>

#include <optional>

namespace velmora {

struct DictationMeasurements {
    Q_GADGET
public:
    // Stored by their names (core/enumname.h).
    enum class Cleanup { Off, Applied, Skipped };
    Q_ENUM(Cleanup)
    enum class Delivery { Pasted, Failed, None };
    Q_ENUM(Delivery)

    static constexpr qint64 version = 1;

    std::optional<double> audioSeconds;
    std::optional<qint64> chunks;
    std::optional<qint64> characters;
    std::optional<qint64> words;
    std::optional<qint64> countVersion;
    std::optional<Cleanup> cleanup;
    std::optional<qint64> promptTokens;
    std::optional<qint64> completionTokens;
    std::optional<Delivery> delivery;
    std::optional<bool> micInterrupted;
    std::optional<qint64> transcribeMs;
    std::optional<qint64> cleanupMs;
    std::optional<QString> speechModel;
    std::optional<QString> textModel;

    bool operator==(const DictationMeasurements &) const = default;

    // Keys are the field names; absent fields are left out.
    QJsonObject toJson() const;
    // Every key optional (missing or null: absent), unknown keys ignored; none when a value has
    // the wrong type or an unknown raw string.
    static std::optional<DictationMeasurements> fromJson(const QJsonObject &object);
    // The stored form: compact, keys sorted.
    QString encoded() const;
    static std::optional<DictationMeasurements> decode(const QString &json);
};

} // namespace velmora
