#pragma once

#include <QMetaEnum>
#include <QString>

#include <optional>

namespace velmora {

// The name an enumerator is logged and stored under: its C++ name with a lower-case first
// letter (EmptyAudio is "emptyAudio"). The enum is registered with Q_ENUM in its Q_OBJECT or
// Q_GADGET class; a value outside the enum has no name (an empty string).
template <typename E>
QString enumName(E value) {
    QString name = QString::fromLatin1(QMetaEnum::fromType<E>().valueToKey(int(value)));
    if (!name.isEmpty())
        name[0] = name[0].toLower();
    return name;
}

// The enumerator a stored name stands for; none for a name that is not one, exactly.
template <typename E>
std::optional<E> enumFromName(const QString &name) {
    const QMetaEnum meta = QMetaEnum::fromType<E>();
    for (int i = 0; i < meta.keyCount(); ++i) {
        const E value = E(meta.value(i));
        if (enumName(value) == name)
            return value;
    }
    return std::nullopt;
}

} // namespace velmora
