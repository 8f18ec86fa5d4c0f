#pragma once

#include "core/debouncer.h"
#include "core/settingkey.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <chrono>
#include <optional>

namespace velmora {

// The typed user defaults: each value keeps its type (bool, integer, real, string, string list,
// data) and is saved as JSON in the user's config folder, written atomically. Changes are
// gathered for a short while and written together (at once by flush(), when the application
// quits and when the store is destroyed). Launch arguments "-key value" overlay the stored
// values read-only, as an argument domain.
class Defaults : public QObject {
    Q_OBJECT
public:
    enum class Type { Bool, Integer, Real, String, StringList, Data };

    // A store kept in filePath; an empty path keeps values in memory only.
    explicit Defaults(QString filePath, QObject *parent = nullptr);
    ~Defaults() override;

    // How long changes are gathered before they are written.
    static constexpr std::chrono::milliseconds kSaveDelay{250};

    // The application's store: $XDG_CONFIG_HOME/com.velmora.app/defaults.json.
    static QString standardFilePath();

    // Sets the launch-argument overlay from argv-style arguments ("-key value" pairs).
    void setArguments(const QStringList &arguments);
    // The overlay value of key, as typed on the command line.
    std::optional<QString> argument(const QString &key) const;

    bool contains(const QString &key) const;
    // The value with its stored type, the overlay's text winning; invalid when absent.
    QVariant value(const QString &key) const;
    std::optional<Type> storedType(const QString &key) const;

    // Typed reads: absent or unconvertible values give the fallback.
    bool boolValue(const QString &key, bool fallback = false) const;
    qint64 integer(const QString &key, qint64 fallback = 0) const;
    double real(const QString &key, double fallback = 0) const;
    QString string(const QString &key, const QString &fallback = {}) const;
    QStringList stringList(const QString &key, const QStringList &fallback = {}) const;
    QByteArray data(const QString &key, const QByteArray &fallback = {}) const;

    void setBool(const QString &key, bool v);
    void setInteger(const QString &key, qint64 v);
    void setReal(const QString &key, double v);
    void setString(const QString &key, const QString &v);
    void setStringList(const QString &key, const QStringList &v);
    void setData(const QString &key, const QByteArray &v);
    void remove(const QString &key);

    // The value of a declared setting: the launch argument, else the stored value read as the
    // key's type, else the key's default.
    template <typename T>
    T get(const SettingKey<T> &key) const {
        if constexpr (std::is_same_v<T, bool>)
            return boolValue(key.name, key.defaultValue);
        else if constexpr (std::is_same_v<T, qint64>)
            return integer(key.name, key.defaultValue);
        else if constexpr (std::is_same_v<T, double>)
            return real(key.name, key.defaultValue);
        else if constexpr (std::is_same_v<T, QString>)
            return string(key.name, key.defaultValue);
        else if constexpr (std::is_same_v<T, QStringList>)
            return stringList(key.name, key.defaultValue);
        else
            return data(key.name, key.defaultValue);
    }

    template <typename T>
    void set(const SettingKey<T> &key, const T &value) {
        if constexpr (std::is_same_v<T, bool>)
            setBool(key.name, value);
        else if constexpr (std::is_same_v<T, qint64>)
            setInteger(key.name, value);
        else if constexpr (std::is_same_v<T, double>)
            setReal(key.name, value);
        else if constexpr (std::is_same_v<T, QString>)
            setString(key.name, value);
        else if constexpr (std::is_same_v<T, QStringList>)
            setStringList(key.name, value);
        else
            setData(key.name, value);
    }

    // The launch argument, else a stored value of the key's own type, else the key's default: a
    // stored value of another kind is not converted.
    template <typename T>
    T storedOrDefault(const SettingKey<T> &key) const {
        return argument(key.name) || isStored(key) ? get(key) : key.defaultValue;
    }

    // Takes a setting's new value into the member that mirrors it and stores it every time (a
    // choice made again is written too); true when the value changed.
    template <typename T>
    bool update(const SettingKey<T> &key, T &mirror, const T &value) {
        return update(key, value, mirror, value);
    }
    // The same for a mirror of another type than the stored form.
    template <typename S, typename T>
    bool update(const SettingKey<S> &key, const S &stored, T &mirror, const T &value) {
        const bool changed = mirror != value;
        mirror = value;
        set(key, stored);
        return changed;
    }

    // Whether a value of the key's own type is stored (launch arguments aside).
    template <typename T>
    bool isStored(const SettingKey<T> &key) const {
        return storedType(key.name) == typeOf<T>();
    }

    template <typename T>
    void reset(const SettingKey<T> &key) {
        remove(key.name);
    }

    template <typename T>
    static constexpr Type typeOf() {
        if constexpr (std::is_same_v<T, bool>)
            return Type::Bool;
        else if constexpr (std::is_same_v<T, qint64>)
            return Type::Integer;
        else if constexpr (std::is_same_v<T, double>)
            return Type::Real;
        else if constexpr (std::is_same_v<T, QString>)
            return Type::String;
        else if constexpr (std::is_same_v<T, QStringList>)
            return Type::StringList;
        else
            return Type::Data;
    }

    // Writes the changes not yet saved, now.
    void flush();
    // Whether changes are waiting to be written.
    bool hasUnsavedChanges() const { return m_dirty; }
    // Whether the last save reached the disk.
    bool lastSaveSucceeded() const { return m_lastSaveOk; }
    const QString &filePath() const { return m_path; }

signals:
    void changed(const QString &key);

private:
    struct Entry {
        Type type;
        QVariant value;
    };
    void load();
    void set(const QString &key, Type type, QVariant value);
    void changedValue(const QString &key);
    void save();

    QString m_path;
    QHash<QString, Entry> m_values;
    QHash<QString, QString> m_arguments;
    bool m_lastSaveOk = true;
    bool m_dirty = false;
    Debouncer m_saver{Debouncer::Mode::Throttling, kSaveDelay};
};

} // namespace velmora
