#include "platform/keychord.h"

#include "platform/virtualkeys.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <limits>

namespace velmora {

quint64 KeyChord::flags() const {
    quint64 f = 0;
    if (carbonModifiers & kControl)
        f |= kControlFlag;
    if (carbonModifiers & kOption)
        f |= kOptionFlag;
    if (carbonModifiers & kShift)
        f |= kShiftFlag;
    if (carbonModifiers & kCommand)
        f |= kCommandFlag;
    if (carbonModifiers & kFunction)
        f |= kFunctionFlag;
    return f;
}

bool KeyChord::isUsable() const {
    return (flags() & (kControlFlag | kOptionFlag | kCommandFlag)) != 0 && !isPasteChord();
}

bool KeyChord::isPasteChord() const {
    const int held = carbonModifiers & (kCommand | kShift | kOption | kControl | kFunction);
    return held == kCommand && carbonKeyCode == VirtualKeys::kV;
}

QByteArray KeyChord::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("carbonKeyCode"), carbonKeyCode);
    object.insert(QStringLiteral("carbonModifiers"), carbonModifiers);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

namespace {
std::optional<int> wholeNumber(const QJsonValue &value) {
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < std::numeric_limits<int>::min() ||
        d > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(d);
}
} // namespace

std::optional<KeyChord> KeyChord::fromJson(const QByteArray &json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const std::optional<int> key = wholeNumber(object.value(QLatin1String("carbonKeyCode")));
    const std::optional<int> modifiers = wholeNumber(object.value(QLatin1String("carbonModifiers")));
    if (!key || !modifiers)
        return std::nullopt;
    return KeyChord{*key, *modifiers};
}

} // namespace velmora
