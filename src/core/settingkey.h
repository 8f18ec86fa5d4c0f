#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <type_traits>

namespace velmora {

// One setting of the defaults store: its stored name, its type and the value it has when
// nothing (or nothing of a readable type) is stored. Each subsystem declares its keys in one
// header, and reads and writes them only through Defaults::get and Defaults::set.
template <typename T>
struct SettingKey {
    static_assert(std::is_same_v<T, bool> || std::is_same_v<T, qint64> || std::is_same_v<T, double> ||
                      std::is_same_v<T, QString> || std::is_same_v<T, QStringList> || std::is_same_v<T, QByteArray>,
                  "a setting is a bool, qint64, double, QString, QStringList or QByteArray");
    QString name;
    T defaultValue{};
};

} // namespace velmora
